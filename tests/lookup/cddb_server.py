#!/usr/bin/python3
"""A small web server on 127.0.0.1 for the lookup tests, which the program
reaches as its HTTP proxy. Writes its port and pid to FOLDER/port.txt and
FOLDER/pid.txt. Usage: cddb_server.py start|stop FOLDER (start returns once
it listens).

Plain requests (CDDB): appends each request line to FOLDER/requests.txt and
answers with FOLDER/reply.bin (the body of a "200 OK", or the whole reply
when it starts with "HTTP/") after the seconds in FOLDER/delay.txt (a delay
past the program's time-out is a server that never answers).

HTTPS (`CONNECT host:443`): answers 200 and speaks TLS with a certificate
for that host signed by a test CA made at each start (FOLDER/ca.der, which
the test prefix must trust), then appends "GET https://host/path?query" to
requests.txt and answers from FOLDER/host/: for the path /a/b the nearest
of FOLDER/host/a/b/NAME, FOLDER/host/a/NAME, FOLDER/host/NAME is used, for
each NAME of
  once.bin   served once (then deleted) before reply.bin, e.g. a 503
  reply.bin  as above; none at all is a 404
  delay.txt  as above
so FOLDER/coverartarchive.org/reply.bin holding "HTTP/1.1 307 x\\r\\n
Location: https://archive.org/f.jpg\\r\\n\\r\\n" sends the program on to
FOLDER/archive.org/reply.bin. Each connection carries one answer.
"""
import contextlib, os, re, shutil, signal, socket, ssl, subprocess, sys, threading, time
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

tls, contexts, lock = folder / "tls", {}, threading.Lock()


def openssl(*args, stdin=None):
    subprocess.run(["openssl", *map(str, args)], input=stdin, check=True, capture_output=True)


def make_ca():
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "7", "-subj", "/CN=Orvo test CA",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
            "-keyout", tls / "ca.key", "-out", tls / "ca.pem")
    openssl("x509", "-in", tls / "ca.pem", "-outform", "DER", "-out", folder / "ca.der")


def context_for(host):  # a certificate for `host`, made on first use
    with lock:
        if host not in contexts:
            key, csr, crt, ext = (tls / (host + s) for s in (".key", ".csr", ".pem", ".ext"))
            ext.write_text("subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n" % host)
            openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + host, "-keyout", key, "-out", csr)
            openssl("x509", "-req", "-in", csr, "-CA", tls / "ca.pem", "-CAkey", tls / "ca.key", "-days", "7",
                    "-set_serial", str(int.from_bytes(os.urandom(8), "big")), "-extfile", ext, "-out", crt)
            contexts[host] = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            contexts[host].load_cert_chain(crt, key)
        return contexts[host]


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data and (chunk := conn.recv(4096)):
        data += chunk
    return data


def nearest(base, path, name):  # FOLDER/host/a/b/name, then .../a/name, then name
    parts = [p for p in path.split("?", 1)[0].split("/") if p]
    parts = parts[:next((i for i, p in enumerate(parts) if not re.fullmatch(r"[\w.-]+", p) or p == ".."), len(parts))]
    for depth in range(len(parts), -1, -1):
        file = base.joinpath(*parts[:depth], name)
        if file.exists():
            return file
    return None


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


make_ca()
server = socket.create_server(("127.0.0.1", 0))
(folder / "port.txt").write_text(str(server.getsockname()[1]))
(folder / "pid.txt").write_text(str(os.getpid()))  # written last: the parent waits for it
server.settimeout(1)
deadline = time.time() + 1800  # never outlives a test run
while time.time() < deadline:
    with contextlib.suppress(socket.timeout):
        threading.Thread(target=handle, args=(server.accept()[0],), daemon=True).start()
