#!/usr/bin/env python3
"""A local HTTP server for the web-access tests and the HTTP benchmark.

Listens on 127.0.0.1 only and never contacts any other address. Every answer carries
"Connection: close" and closes its connection. The path decides the answer (a proxy request's
absolute address is routed by its path too):

  /echo…                    200; the body is every byte of the request as received
  /slow?ms=N                waits N ms (at most 30 s), then answers as /echo
  /hang                     reads the request and never answers; the connection is closed
                            when the client closes it, or after 30 s
  /drip?bytes=N&ms=M        200 with N bytes "d", one every M ms (at most 30 s in all)
  /redirect?to=PATH         302 to PATH (also &code=301…), with the Set-Cookie lines of &set=
  /cookies?set=C&set=…      200, one Set-Cookie line per `set`, body as /echo
  /bigheaders?bytes=N&set=… 200, N bytes of filler header lines, "X-End: 1", then the
                            Set-Cookie lines
  /body?hex=HEX             200 with exactly those bytes
  /big?bytes=N              200 with N bytes: byte i is i % 251 (zero bytes included)
  /lie?declared=D&bytes=N   200 declaring a length of D, sending N bytes as /big, then closing
  /endless?framing=F        200 with a body that never ends ("e" bytes, ~1 MB/s), framed by F:
                            "length" (a Content-Length of 10^15), "close" (no length: the
                            body ends with the connection) or "chunked"; until the client
                            closes the connection, or MAX_WAIT_S at most. Each one counts in
                            "endless" and, once it has ended, in "endless_closed"
  /cookies?count=N          200, N Set-Cookie lines c0=0 … (also with &set=)
  /loop?n=N                 302 to /loop?n=N+1, for ever
  /close                    reads the request and closes the connection without a word
  /parse.php?kw=PATH        answers as PATH would: the parse-service query of the program
                            chooses a mode by the address typed
  /__stats                  200, "tls=N hung=N hung_closed=N requests=N endless=N
                            endless_closed=N": connections that opened with a TLS handshake,
                            /hang requests, those of them the client closed, all requests but
                            these, and the endless bodies

Run alone:  http_test_server.py [--port P] [--port-file F]   (port 0: a free one)
"""

import argparse
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

MAX_WAIT_S = 30.0


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.tls = 0
        self.hung = 0
        self.hung_closed = 0
        self.requests = 0  # every request but those for /__stats
        self.endless = 0
        self.endless_closed = 0
        self.log = []  # (port, first line) of every request, for failure reports

    def add(self, name, n=1):
        with self.lock:
            setattr(self, name, getattr(self, name) + n)


_pattern_cache = {}


