#!/usr/bin/env python3
"""The real site extractor (yt-dlp) run with the service's own arguments over the fixture site.

    python3 extractor_real_test.py BUILD_DIR/tests/service/service_extractor_args

The arguments come from the service's code (service_extractor_args), the proxy they name is
a recording proxy here that forwards to 127.0.0.1 only, and the extractor's output is read by
the service's own row reading (service_extractor_args --rows). With the generic extractor
allowed, a page of one video gives that video's address, every request through the proxy;
with the arguments the service runs it with, the same page is no site's page: a failure, no
rows. A missing yt-dlp is a failure, not a skip. Prints the version and the exact arguments."""

import http.client
import http.server
import os
import select
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import fixture_server  # noqa: E402

HOP_HEADERS = {"connection", "keep-alive", "proxy-connection", "transfer-encoding", "te", "upgrade"}


class RecordingProxy(http.server.ThreadingHTTPServer):
    """An HTTP proxy on 127.0.0.1 that relays absolute-form requests and CONNECT tunnels to
    127.0.0.1 only, and records every (method, host:port, path) it is asked for."""

    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), ProxyHandler)
        self.lock = threading.Lock()
        self.asked = []


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    def record(self, netloc, path):
        with self.server.lock:
            self.server.asked.append((self.command, netloc, path))

    def relay(self):
        parts = urllib.parse.urlsplit(self.path)
        self.record(parts.netloc, parts.path)
        if parts.scheme != "http" or parts.hostname != "127.0.0.1":
            return self.send_error(403, "only 127.0.0.1 here")
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else None
        headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_HEADERS}
        target = parts.path + ("?" + parts.query if parts.query else "")
        conn = http.client.HTTPConnection("127.0.0.1", parts.port or 80, timeout=30)
        try:
            conn.request(self.command, target or "/", body, headers)
            answer = conn.getresponse()
            data = answer.read()
        finally:
            conn.close()
        self.send_response(answer.status, answer.reason)
        for name, value in answer.getheaders():
            if name.lower() not in HOP_HEADERS and name.lower() != "content-length":
                self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    do_GET = do_HEAD = do_POST = relay

    def do_CONNECT(self):
        host, _, port = self.path.rpartition(":")
        self.record(self.path, "")
        if host != "127.0.0.1":
            return self.send_error(403, "only 127.0.0.1 here")
        with socket.create_connection((host, int(port)), timeout=30) as upstream:
            self.send_response(200, "Connection established")
            self.end_headers()
            ends = [self.connection, upstream]
            while True:
                readable, _, _ = select.select(ends, [], [], 30)
                if not readable:
                    return
                for end in readable:
                    data = end.recv(65536)
                    if not data:
                        return
                    (upstream if end is self.connection else self.connection).sendall(data)

    def log_message(self, *args):
        pass


def run_extractor(tool, address, proxy_port, allow_generic, home):
    arguments = subprocess.run([tool, address, str(proxy_port)] + (["--allow-generic"] if allow_generic else []),
                               check=True, stdout=subprocess.PIPE, text=True).stdout.splitlines()
    print("yt-dlp %s" % shlex.join(arguments), flush=True)
    # Nothing of this machine's: no proxy variables, a home of its own (no user configuration,
    # no cache), run there.
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "LANG": "C.UTF-8"}
    done = subprocess.run(["yt-dlp"] + arguments, env=env, cwd=home, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=120)
    rows = subprocess.run([tool, "--rows"], input=done.stdout, check=True,
                          stdout=subprocess.PIPE).stdout.decode().splitlines()
    print("  exit %d, output %r, errors %r, rows %r" % (done.returncode, done.stdout.decode(errors="replace"),
                                                         done.stderr.decode(errors="replace"), rows), flush=True)
    return done, rows


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    tool = argv[0]
    if shutil.which("yt-dlp") is None:
        print("extractor_real_test: yt-dlp is not installed (scripts/install-deps installs it)", file=sys.stderr)
        return 1
    version = subprocess.run(["yt-dlp", "--version"], check=True, stdout=subprocess.PIPE, text=True).stdout.strip()
    print("yt-dlp version %s" % version, flush=True)

    site = fixture_server.start()
    proxy = RecordingProxy()
    threading.Thread(target=proxy.serve_forever, daemon=True).start()
    page = site.origin + "/one-video"
    failures = []
    try:
        with tempfile.TemporaryDirectory() as home:
            done, rows = run_extractor(tool, page, proxy.server_address[1], True, home)
            if done.returncode != 0:
                failures.append("with the generic extractor: exit %d" % done.returncode)
            if rows != [site.origin + "/media/one-video.mp4"]:
                failures.append("with the generic extractor: rows %r" % rows)
            with proxy.lock, site.lock:
                asked = [path for _, netloc, path in proxy.asked if netloc == site.origin[len("http://"):]]
                seen = [urllib.parse.urlsplit(path).path for path, _ in site.seen]
                print("  the proxy was asked %r; the site saw %r" % (proxy.asked, seen), flush=True)
                if "/one-video" not in asked or sorted(asked) != sorted(seen):
                    failures.append("not every request went through the proxy")
                del site.seen[:], proxy.asked[:]

            done, rows = run_extractor(tool, page, proxy.server_address[1], False, home)
            if done.returncode == 0 or rows:
                failures.append("without the generic extractor: exit %d, rows %r" % (done.returncode, rows))
            if b"No suitable extractor" not in done.stderr:
                failures.append("without the generic extractor: no \"No suitable extractor\"")
    finally:
        proxy.shutdown()
        proxy.server_close()
        site.stop()
    for failure in failures:
        print("FAIL: %s" % failure, file=sys.stderr, flush=True)
    print("extractor_real_test: %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
