#!/usr/bin/env python3
"""qinglan_service.exe under Wine, as a client sees it: who gets answered, what a request may
hold, and that idle, slow and bursting clients lock no real request out.

    service_server_test.py SERVICE_EXE

Runs inside the caller's Wine session; everything stays on 127.0.0.1. Every wait is bounded
(a hang fails the case, no figure of time is compared).
"""

import os
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

FAILED = []
PASSED = []
GUARD = 20.0  # seconds after which a wait counts as a hang


def check(ok, what):
    print("%s %s" % ("ok  " if ok else "FAIL", what), flush=True)
    (PASSED if ok else FAILED).append(what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def exchange(port, raw, guard=GUARD):
    """Sends raw bytes and reads until the service closes: (status, headers, body, all bytes)."""
    with socket.create_connection(("127.0.0.1", port), timeout=guard) as s:
        s.sendall(raw)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    status = int(lines[0].split()[1]) if lines and lines[0].startswith(b"HTTP/") else 0
    headers = dict(line.decode("latin-1").split(": ", 1) for line in lines[1:] if b": " in line)
    return status, headers, body, data


def get(port, target, extra="", method="GET", host=None):
    host = "127.0.0.1:%d" % port if host is None else host
    host_line = "Host: %s\r\n" % host if host else ""
    return exchange(port, ("%s %s HTTP/1.1\r\n%s%s\r\n" % (method, target, host_line, extra)).encode("latin-1"))


def start_service(port, *flags):
    exe = sys.argv[1]
    proc = subprocess.Popen(["wine", exe, "--port", str(port)] + list(flags),
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    end = time.monotonic() + 60
    while time.monotonic() < end and proc.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return proc
        except OSError:
            time.sleep(0.1)
    proc.kill()
    raise SystemExit("the service did not start: %s" % proc.stderr.read().decode(errors="replace"))


def who_is_answered(port):
    sample = "/parse.php?kw=" + urllib.parse.quote("http://v.example.test/v_show/id_abc.html", safe="")
    rows = [
        # (what, target, extra headers, method, Host (None: the right one), status)
        ("home page", "/", "", "GET", None, 200),
        ("sample reply", sample, "", "GET", None, 200),
        ("localhost as Host", "/", "", "GET", "localhost:%d" % port, 200),
        ("Sec-Fetch-Site none (typed by the user)", "/", "Sec-Fetch-Site: none\r\n", "GET", None, 200),
        ("Origin", sample, "Origin: http://evil.example\r\n", "GET", None, 403),
        ("Origin null", sample, "Origin: null\r\n", "GET", None, 403),
        ("Sec-Fetch-Site cross-site", sample, "Sec-Fetch-Site: cross-site\r\n", "GET", None, 403),
        ("Sec-Fetch-Site same-origin", "/", "Sec-Fetch-Site: same-origin\r\n", "GET", None, 403),
        ("rebound name as Host", sample, "", "GET", "evil.example:%d" % port, 403),
        ("Host without port", sample, "", "GET", "127.0.0.1", 403),
        ("no Host", sample, "", "GET", "", 403),
        ("POST", sample, "Content-Length: 0\r\n", "POST", None, 501),
        ("unknown page", "/nothing", "", "GET", None, 404),
    ]
    for what, target, extra, method, host, status in rows:
        got = get(port, target, extra, method, host)[0]
        check(got == status, "%s: %d (expected %d)" % (what, got, status))
    status, headers, body, _ = get(port, "/qlw_sp.rar", method="HEAD")
    check(status == 200 and body == b"" and int(headers.get("Content-Length", "0")) > 0,
          "HEAD: the GET's length, no body")
    status, headers, body, _ = get(port, "/qlw_sp.rar")
    check(body.startswith(b"Rar!") and int(headers["Content-Length"]) == len(body), "GET of the archive")


def requests_are_whole(port):
    status = exchange(port, b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nX: \x00\r\n\r\n" % port)[0]
    check(status == 400, "a head with a NUL: 400 (%d)" % status)
    status = exchange(port, b"GET /" + b"a" * 20000 + b" HTTP/1.1\r\n\r\n")[0]
    check(status == 431, "a head past the limit: 431 (%d)" % status)
    # A GET's body is no second request: one answer, then the connection ends.
    second = b"GET /qlw_sp.rar HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port
    raw = b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: %d\r\n\r\n" % (port, len(second)) + second
    data = exchange(port, raw)[3]
    check(data.count(b"HTTP/1.1 ") == 1 and b"Rar!" not in data, "a GET's body is not served as a request")
    # A client that sends nothing, or trickles its head, is cut.
    for what, first in (("silent", b""), ("trickling", b"GET / HT")):
        with socket.create_connection(("127.0.0.1", port), timeout=GUARD) as s:
            if first:
                s.sendall(first)
            try:
                cut = s.recv(100) == b""
            except ConnectionResetError:
                cut = True
            except socket.timeout:
                cut = False
        check(cut, "a %s client is cut" % what)


def floods_lock_nobody_out(port):
    idle = []
    try:
        for i in range(600):
            s = socket.create_connection(("127.0.0.1", port), timeout=GUARD)
            if i % 2:
                s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n")  # a head that never ends
            idle.append(s)
        status = get(port, "/")[0]
        check(status == 200, "a request among 600 idle and slow clients: %d" % status)
    finally:
        for s in idle:
            s.close()
    results = []
    sample = "/parse.php?kw=" + urllib.parse.quote("http://v.example.test/v_show/id_burst.html", safe="")

    def one():
        try:
            results.append(get(port, sample)[0])
        except OSError as e:
            results.append(str(e))

    threads = [threading.Thread(target=one) for _ in range(200)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(GUARD * 2)
    check(results.count(200) == 200, "a burst of 200 clients all answered (%d)" % results.count(200))
    check(get(port, "/")[0] == 200, "a request after the burst")


def main():
    port = free_port()
    proc = start_service(port, "--quiet")
    try:
        who_is_answered(port)
        requests_are_whole(port)
        floods_lock_nobody_out(port)
        # A second service on the same port says so and ends.
        second = subprocess.run(["wine", sys.argv[1], "--port", str(port)], capture_output=True, timeout=60)
        check(second.returncode == 1 and b"cannot listen" in second.stderr, "a second service on a taken port ends")
    finally:
        proc.kill()
        proc.wait()
    print("%d passed, %d failed" % (len(PASSED), len(FAILED)))
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
