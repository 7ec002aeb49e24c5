#!/usr/bin/env python3
"""qinglan_service.exe over the fixture site: every /parse.php reply byte for byte as recorded
in expected/replies/ (one file per address; the fixture site's origin written {{ORIGIN}}, the
service's own address 127.0.0.1:SERVICE).

    expected_replies.py SERVICE_EXE

Runs inside the caller's Wine session. Starts the fixture site and the service (with
--allow-private, for the site is on 127.0.0.1) on free ports, asks for every fixture page and
for the site's special paths, prints one line per address and a summary, and fails when a
reply differs from its file.
"""

import os
import re
import sys
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]
import fixture_server  # noqa: E402
import tools  # noqa: E402

EXPECTED = os.path.join(HERE, "expected", "replies")
# The site's own paths beside its pages (the endless and silent ones would only time out).
PATHS = ["/stream/clip", "/live/show", "/redirect/5/pages/html5-player.html", "/redirect/6/pages/html5-player.html",
         "/loop", "/big", "/bomb", "/unclosed", "/media/a/clip.mp4", "/pages/missing.html"]
TYPED = ["http://v.example.test/v_show/id_XNDA1MjE4ODQw.html", "v.example.test/v_show/id_qinglan_demo.html",
         "", "ftp://127.0.0.1/x.mp4"]


def file_name(address, origin):
    """The expected reply's file: the address below the site, its other characters as "_"."""
    below = address.replace(origin, "")
    return re.sub(r"[^A-Za-z0-9._=-]+", "_", below).strip("_") or "empty"


def reply(port, typed):
    url = "http://127.0.0.1:%d/parse.php?kw=%s" % (port, urllib.parse.quote(typed, safe=""))
    with urllib.request.urlopen(url, timeout=60) as answer:
        return answer.read().replace(b"127.0.0.1:%d" % port, b"127.0.0.1:SERVICE")


def main(argv):
    site = fixture_server.start()
    origin = site.origin
    port = tools.free_port()
    service = tools.start_service(argv[0], port, "--allow-private", "--quiet")
    different = []
    try:
        typed = [origin + "/pages/" + name for name in sorted(fixture_server.PAGES)]
        typed += [origin + "/pages/" + name + "?encoding=gzip" for name in ("html5-player.html", "json-ld.html")]
        typed += [origin + path for path in PATHS] + TYPED
        for address in typed:
            with open(os.path.join(EXPECTED, file_name(address, origin)), "rb") as f:
                expected = f.read().replace(b"{{ORIGIN}}", origin.encode())
            actual = reply(port, address)
            print("%s %s" % ("same" if actual == expected else "DIFF", address or '""'), flush=True)
            if actual != expected:
                different.append(address)
                print("  expected: %r\n  got:      %r" % (expected, actual))
        print("%d addresses compared, %d identical, %d different" % (len(typed), len(typed) - len(different),
                                                                      len(different)))
    finally:
        tools.stop(service)
        site.stop()
    return 1 if different else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
