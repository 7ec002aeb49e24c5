#!/usr/bin/env python3
"""qinglan_service.exe under Wine, as a client sees it: who gets answered, what a request may
hold, and that idle, slow and bursting clients lock no real request out; over the fixture site
(fixture_server.py), that private targets are refused before any request reaches them, that a
slow page holds up no other request and that fetches beyond the bound are turned away (503).

    service_server_test.py SERVICE_EXE STAND_IN_EXTRACTOR_EXE

With the stand-in extractor beside a copy of the service: a page address gets the extractor's
rows, a sample or media address never starts it, and --no-extractor gives the reading alone.

Runs inside the caller's Wine session; everything stays on 127.0.0.1. Every wait is bounded
(a hang fails the case, no figure of time is compared).
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]
import fixture_server  # noqa: E402
import tools  # noqa: E402

FAILED = []
PASSED = []
GUARD = 20.0  # seconds after which a wait counts as a hang


def check(ok, what):
    print("%s %s" % ("ok  " if ok else "FAIL", what), flush=True)
    (PASSED if ok else FAILED).append(what)


def get(port, target, extra="", method="GET", host=None):
    host = "127.0.0.1:%d" % port if host is None else host
    host_line = "Host: %s\r\n" % host if host else ""
    return tools.exchange(port, ("%s %s HTTP/1.1\r\n%s%s\r\n" % (method, target, host_line, extra)).encode("latin-1"))


START = (b'<form action="get_m3u.php" method="post" name="m3uForm">\r\n'
         b'<input type="hidden" name="inf" value="')
END = b'"/>\r'
REFUSED = ["**/"]
# The Chinese fixture page: 视频/片段一 in the path as UTF-8; 片段一 and 高清 in the query in GBK.
GBK_PAGE = ["{O}/media/%E8%A7%86%E9%A2%91/%E7%89%87%E6%AE%B5%E4%B8%80.mp4",
            "{O}/media/clip.mp4?title=%C6%AC%B6%CE%D2%BB&q=%B8%DF%C7%E5"]


def parse(port, address):
    """(status, the lines of the reply's hidden field) for `address` sent as the program sends it."""
    status, _, body, _ = get(port, "/parse.php?kw=" + urllib.parse.quote(address, safe=":/?&='"))
    if status != 200:
        return status, None
    start = body.index(START) + len(START)
    return status, body[start:body.index(END, start)].decode("ascii").split("\r\n")


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
    status = tools.exchange(port, b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nX: \x00\r\n\r\n" % port)[0]
    check(status == 400, "a head with a NUL: 400 (%d)" % status)
    status = tools.exchange(port, b"GET /" + b"a" * 20000 + b" HTTP/1.1\r\n\r\n")[0]
    check(status == 431, "a head past the limit: 431 (%d)" % status)
    # A GET's body is no second request: one answer, then the connection ends.
    second = b"GET /qlw_sp.rar HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port
    raw = b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: %d\r\n\r\n" % (port, len(second)) + second
    data = tools.exchange(port, raw)[3]
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


def private_targets_are_refused(port, site):
    """Without --allow-private: refused, and no request reaches the site."""
    p = site.server_address[1]
    before = len(site.seen)
    for address in ["%s/must-not-arrive/1" % site.origin, "http://localhost:%d/must-not-arrive/2" % p,
                    "http://[::ffff:127.0.0.1]:%d/must-not-arrive/3" % p, "http://0.0.0.0:%d/must-not-arrive/4" % p,
                    "http://127.1:%d/must-not-arrive/5" % p, "http://[::1]:%d/must-not-arrive/6" % p,
                    "127.0.0.1:%d/must-not-arrive/7" % p, "https://127.0.0.1:%d/must-not-arrive/8" % p,
                    "ftp://127.0.0.1:%d/must-not-arrive/9" % p, "file:///etc/passwd", "about:blank",
                    "http://intranet/watch", "http://nas.local/v.html"]:
        got = parse(port, address)
        check(got == (200, REFUSED), "refused: %s %r" % (address, got))
    check(len(site.seen) == before, "no refused request reached the site (%r)" % site.seen[before:])


def fixture_pages(port, site):
    """With --allow-private, over the fixture site."""
    o = site.origin
    got = parse(port, o[len("http://"):] + "/stream/42")
    check(got == (200, [o + "/stream/42"]), "an address without a scheme: %r" % (got,))
    # The sample reply's media are served, each a download of its own.
    _, rows = parse(port, "http://v.example.test/v_show/id_XMTIzNDU2Nzg5Mg==.html")
    bodies = set()
    for row in rows:
        status, headers, body, _ = get(port, row[len("http://127.0.0.1:%d" % port):])
        check(status == 200 and headers.get("Content-Type") == "video/mp4" and
              "attachment" in headers.get("Content-Disposition", "") and len(body) > 1000, "served: %s" % row)
        bodies.add(body)
    check(len(bodies) == 3, "the three parts differ")
    # A page whose headers never end is refused at the head's bound, and the service's memory
    # grows by less than the body limit (8 MiB) for it.
    pids = tools.service_pids(port)
    before = tools.peak_kib(pids[0]) if len(pids) == 1 else None
    got = parse(port, o + "/endless-headers")
    after = tools.peak_kib(pids[0]) if len(pids) == 1 else None
    check(got == (200, REFUSED), "a page whose headers never end is refused: %r" % (got,))
    check(before is not None and after - before < 8 * 1024,
          "the service's peak memory grows by less than 8 MiB for it (%r -> %r KiB)" % (before, after))


def slow_pages_hold_up_nothing(port, site):
    """A page that does not come holds up no other request; beyond the fetches at once, a parse
    request waits a little and is then turned away (503) without reaching the site."""
    o = site.origin
    held = {}

    def hold(n):
        held[n] = parse(port, "%s/hold?n=%d" % (o, n))

    threads = [threading.Thread(target=hold, args=(1,))]
    threads[0].start()
    check(site.wait_held(1, GUARD), "the held page is asked for")
    got = parse(port, o + "/pages/gbk-meta.html")
    check(got == (200, [line.replace("{O}", o) for line in GBK_PAGE]), "another page beside the held one: %r" % (got,))
    check(not held, "the held page is still unanswered")
    for n in (2, 3, 4):
        threads.append(threading.Thread(target=hold, args=(n,)))
        threads[-1].start()
    check(site.wait_held(4, GUARD), "four held pages at once")
    before = len(site.seen)
    busy = []

    def turned_away(n):
        busy.append(get(port, "/parse.php?kw=" + urllib.parse.quote("%s/must-not-arrive/busy-%d" % (o, n)))[0])

    # More than wait for a place (16) at once: those that wait and those past them alike.
    extra = [threading.Thread(target=turned_away, args=(n,)) for n in range(24)]
    for t in extra:
        t.start()
    for page in ("/", "/my-show-id-soft.html"):
        check(get(port, page)[0] == 200, "%s answered while four fetches are held" % page)
    # A sample address needs no fetch: it is answered too, with its rows.
    status, rows = parse(port, "http://v.example.test/v_show/id_busy.html")
    check(status == 200 and len(rows or []) == 3, "a sample address answered while four fetches are held (%d)" % status)
    for t in extra:
        t.join(GUARD * 2)
    check(busy == [503] * 24, "parse requests beyond four fetches: 503 (%r)" % busy)
    check(len(site.seen) == before, "none of them reached the site")
    check(not held, "the held pages are still unanswered")
    site.release()
    for t in threads:
        t.join(GUARD * 2)
    want = (200, [o + "/media/held.mp4"])
    check([held.get(n) for n in (1, 2, 3, 4)] == [want] * 4, "the held pages answered once sent: %r" % held)
    got = parse(port, o + "/pages/gbk-header.html")
    check(got == (200, [line.replace("{O}", o) for line in GBK_PAGE]), "a fetch after the held ones: %r" % (got,))


def extractor_beside(service_exe, stand_in):
    folder = tempfile.mkdtemp(prefix="ql-服务 副本-")
    calls = os.path.join(folder, "calls")
    os.mkdir(calls)
    os.environ["QL_STAND_IN_LOG"] = calls
    shutil.copy(service_exe, folder)
    shutil.copy(stand_in, os.path.join(folder, "yt-dlp.exe"))
    copy = os.path.join(folder, os.path.basename(service_exe))
    try:
        for flags, want in (((), tools.STAND_IN_ROWS), (("--no-extractor",), REFUSED)):
            port = tools.free_port()
            proc = tools.start_service(copy, port, "--quiet", *flags)
            try:
                before = len(os.listdir(calls))
                got = parse(port, "http://site.example/rows")
                check(got == (200, want), "the extractor beside the service %s: %r" % (flags or "", got))
                check(len(os.listdir(calls)) == before + (0 if flags else 1), "one extractor call %s" % (flags or ""))
                parse(port, "http://v.example.test/v_show/id_abc.html")
                parse(port, "http://site.example/rows.mp4")
                check(len(os.listdir(calls)) == before + (0 if flags else 1), "sample and media addresses start none")
            finally:
                tools.stop(proc)
    finally:
        os.environ.pop("QL_STAND_IN_LOG")
        shutil.rmtree(folder, ignore_errors=True)


def main():
    port = tools.free_port()
    proc = tools.start_service(sys.argv[1], port, "--quiet")
    site = fixture_server.start()
    try:
        who_is_answered(port)
        requests_are_whole(port)
        floods_lock_nobody_out(port)
        private_targets_are_refused(port, site)
        open_port = tools.free_port()
        open_service = tools.start_service(sys.argv[1], open_port, "--quiet", "--allow-private")
        try:
            fixture_pages(open_port, site)
            slow_pages_hold_up_nothing(open_port, site)
        finally:
            tools.stop(open_service)
        # A second service on the same port says so and ends.
        second = subprocess.run(["wine", sys.argv[1], "--port", str(port)], capture_output=True, timeout=60)
        check(second.returncode == 1 and b"cannot listen" in second.stderr, "a second service on a taken port ends")
        extractor_beside(sys.argv[1], sys.argv[2])
    finally:
        tools.stop(proc)
        site.stop()
    print("%d passed, %d failed" % (len(PASSED), len(FAILED)))
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
