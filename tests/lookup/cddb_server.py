#!/usr/bin/python3
"""The lookup tests' local web server: cddb_server.py start|stop FOLDER (its files: tests/lookup/lookup.table)."""
import contextlib, itertools, os, re, shutil, signal, socket, ssl, subprocess, sys, threading, time
from pathlib import Path

folder = Path(sys.argv[2])
if sys.argv[1] == "stop":
    with contextlib.suppress(OSError, ValueError):
        os.kill(int((folder / "pid.txt").read_text()), signal.SIGTERM)
    sys.exit(0)
shutil.rmtree(folder, ignore_errors=True)
(folder / "tls").mkdir(parents=True)
if os.fork():  # the parent returns once the server listens
    for _ in range(200):
        if (folder / "pid.txt").exists():
            sys.exit(0)
        time.sleep(0.05)
    sys.exit("the test web server did not start")
os.setsid()
for fd in range(3):  # nothing of the test's output stays open here
    os.dup2(os.open(os.devnull, os.O_RDWR), fd)

tls, contexts, lock, CA = folder / "tls", {}, threading.Lock(), "Orvo test CA"


def certificate(name, *extensions):  # FOLDER/tls/name.pem and .key, signed by the CA once there is one
    ca = ["-CA", tls / (CA + ".pem"), "-CAkey", tls / (CA + ".key")] if (tls / (CA + ".key")).exists() else []
    subprocess.run(["openssl", "req", "-x509", "-config", os.devnull, "-newkey", "rsa:2048", "-nodes", "-days", "7",
                    "-subj", "/CN=" + name, *extensions, *ca, "-keyout", tls / (name + ".key"),
                    "-out", tls / (name + ".pem")], check=True, capture_output=True)


def context_for(host):  # a certificate for `host`, made on first use
    with lock:
        if host not in contexts:
            certificate(host, "-addext", "subjectAltName=DNS:" + host, "-addext", "extendedKeyUsage=serverAuth")
            contexts[host] = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            contexts[host].load_cert_chain(tls / (host + ".pem"), tls / (host + ".key"))
        return contexts[host]


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data and (chunk := conn.recv(4096)):
        data += chunk
    return data


def nearest(base, path, name):  # base/a/b/name, then base/a/name, then base/name
    parts = filter(None, path.split("?", 1)[0].split("/"))
    parts = list(itertools.takewhile(lambda p: re.fullmatch(r"[\w.-]+", p) and p != "..", parts))
    files = (base.joinpath(*parts[:depth], name) for depth in range(len(parts), -1, -1))
    return next((file for file in files if file.exists()), None)


def answer(conn, base, path, missing):
    delay = nearest(base, path, "delay.txt")
    time.sleep(float(delay.read_bytes() or 0) if delay else 0)
    once = nearest(base, path, "once.bin")
    reply = once or nearest(base, path, "reply.bin")
    body = reply.read_bytes() if reply else missing
    if once:
        once.unlink()
    if not body.startswith(b"HTTP/"):  # else the reply, status and headers, as it stands
        body = b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % len(body) + body
    conn.sendall(body)


def log(line):
    with open(folder / "requests.txt", "ab") as file:
        file.write(line + b"\n")


def handle(conn):
    with conn, contextlib.suppress(OSError):
        conn.settimeout(10)
        line = read_head(conn).split(b"\r\n", 1)[0]
        if not line.startswith(b"CONNECT "):
            log(line)
            url = re.match(r"\w+ http://([\w.-]+)(?::\d+)?(/\S*)", line.decode(errors="replace"))
            if url and nearest(folder / url[1], url[2], "reply.bin"):  # a plain request the host's folder answers
                return answer(conn, folder / url[1], url[2], b"")
            return answer(conn, folder, "", b"")
        host, _, port = line.split()[1].decode().rpartition(":")
        if not re.fullmatch(r"[\w-]+(\.[\w-]+)*", host):
            return
        conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        with context_for(host).wrap_socket(conn, server_side=True) as inner:
            method, path = (read_head(inner).split(b"\r\n", 1)[0].decode().split() + ["", ""])[:2]
            if not path:  # the program gave up, e.g. on the certificate
                return
            log(("%s https://%s%s%s" % (method, host, "" if port == "443" else ":" + port, path)).encode())
            answer(inner, folder / host, path, b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")


certificate(CA, "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign")
subprocess.run(["openssl", "x509", "-in", tls / (CA + ".pem"), "-outform", "DER", "-out", folder / "ca.der"], check=True)
server = socket.create_server(("127.0.0.1", 0))
(folder / "port.txt").write_text(str(server.getsockname()[1]))
(folder / "pid.txt").write_text(str(os.getpid()))  # written last: the parent waits for it
server.settimeout(1)
deadline = time.time() + 1800  # never outlives a test run
while time.time() < deadline:
    with contextlib.suppress(socket.timeout):
        threading.Thread(target=handle, args=(server.accept()[0],), daemon=True).start()
