#!/usr/bin/python3
"""A small CDDB server on 127.0.0.1 for the lookup tests, which the program
reaches as its HTTP proxy: appends each request line to FOLDER/requests.txt
and answers with FOLDER/reply.bin (the body of a "200 OK", or the whole
reply when it starts with "HTTP/") after the seconds in FOLDER/delay.txt (a
delay past the program's time-out is a server that never answers). Writes
its port and pid to FOLDER/port.txt and FOLDER/pid.txt.
Usage: cddb_server.py start|stop FOLDER (start returns once it listens)
"""
import contextlib, os, shutil, signal, socket, sys, threading, time
from pathlib import Path

folder = Path(sys.argv[2])
if sys.argv[1] == "stop":
    with contextlib.suppress(OSError, ValueError):
        os.kill(int((folder / "pid.txt").read_text()), signal.SIGTERM)
    sys.exit(0)
shutil.rmtree(folder, ignore_errors=True)
folder.mkdir(parents=True)
if os.fork():  # the parent returns once the server listens
    for _ in range(100):
        if (folder / "pid.txt").exists():
            sys.exit(0)
        time.sleep(0.05)
    sys.exit("the test CDDB server did not start")
os.setsid()
for fd in range(3):  # nothing of the test's output stays open here
    os.dup2(os.open(os.devnull, os.O_RDWR), fd)


def read(name):
    return (folder / name).read_bytes() if (folder / name).exists() else b""


def handle(conn):
    with conn, contextlib.suppress(OSError):
        conn.settimeout(10)
        data = b""
        while b"\r\n\r\n" not in data and (chunk := conn.recv(4096)):
            data += chunk
        with open(folder / "requests.txt", "ab") as log:
            log.write(data.split(b"\r\n", 1)[0] + b"\n")
        time.sleep(float(read("delay.txt") or 0))
        body = read("reply.bin")
        if not body.startswith(b"HTTP/"):  # else the reply, status and headers, as it stands
            body = b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % len(body) + body
        conn.sendall(body)


server = socket.create_server(("127.0.0.1", 0))
(folder / "port.txt").write_text(str(server.getsockname()[1]))
(folder / "pid.txt").write_text(str(os.getpid()))  # written last: the parent waits for it
server.settimeout(1)
deadline = time.time() + 1800  # never outlives a test run
while time.time() < deadline:
    with contextlib.suppress(socket.timeout):
        threading.Thread(target=handle, args=(server.accept()[0],), daemon=True).start()
