#!/usr/bin/python3
"""A small CDDB server on 127.0.0.1 for the lookup tests; the program
reaches it as its HTTP proxy. Each request line is appended to
FOLDER/requests.txt. The answer is FOLDER/reply.bin as the body, unless
FOLDER/mode.txt says "hang" (accept, never answer) or "close" (close at
once). Writes its port to FOLDER/port.txt and its pid to FOLDER/pid.txt.

    cddb_server.py FOLDER
"""
import os
import socket
import sys
import threading
import time
from pathlib import Path

folder = Path(sys.argv[1])
folder.mkdir(parents=True, exist_ok=True)


def handle(conn):
    with conn:
        conn.settimeout(10)
        data = b""
        try:
            while b"\r\n\r\n" not in data:
                chunk = conn.recv(4096)
                if not chunk:
                    return
                data += chunk
        except OSError:
            return
        line = data.split(b"\r\n", 1)[0].decode("latin-1")
        with open(folder / "requests.txt", "a", encoding="latin-1") as log:
            log.write(line + "\n")
        mode = (folder / "mode.txt").read_text().strip() if (folder / "mode.txt").exists() else ""
        if mode == "hang":
            time.sleep(60)
            return
        if mode == "close":
            return
        body = (folder / "reply.bin").read_bytes() if (folder / "reply.bin").exists() else b""
        head = f"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: {len(body)}\r\n\r\n".encode()
        try:
            conn.sendall(head + body)
        except OSError:
            pass


def main():
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    (folder / "port.txt").write_text(str(server.getsockname()[1]))
    (folder / "pid.txt").write_text(str(os.getpid()))
    deadline = time.time() + 1800  # never outlives a test run
    server.settimeout(1)
    while time.time() < deadline:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
