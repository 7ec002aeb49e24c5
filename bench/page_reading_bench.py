#!/usr/bin/env python3
"""The page reading of the C++ service against the python service's, on the fixture pages.

For each fixture page of tests/service/ (served on 127.0.0.1 for the iframe it embeds), the
median time of one reading by python's page_media and by the C++ reading (the
service_read_page tool, optimised native build), and the addresses each found; then the
C++ reading's time for an 8 MiB page against a 1 MiB one (a plain page and a hostile one).

    page_reading_bench.py TOOL [--runs N]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path[:0] = [os.path.join(ROOT, "tests", "service"), os.path.join(ROOT, "service")]
import fixture_server  # noqa: E402
import page_media  # noqa: E402


def cpp_median_us(tool, url, header, body, runs):
    content_type, params = page_media._split_type(header)
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(body)
    try:
        args = [tool, "--repeat", str(runs), f.name, url, content_type] + (
            [params["charset"]] if params.get("charset") else [])
        return int(subprocess.run(args, check=True, stdout=subprocess.PIPE, timeout=600).stdout)
    finally:
        os.unlink(f.name)


def cpp_rows(tool, url, header, body):
    content_type, params = page_media._split_type(header)
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(body)
    try:
        args = [tool, f.name, url, content_type] + ([params["charset"]] if params.get("charset") else [])
        out = subprocess.run(args, check=True, stdout=subprocess.PIPE, timeout=600).stdout
    finally:
        os.unlink(f.name)
    start = out.index(b'name="inf" value="') + len(b'name="inf" value="')
    lines = out[start:out.index(b'"/>\r', start)].split(b"\r\n")
    return [] if lines == [b"**/"] else lines


def python_median_us(url, header, body, runs):
    content_type, params = page_media._split_type(header)
    page = page_media.Fetched(url, content_type, params.get("charset"), body)
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        page_media.page_media(page, True)
        times.append((time.perf_counter() - start) * 1e6)
    return statistics.median(times), len(page_media.page_media(page, True))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--runs", type=int, default=20)
    args = parser.parse_args()
    site = fixture_server.start()
    try:
        other = "http://localhost:%d" % site.server_address[1]
        print("%-24s %12s %12s %8s %8s" % ("page", "python us", "c++ us", "py rows", "c++ rows"))
        py_all, cpp_all, py_rows, cpp_rows_all = [], [], 0, 0
        for name in sorted(fixture_server.PAGES):
            header, body = fixture_server.page_body(name, site.origin, other)
            url = site.origin + "/pages/" + name
            py, n = python_median_us(url, header, body, args.runs)
            cpp = cpp_median_us(args.tool, url, header, body, args.runs)
            rows = len(cpp_rows(args.tool, url, header, body))
            py_all.append(py)
            cpp_all.append(cpp)
            py_rows += n
            cpp_rows_all += rows
            print("%-24s %12.0f %12d %8d %8d" % (name, py, cpp, n, rows))
        print("%-24s %12.0f %12.0f %8d %8d   (median per page; rows in all)"
              % ("all pages", statistics.median(py_all), statistics.median(cpp_all), py_rows, cpp_rows_all))
        print("c++ reading is %.1fx the python reading's speed (medians)"
              % (statistics.median(py_all) / max(1.0, statistics.median(cpp_all))))
        # Growth: the same kind of page at 1 MiB and at 8 MiB.
        plain = fixture_server.page_body("html5-player.html", site.origin, other)[1]
        for label, piece in (("plain page", plain), ("one tag, millions of attributes", None)):
            times = []
            for mib in (1, 8):
                if piece is None:
                    body = b"<video src=/a.mp4></video><div" + b" a=1" * (mib << 18) + b">"
                else:
                    body = (piece * ((mib << 20) // len(piece) + 1))[:mib << 20]
                times.append(cpp_median_us(args.tool, site.origin + "/p.html", "text/html", body, 3))
            print("%-34s 1 MiB %8d us, 8 MiB %8d us, growth %.1f" % (label, times[0], times[1],
                                                                    times[1] / max(1, times[0])))
    finally:
        site.stop()


if __name__ == "__main__":
    main()