def pattern(n):
    if n not in _pattern_cache:
        unit = bytes(range(251))
        _pattern_cache.clear()
        _pattern_cache[n] = (unit * (n // 251 + 1))[:n]
    return _pattern_cache[n]


def read_request(sock):
    """The raw request (head and body), or None when the connection closes first."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            return data or None
        data += chunk
        if len(data) > 1 << 20:
            return data
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            try:
                length = int(value.strip())
            except ValueError:
                length = 0
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        rest += chunk
    return head + b"\r\n\r\n" + rest


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(MAX_WAIT_S)
        stats = self.server.stats
        try:
            first = sock.recv(1, socket.MSG_PEEK)
            if not first:
                return
            if first[0] == 0x16:  # a TLS handshake record: someone tried https on this port
                stats.add("tls")
                return
            raw = read_request(sock)
            if raw is None:
                return
            self.answer(sock, raw, stats)
        except (OSError, socket.timeout):
            pass

    def answer(self, sock, raw, stats):
        request_line = raw.split(b"\r\n", 1)[0].decode("latin-1")
        with stats.lock:
            stats.log.append(request_line)
        parts = request_line.split(" ")
        target = parts[1] if len(parts) > 1 else "/"
        if target.startswith("http://"):  # a proxy request: route by the path
            target = "/" + target[7:].partition("/")[2]
        url = urllib.parse.urlsplit(target)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        path = url.path
        if path == "/parse.php":  # the mode is the typed address
            url = urllib.parse.urlsplit(query.get("kw", ["/"])[0])
            query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
            path = url.path

        def q(name, default=""):
            return query.get(name, [default])[0]

        extra = []
        status = "200 OK"
        body = raw
        if path == "/__stats":
            with stats.lock:
                body = (f"tls={stats.tls} hung={stats.hung} hung_closed={stats.hung_closed} "
                        f"requests={stats.requests} endless={stats.endless} "
                        f"endless_closed={stats.endless_closed}").encode()
        else:
            stats.add("requests")
        if path == "/__stats":
            pass
        elif path == "/hang":
            stats.add("hung")
            deadline = time.monotonic() + MAX_WAIT_S
            while time.monotonic() < deadline:
                try:
                    sock.settimeout(0.5)
                    if not sock.recv(4096):
                        stats.add("hung_closed")
                        return
                except socket.timeout:
                    continue
                except OSError:
                    stats.add("hung_closed")
                    return
            return
        elif path == "/endless":
            self.endless(sock, q("framing", "length"), stats)
            return
        elif path == "/close":
            return
        elif path == "/loop":
            status = "302 Found"
            extra.append(f"Location: /loop?n={int(q('n', '0')) + 1}")
            body = b"again"
        elif path == "/cookies" and q("count"):
            extra += [f"Set-Cookie: c{i}={i}; path=/cookies" for i in range(int(q("count")))]
        elif path == "/slow":
            time.sleep(min(int(q("ms", "0")), MAX_WAIT_S * 1000) / 1000.0)
        elif path == "/drip":
            self.drip(sock, int(q("bytes", "10")), int(q("ms", "100")))
            return
        elif path == "/redirect":
            code = q("code", "302")
            status = f"{code} {'Moved Permanently' if code == '301' else 'Found'}"
            extra.append("Location: " + q("to", "/echo"))
            body = b"moved"
        elif path == "/body":
            body = bytes.fromhex(q("hex"))
        elif path == "/big":
            body = pattern(int(q("bytes", "0")))
        elif path == "/lie":
            data = pattern(int(q("bytes", "0")))
            sock.sendall(f"HTTP/1.1 200 OK\r\nContent-Length: {q('declared', '0')}\r\n"
                         f"Connection: close\r\n\r\n".encode() + data)
            return
        elif path == "/bigheaders":
            remaining = int(q("bytes", "4096"))
            i = 0
            while remaining > 0:
                line = f"X-Filler-{i:04d}: " + "f" * 60
                extra.append(line)
                remaining -= len(line) + 2
                i += 1
            extra.append("X-End: 1")
        for cookie in query.get("set", []):
            extra.append("Set-Cookie: " + cookie)

        head = [f"HTTP/1.1 {status}", "Content-Type: application/octet-stream",
                f"Content-Length: {len(body)}", "Connection: close"] + extra
        sock.settimeout(MAX_WAIT_S)
        sock.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + body)
        try:
            sock.shutdown(socket.SHUT_WR)
            # Let the client read to the end before the socket goes.
            sock.settimeout(2.0)
            while sock.recv(65536):
                pass
        except OSError:
            pass


    @staticmethod
    def endless(sock, framing, stats):
        stats.add("endless")
        head = {"length": "Content-Length: 1000000000000000\r\n", "close": "",
                "chunked": "Transfer-Encoding: chunked\r\n"}.get(framing, "")
        chunk = b"e" * 65536
        if framing == "chunked":
            chunk = b"10000\r\n" + chunk + b"\r\n"
        try:
            sock.sendall(f"HTTP/1.1 200 OK\r\n{head}Connection: close\r\n\r\n".encode())
            # About 1 MB/s: endless, and no more than a client can be asked to hold for a
            # few seconds (and slow enough for Wine's Internet API, which reads what is left
            # of a declared length when a request is closed, to catch up and let go, even on
            # a busy machine).
            # Ended after the longest wait, so that no client can keep it going.
            deadline = time.monotonic() + MAX_WAIT_S
            while time.monotonic() < deadline:
                sock.sendall(chunk)
                time.sleep(0.064)
        except OSError:
            pass
        stats.add("endless_closed")

    @staticmethod
    def drip(sock, count, interval_ms):
        count = min(count, int(MAX_WAIT_S * 1000 / max(interval_ms, 1)))
        sock.sendall(f"HTTP/1.1 200 OK\r\nContent-Length: {count}\r\nConnection: close\r\n\r\n".encode())
        for _ in range(count):
            time.sleep(interval_ms / 1000.0)
            sock.sendall(b"d")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, port=0):
        super().__init__(("127.0.0.1", port), Handler)
        self.stats = Stats()

    @property
    def port(self):
        return self.server_address[1]


def start(port=0):
    """Starts a server on a background thread and returns it (its `port`; `shutdown()`)."""
    server = Server(port)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
    return server


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    args = parser.parse_args()
    server = Server(args.port)
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write(str(server.port))
    print(server.port, flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
