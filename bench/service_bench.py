#!/usr/bin/env python3
"""The bundled service against yt-dlp's generic extractor on the same video pages.

Serves the fixture pages of tests/service/ on 127.0.0.1, asks the service (in this process,
with --allow-private, over HTTP) and `yt-dlp --force-generic-extractor -g` for each page, and
prints per page what each found: the addresses both found, those only one found, and those
that are not media (an address on the fixture site that is not served as media, or one
elsewhere without a media extension). Then the median time per page of each.

    service_bench.py [--runs N] [--yt-dlp PATH]
"""

import argparse
import os
import statistics
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path[:0] = [os.path.join(ROOT, "tests", "service"), os.path.join(ROOT, "service")]
import fixture_server  # noqa: E402
import page_media  # noqa: E402
import qinglan_service  # noqa: E402

EXTRA = ["/stream/42", "/live/7"]  # media without an extension, known by Content-Type


def ask_service(port, address):
    url = "http://127.0.0.1:%d/parse.php?kw=%s" % (port, urllib.parse.quote(address, safe=":/?&="))
    with urllib.request.urlopen(url, timeout=60) as r:
        page = r.read()
    start = page.index(qinglan_service.REPLY_START) + len(qinglan_service.REPLY_START)
    lines = page[start:page.index(qinglan_service.REPLY_END, start)].decode("ascii").split("\r\n")
    return [] if lines == ["**/"] else lines


def ask_yt_dlp(program, address):
    r = subprocess.run([program, "--force-generic-extractor", "-g", "--no-warnings", "--no-cache-dir", address],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    found = []
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        # Printed as it came, non-ASCII and blanks included: compared in the service's encoding.
        a = page_media.absolute_address(line.strip(), line.strip())
        if a and a not in found:
            found.append(a)
    return found


def is_media(site, address, cache={}):
    if address not in cache:
        if address.startswith(site.origin + "/"):
            try:
                with urllib.request.urlopen(address, timeout=10) as r:
                    content_type = (r.headers.get("Content-Type") or "").split(";")[0].strip().lower()
                cache[address] = page_media.is_media_type(content_type)
            except (urllib.error.URLError, OSError):
                cache[address] = False
        else:
            cache[address] = page_media.has_media_extension(address)
    return cache[address]


def timed(runs, fn):
    times, result = [], None
    for _ in range(runs):
        t = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t)
    return result, statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3, help="runs per page of each (the median counts)")
    parser.add_argument("--yt-dlp", default="yt-dlp")
    args = parser.parse_args()
    version = subprocess.run([args.yt_dlp, "--version"], stdout=subprocess.PIPE, text=True).stdout.strip()

    site = fixture_server.start()
    service = qinglan_service.Server(("127.0.0.1", 0), qinglan_service.Handler)
    service.quiet = True
    service.allow_private = True
    threading.Thread(target=service.serve_forever, daemon=True).start()
    port = service.server_address[1]

    rows, t_yt, t_sv = [], [], []
    totals = dict(yt=0, sv=0, both=0, yt_only=0, sv_only=0, yt_bad=0, sv_bad=0)
    details = []
    try:
        for path in ["/pages/" + name for name in sorted(fixture_server.PAGES)] + EXTRA:
            address = site.origin + path
            yt, ty = timed(args.runs, lambda: ask_yt_dlp(args.yt_dlp, address))
            sv, ts = timed(args.runs, lambda: ask_service(port, address))
            t_yt.append(ty)
            t_sv.append(ts)
            yt_only = [a for a in yt if a not in sv]
            sv_only = [a for a in sv if a not in yt]
            yt_bad = [a for a in yt if not is_media(site, a)]
            sv_bad = [a for a in sv if not is_media(site, a)]
            counts = dict(yt=len(yt), sv=len(sv), both=len(yt) - len(yt_only), yt_only=len(yt_only),
                          sv_only=len(sv_only), yt_bad=len(yt_bad), sv_bad=len(sv_bad))
            for k, v in counts.items():
                totals[k] += v
            name = path[len("/pages/"):] if path.startswith("/pages/") else path.lstrip("/")
            rows.append((name, counts, ty, ts))
            for label, items in (("only yt-dlp", yt_only), ("not media, yt-dlp", yt_bad),
                                 ("not media, service", sv_bad)):
                details += ["  %-22s %-20s %s" % (name, label, a.replace(site.origin, ""))
                            for a in items]
    finally:
        service.shutdown()
        service.server_close()
        site.stop()

    print("The bundled service against yt-dlp %s --force-generic-extractor -g, %d fixture pages on 127.0.0.1"
          % (version, len(rows)))
    print("(addresses found; not media = not served as media on the fixture site, or no media extension elsewhere;"
          " times: median of %d runs)" % args.runs)
    head = "%-22s %7s %7s %5s %7s %8s %9s %9s %9s %9s" % ("page", "yt-dlp", "service", "both", "yt-only",
                                                           "svc-only", "yt-bad", "svc-bad", "yt-dlp ms", "svc ms")
    print(head)
    print("-" * len(head))
    for name, c, ty, ts in rows:
        print("%-22s %7d %7d %5d %7d %8d %9d %9d %9.0f %9.1f" % (name, c["yt"], c["sv"], c["both"], c["yt_only"],
                                                                   c["sv_only"], c["yt_bad"], c["sv_bad"],
                                                                   ty * 1000, ts * 1000))
    print("-" * len(head))
    print("%-22s %7d %7d %5d %7d %8d %9d %9d %9.0f %9.1f" % ("total / median", totals["yt"], totals["sv"],
                                                               totals["both"], totals["yt_only"], totals["sv_only"],
                                                               totals["yt_bad"], totals["sv_bad"],
                                                               statistics.median(t_yt) * 1000,
                                                               statistics.median(t_sv) * 1000))
    if details:
        print("Addresses to look at:")
        print("\n".join(details))
    return 0


if __name__ == "__main__":
    sys.exit(main())
