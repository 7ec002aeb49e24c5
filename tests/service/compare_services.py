#!/usr/bin/env python3
"""The python service and qinglan_service.exe over the same fixture site: every page's
/parse.php reply, byte for byte.

    compare_services.py SERVICE_EXE

Runs inside the caller's Wine session. Starts the fixture site, the python service and the
C++ service (both with --allow-private, for the site is on 127.0.0.1) on free ports, asks
both for every fixture page and for the site's special paths, prints one line per address
and a summary, and fails when any reply differs. The sample media addresses name each
service's own port, so the port is put back to one spelling before comparing.
"""

import os
import socket
import subprocess
import sys
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import fixture_server  # noqa: E402

# The site's own paths beside its pages (the endless and silent ones would only time out).
PATHS = ["/stream/clip", "/live/show", "/redirect/5/pages/html5-player.html", "/redirect/6/pages/html5-player.html",
         "/loop", "/big", "/bomb", "/unclosed", "/media/a/clip.mp4", "/pages/missing.html"]
TYPED = ["http://v.example.test/v_show/id_XNDA1MjE4ODQw.html", "v.example.test/v_show/id_qinglan_demo.html",
         "", "ftp://127.0.0.1/x.mp4"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(port, proc, what):
    end = time.monotonic() + 60
    while time.monotonic() < end and proc.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.1)
    raise SystemExit("%s did not start" % what)


def reply(port, typed):
    url = "http://127.0.0.1:%d/parse.php?kw=%s" % (port, urllib.parse.quote(typed, safe=""))
    with urllib.request.urlopen(url, timeout=60) as answer:
        return answer.read().replace(b"127.0.0.1:%d" % port, b"127.0.0.1:SERVICE")


def main(argv):
    site = fixture_server.start()
    origin = "http://127.0.0.1:%d" % site.server_address[1]
    py_port, cpp_port = free_port(), free_port()
    python = subprocess.Popen([sys.executable, os.path.join(ROOT, "service", "qinglan_service.py"), "--port",
                               str(py_port), "--allow-private", "--quiet"])
    cpp = subprocess.Popen(["wine", argv[0], "--port", str(cpp_port), "--allow-private", "--quiet"],
                           stdout=subprocess.DEVNULL)
    different = []
    try:
        wait_for(py_port, python, "the python service")
        wait_for(cpp_port, cpp, "qinglan_service.exe")
        typed = [origin + "/pages/" + name for name in sorted(fixture_server.PAGES)]
        typed += [origin + "/pages/" + name + "?encoding=gzip" for name in ("html5-player.html", "json-ld.html")]
        typed += [origin + path for path in PATHS] + TYPED
        for address in typed:
            a, b = reply(py_port, address), reply(cpp_port, address)
            print("%s %s" % ("same" if a == b else "DIFF", address or '""'), flush=True)
            if a != b:
                different.append(address)
                print("  python: %r\n  c++:    %r" % (a, b))
        print("%d addresses compared, %d identical, %d different" % (len(typed), len(typed) - len(different),
                                                                      len(different)))
    finally:
        python.kill()
        cpp.kill()
        site.stop()
    return 1 if different else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
