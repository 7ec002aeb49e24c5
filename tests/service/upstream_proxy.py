"""A stand-in for the user's system proxy, on 127.0.0.1, that records what it is asked.

It takes requests in absolute form and CONNECT, resolves every name itself as 127.0.0.1 (the
far end's own lookup) and relays to that port there, except for two names: auth.* answers 407
(credentials wanted) and silent.* never answers. A plain "GET /seen" (origin form) answers the
request lines seen so far, one a line, and forgets them.
"""

import socket
import socketserver
import threading

from fixture_server import read_head


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        s = self.request
        s.settimeout(20)
        head = read_head(s)
        if head is None:
            return
        line, _, _ = head.partition(b"\r\n")
        parts = line.decode("latin-1").split(" ")
        if len(parts) != 3:
            return
        method, target, _ = parts
        if target == "/seen":
            with self.server.lock:
                seen, self.server.seen = self.server.seen, []
            body = "".join(l + "\n" for l in seen).encode()
            s.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s" % (len(body), body))
            return
        with self.server.lock:
            self.server.seen.append(method + " " + target)
        if method == "CONNECT":
            host, _, port = target.rpartition(":")
            rest = head.partition(b"\r\n\r\n")[2]
        else:
            authority = target.split("/", 3)[2]
            host, _, port = authority.partition(":")
            path = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
            rest = head.replace(line, ("%s %s HTTP/1.1" % (method, path)).encode(), 1)
        if host.startswith("auth."):
            s.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"x\"\r\n"
                      b"Content-Length: 0\r\n\r\n")
            return
        if host.startswith("silent."):
            self.server.release.wait(30)
            return
        try:
            far = socket.create_connection(("127.0.0.1", int(port or 80)), timeout=20)
        except (OSError, ValueError):
            s.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            return
        with far:
            if method == "CONNECT":
                s.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            if rest:
                far.sendall(rest)
            pipe = threading.Thread(target=copy, args=(far, s), daemon=True)
            pipe.start()
            copy(s, far)
            pipe.join(20)


def copy(a, b):
    try:
        while True:
            data = a.recv(65536)
            if not data:
                break
            b.sendall(data)
    except OSError:
        pass
    try:
        b.shutdown(socket.SHUT_WR)
    except OSError:
        pass


class UpstreamProxy(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.lock = threading.Lock()
        self.seen = []
        self.release = threading.Event()
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def stop(self):
        self.release.set()
        self.shutdown()
        self.server_close()
