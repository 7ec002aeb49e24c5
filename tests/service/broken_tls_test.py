#!/usr/bin/env python3
"""qinglan_service.exe --allow-private against https servers that break the TLS handshake
(broken_tls.py): each page ends in the refusal row, with a reason in the service's log, and
the service lives on to answer the next request. A service that ended with one of them would
fail every row after it.

    broken_tls_test.py SERVICE_EXE

Runs inside the caller's Wine session; everything stays on 127.0.0.1. Every wait is bounded.
"""

import os
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]
import broken_tls  # noqa: E402
import tools  # noqa: E402

START = b'<input type="hidden" name="inf" value="'
END = b'"/>\r'
SAMPLE = "http://v.example.test/v_show/id_tls.html"


def rows(port, address):
    """The lines of the reply's hidden field for `address`, or the reason there are none."""
    query = "/parse.php?kw=" + urllib.parse.quote(address, safe=":/")
    try:
        status, _, body, _ = tools.exchange(port, b"GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n"
                                            % (query.encode(), port), timeout=30)
    except OSError as e:
        return "no answer (%s)" % e
    if status != 200 or START not in body:
        return "status %d" % status
    start = body.index(START) + len(START)
    return body[start:body.index(END, start)].decode("ascii").split("\r\n")


def main():
    servers = broken_tls.BrokenTlsServers()
    port = tools.free_port()
    passed = failed = 0
    with tempfile.TemporaryFile() as log:
        proc = tools.start_service(sys.argv[1], port, "--allow-private", stderr=log)
        try:
            for name in broken_tls.BEHAVIOURS:
                if name not in servers.port:
                    print("skip %s (openssl is missing)" % name)
                    continue
                said = log.tell()
                got = rows(port, "https://127.0.0.1:%d/watch" % servers.port[name])
                log.seek(said)
                reason = log.read().decode(errors="replace").strip()
                log.seek(0, os.SEEK_END)
                after = rows(port, SAMPLE)
                ok = (got == ["**/"] and servers.connections[name] >= 1 and "/watch 200: " in reason
                      and proc.poll() is None and isinstance(after, list) and len(after) == 3)
                print("%s %s: %r, %s; next request %r" % ("ok  " if ok else "FAIL", name, got, reason, after))
                passed, failed = passed + ok, failed + (not ok)
        finally:
            tools.stop(proc)
            servers.stop()
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
