#!/usr/bin/env python3
"""The parse service's benchmark: one table of figures beside their baselines and goals.

Run inside a Wine session (scripts/bench does, with service_bench.exe of the Windows build):

  1. The fixture pages of tests/service/ served on 127.0.0.1: per page and overall, the median
     time of one answer of qinglan_service.exe (--allow-private, under Wine, asked as the
     program asks: GET /parse.php?kw=ADDRESS), of the earlier python service (taken from the
     repository's history into a temporary folder: it is no longer in the tree) and of
     yt-dlp's generic extractor (--force-generic-extractor -g); the addresses each found, and
     whether the C++ service found every address the python one found.
  1b. The page reading alone, without the network: the C++ reading (service_read_page of the
     native build) against the python service's, per fixture page.
  2. The C++ page reading's time for an 8 MiB page over a 1 MiB page (service_reading_growth of
     the native build): a plain page and hostile ones.
  3. and 4. The program's memory with its own service idle against without it (the window's
     process and the service process it runs), and its start-up to the first skinned paint
     with and without (service_bench.exe).
  5. The site extractor: one answer with the stand-in extractor beside the service against
     without (a page no site extractor claims: the cost of asking); the real yt-dlp's start to
     its "no suitable extractor" answer with the service's arguments, natively, beside the
     reading's time for the same page; the service's peak memory on a page whose headers
     never end against a normal page.

    service_bench.py SERVICE_BENCH_EXE [--runs N] [--yt-dlp-runs N] [--growth-tool PATH] [--program-only]
                     [--extractor-only]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path[:0] = [os.path.join(ROOT, "tests", "service"), os.path.join(ROOT, "tests")]
import fixture_server  # noqa: E402
import tools  # noqa: E402
from python_baseline import python_service_from_history, reading_table  # noqa: E402

EXTRA = ["/stream/42", "/live/7"]  # media without an extension, known by its Content-Type
# The reply's hidden field: from its opening quote to the closing quote + "/>" + CR.
FIELD_START = b'name="inf" value="'
FIELD_END = b'"/>\r'
REFUSAL = "**/"


def median(values):
    return statistics.median(values) if values else float("nan")


def answers(port):
    """Whether an HTTP answer comes from 127.0.0.1:port (read to its end: a connection cut early
    would be an error on the server's side)."""
    try:
        return tools.exchange(port, b"GET / HTTP/1.0\r\nHost: 127.0.0.1:%d\r\n\r\n" % port, timeout=2)[0] != 0
    except OSError:
        return False


def wait_until_answers(port, process, what, limit=60):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if process.poll() is not None:
            raise RuntimeError("%s ended before it answered (exit %s)" % (what, process.returncode))
        if answers(port):
            return
        time.sleep(0.05)
    raise RuntimeError("%s did not answer on port %d within %d s" % (what, port, limit))


def stop(process):
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def ask_service(port, address):
    """The addresses of the service's reply, or None when it gave none (no answer, or not a reply
    page)."""
    url = "http://127.0.0.1:%d/parse.php?kw=%s" % (port, urllib.parse.quote(address, safe=":/?&="))
    try:
        with urllib.request.urlopen(url, timeout=60) as r:
            page = r.read()
        start = page.index(FIELD_START) + len(FIELD_START)
        lines = page[start:page.index(FIELD_END, start)].decode("ascii").split("\r\n")
    except (OSError, ValueError):
        return None
    return [] if lines == [REFUSAL] else lines


def ask_yt_dlp(address):
    try:
        r = subprocess.run(["yt-dlp", "--force-generic-extractor", "-g", "--no-warnings", "--no-cache-dir", address],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    except subprocess.TimeoutExpired:
        return []
    found = []
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        # Printed as it came: in the service's form (non-ASCII and blanks percent-encoded).
        a = urllib.parse.quote(line.strip(), safe="!#$%&'()*+,/:;=?@[]~")
        if a and a not in found:
            found.append(a)
    return found


def timed(runs, fn):
    times, result = [], None
    for _ in range(runs):
        t = time.perf_counter()
        result = fn()
        times.append((time.perf_counter() - t) * 1000)
    return result, median(times)


def met(ok):
    return "met" if ok else "NOT MET"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def services_table(args, build, history):
    site = fixture_server.start()
    # A client that cuts a connection (yt-dlp does) is no error worth a traceback here.
    site.handle_error = lambda request, client_address: None
    cpp = python = None
    try:
        cpp_port = tools.free_port()
        cpp = subprocess.Popen(["wine", os.path.join(build, "service", "qinglan_service.exe"), "--allow-private",
                                "--quiet", "--port", str(cpp_port)], stdin=subprocess.DEVNULL)
        wait_until_answers(cpp_port, cpp, "qinglan_service.exe")
        python_program, commit = history
        python_port = None
        if python_program:
            python_port = tools.free_port()
            python = subprocess.Popen([sys.executable, python_program, "--allow-private", "--quiet", "--port",
                                       str(python_port)], stdin=subprocess.DEVNULL)
            wait_until_answers(python_port, python, "the python service")
        yt_dlp = shutil.which("yt-dlp")
        yt_version = subprocess.run([yt_dlp, "--version"], stdout=subprocess.PIPE,
                                    text=True).stdout.strip() if yt_dlp else None

        print("1. The parse service on %d fixture pages on 127.0.0.1: median ms per page (%d requests each;"
              " yt-dlp %d runs)" % (len(fixture_server.PAGES) + len(EXTRA), args.runs, args.yt_dlp_runs))
        print("   c++ = qinglan_service.exe --allow-private under Wine, GET /parse.php?kw=ADDRESS")
        print("   python = the python service as of commit %s" % commit if python_program
              else "   python = baseline unavailable: %s" % commit)
        print("   yt-dlp = yt-dlp %s --force-generic-extractor -g" % yt_version if yt_dlp
              else "   yt-dlp = not installed (scripts/bench installs Debian's)")
        head = "   %-22s %8s %9s %9s %5s %6s %6s  %s" % ("page", "c++ ms", "python ms", "yt-dlp ms", "c++",
                                                         "python", "yt-dlp", "python's all found")
        print(head)
        print("   " + "-" * (len(head) - 3))
        t_cpp, t_py, t_yt = [], [], []
        n_cpp = n_py = n_yt = 0
        missing, failures = [], []
        for path in ["/pages/" + name for name in sorted(fixture_server.PAGES)] + EXTRA:
            address = site.origin + path
            c, tc = timed(args.runs, lambda: ask_service(cpp_port, address))
            p, tp = timed(args.runs, lambda: ask_service(python_port, address)) if python_port else (None, None)
            y, ty = timed(args.yt_dlp_runs, lambda: ask_yt_dlp(address)) if yt_dlp else ([], float("nan"))
            t_cpp.append(tc)
            if yt_dlp:
                t_yt.append(ty)
            name = path[len("/pages/"):] if path.startswith("/pages/") else path
            silent = [who for who, rows in (("c++", c), ("python", p))
                      if rows is None and (who == "c++" or python_port)]
            failures += ["%s: no reply from the %s service" % (name, who) for who in silent]
            c = c or []
            if python_port:
                p = p or []
            n_cpp += len(c)
            n_yt += len(y)
            lost = []
            if p is not None:
                t_py.append(tp)
                n_py += len(p)
                lost = [a for a in p if a not in c]
                missing += ["%s: not found by c++: %s" % (name, a.replace(site.origin, "")) for a in lost]
            print("   %-22s %8.1f %9s %9.0f %5d %6s %6d  %s" % (
                name, tc, "-" if tp is None else "%.1f" % tp, ty, len(c), "-" if p is None else len(p), len(y),
                "-" if p is None else "NO (no reply)" if silent
                else "yes" if not lost else "NO (%d missing)" % len(lost)))
        print("   " + "-" * (len(head) - 3))
        print("   %-22s %8.1f %9s %9.0f %5d %6s %6d  %s" % (
            "all pages (median, sum)", median(t_cpp), "%.1f" % median(t_py) if t_py else "-", median(t_yt), n_cpp,
            n_py if t_py else "-", n_yt, "-" if not t_py else ("yes" if not missing and not failures else "NO")))
        for m in failures + missing:
            print("     " + m)
        if t_py:
            ratio = median(t_py) / max(1e-6, median(t_cpp))
            print("   goal: c++ at least 5x as fast as python (median per page): %.2fx  %s" % (ratio, met(ratio >= 5)))
            print("   goal: every address the python service found: %d of %d found  %s"
                  % (n_py - len(missing), n_py, met(not missing and not failures)))
        else:
            print("   goals against python: baseline unavailable")
        if t_yt:
            print("   (yt-dlp: c++ is %.0fx as fast, median per page)" % (median(t_yt) / max(1e-6, median(t_cpp))))
    finally:
        stop(cpp)
        stop(python)
        site.stop()


def growth_table(tool, runs):
    print("2. The c++ page reading: an 8 MiB page's time over a 1 MiB page's (median CPU time of %d readings"
          " each, alternating;" % runs)
    print("   service_reading_growth, native: the service's reading of a fetched page)")
    if not os.path.exists(tool):
        print("   %s is not built: figures unavailable" % tool)
        return
    out = subprocess.run([tool, str(runs)], stdout=subprocess.PIPE, text=True, check=True, timeout=1800).stdout
    for line in out.splitlines():
        kind, small, big, _ = line.split("\t")
        growth = int(big) / max(1, int(small))
        print("   %-26s 1 MiB %8.1f ms   8 MiB %8.1f ms   growth %5.1f  (goal: at most 10)  %s"
              % (kind, int(small) / 1000, int(big) / 1000, growth, met(growth <= 10)))


def program_table(exe, build, rounds, starts):
    out = subprocess.run(["wine", exe, windows_path(os.path.join(build, "bench", "qinglan_bench_port.exe")),
                          windows_path(os.path.join(build, "bench", "service_first_paint.exe")), str(rounds),
                          str(starts)], stdout=subprocess.PIPE, text=True, timeout=1800).stdout
    rows = [line.split("\t") for line in out.splitlines() if "\t" in line]
    port = next((r[1] for r in rows if r[0] == "port"), "?")

    def figures(kind, mode, column):
        return [float(r[column]) for r in rows if r[0] == kind and r[1] == mode and r[column] != "-"]

    print("3. The program's memory with its own service idle against without (the program built with the"
          " service on 127.0.0.1:%s," % port)
    print("   qinglan_service.exe beside it as in the package, under Wine; GetProcessMemoryInfo: private bytes ="
          " PagefileUsage,")
    print("   which Wine fills with the process's RssAnon of /proc, working set = VmRSS (the system's libraries,"
          " which both")
    print("   processes map, count in each); once the window is idle, the service answers, and the figures have"
          " settled;")
    print("   median of %d runs)" % rounds)
    served = sum(1 for r in rows if r[0] == "memory" and r[1] == "with" and r[4] == "1")
    apart = len(figures("memory", "with", 5))
    p_with, p_without = median(figures("memory", "with", 2)), median(figures("memory", "without", 2))
    w_with, w_without = median(figures("memory", "with", 3)), median(figures("memory", "without", 3))
    p_service, w_service = median(figures("memory", "with", 5)), median(figures("memory", "with", 6))
    print("   %-36s %10s %10s %10s" % ("", "with", "without", "cost"))
    for label, with_, without in (("private bytes, the window's process", p_with, p_without),
                                  ("working set, the window's process", w_with, w_without)):
        print("   %-36s %7.1f MiB %6.1f MiB %6.1f MiB" % (label, with_ / 1024, without / 1024,
                                                         (with_ - without) / 1024))
    for label, value in (("private bytes, the service process", p_service),
                         ("working set, the service process", w_service)):
        print("   %-36s %7.1f MiB %10s %6.1f MiB" % (label, value / 1024, "-", value / 1024))
    print("   (the service answered in %d of %d runs with it, from a process of its own in %d)"
          % (served, len(figures("memory", "with", 2)), apart))
    cost = (p_with - p_without + (p_service if apart else 0)) / 1024
    print("   goal: the idle service costs at most 5 MiB of private bytes (both processes): %.1f MiB  %s"
          % (cost, met(cost <= 5)))
    print("4. Process start to the first skinned paint, with the program's own service and without"
          " (%d starts each, alternating;" % starts)
    print("   the child reports its own figure; the machine's load spreads them: quartiles and the fastest beside"
          " the median;")
    print("   the program starts its service process once the window has painted and waits for input, so that"
          " start does not")
    print("   compete with the first paint)")
    s_with, s_without = figures("paint", "with", 2), figures("paint", "without", 2)
    k_with, k_without = figures("paint", "with", 3), figures("paint", "without", 3)
    print("   %-28s %9s %17s %9s %12s %5s" % ("", "median", "quartiles", "fastest", "skin median", "runs"))
    for label, total, skin in (("with the service", s_with, k_with), ("without (the port is taken)", s_without,
                                                                       k_without)):
        q = statistics.quantiles(total, n=4) if len(total) > 1 else [float("nan")] * 3
        print("   %-28s %6.1f ms %7.1f-%6.1f ms %6.1f ms %9.1f ms %5d" % (label, median(total), q[0], q[2],
                                                                        min(total, default=float("nan")),
                                                                        median(skin), len(total)))
    ratio = median(s_with) / max(1e-6, median(s_without))
    print("   goal: no slower (median within 5%%): %.2f x  %s" % (ratio, met(ratio <= 1.05)))


def extractor_table(args, build):
    site = fixture_server.start()
    site.handle_error = lambda request, client_address: None
    origin = "http://127.0.0.1:%d" % site.server_address[1]
    page = origin + "/pages/html5-player.html"
    folder = tempfile.mkdtemp(prefix="ql-bench-extractor-")
    service = os.path.join(build, "service", "qinglan_service.exe")
    shutil.copy(service, folder)
    shutil.copy(os.path.join(build, "tests", "service", "stand-in", "yt-dlp.exe"), folder)
    copy = os.path.join(folder, "qinglan_service.exe")
    try:
        print("5. The site extractor (qinglan_service.exe --allow-private under Wine, a page no site extractor"
              " claims: %s;" % page.replace(origin, ""))
        print("   median of %d answers each, alternating)" % args.runs)
        ports = {}
        procs = []
        for mode, flags in (("with the stand-in beside it", ()), ("without (--no-extractor)", ("--no-extractor",))):
            ports[mode] = tools.free_port()
            procs.append(tools.start_service(copy, ports[mode], "--quiet", "--allow-private", *flags))
        times = {mode: [] for mode in ports}
        for _ in range(args.runs):
            for mode, port in ports.items():
                start = time.perf_counter()
                ask_service(port, page)
                times[mode].append(time.perf_counter() - start)
        for proc in procs:
            stop(proc)
        for mode, values in times.items():
            print("   %-36s %8.1f ms" % (mode, median(values) * 1000))
        modes = list(times)
        print("   the cost of asking: %.1f ms" % ((median(times[modes[0]]) - median(times[modes[1]])) * 1000))

        arguments = subprocess.run([os.path.join(ROOT, "build", "native", "tests", "service", "service_extractor_args"),
                                    page, "9"], stdout=subprocess.PIPE, text=True, check=True).stdout.splitlines()
        real = []
        for _ in range(args.yt_dlp_runs):
            start = time.perf_counter()
            r = subprocess.run(["yt-dlp"] + arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120,
                               env=dict(PATH=os.environ["PATH"], HOME=folder))
            real.append(time.perf_counter() - start)
        said = r.stderr.decode(errors="replace").strip().splitlines()[-1:] or ["(nothing)"]
        version = subprocess.run(["yt-dlp", "--version"], stdout=subprocess.PIPE, text=True).stdout.strip()
        page_file = os.path.join(ROOT, "tests", "service", "pages", "html5-player.html")
        reading_us = int(subprocess.run([args.read_tool, "--repeat", str(args.reading_runs), page_file, page,
                                         "text/html"], stdout=subprocess.PIPE, text=True, check=True).stdout)
        print("   the real yt-dlp %s, natively, with the service's arguments: %.0f ms to its answer (exit %d: %s)"
              % (version, median(real) * 1000, r.returncode, said[0][:80]))
        print("   beside it, the service's reading of the same page (service_read_page, natively, median of %d):"
              " %.2f ms" % (args.reading_runs, reading_us / 1000))

        peaks = {}
        for label, target in (("a normal page", page), ("a page whose headers never end", origin + "/endless-headers")):
            port = tools.free_port()
            proc = tools.start_service(copy, port, "--quiet", "--allow-private", "--no-extractor")
            try:
                pids = tools.service_pids(port)
                idle = tools.peak_kib(pids[0]) if pids else 0
                ask_service(port, target)
                peaks[label] = (idle, tools.peak_kib(pids[0]) if pids else 0)
            finally:
                stop(proc)
        print("   the service's peak memory (VmHWM of its process), idle and after one answer:")
        for label, (idle, peak) in peaks.items():
            print("   %-36s idle %6.1f MiB   peak %6.1f MiB   growth %6.1f MiB" % (label, idle / 1024, peak / 1024,
                                                                                  (peak - idle) / 1024))
        hostile = list(peaks.values())[1]
        growth = (hostile[1] - hostile[0]) / 1024
        print("   goal: the hostile page's growth at most 3 x the body limit (24 MiB): %.1f MiB  %s"
              % (growth, met(growth <= 24)))
    finally:
        site.stop()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe", help="service_bench.exe of the Windows build")
    parser.add_argument("--runs", type=int, default=5, help="requests per page to each service (median counts)")
    parser.add_argument("--yt-dlp-runs", type=int, default=3)
    parser.add_argument("--growth-tool", default=os.path.join(ROOT, "build", "native", "bench",
                                                              "service_reading_growth"))
    parser.add_argument("--growth-runs", type=int, default=9)
    parser.add_argument("--read-tool", default=os.path.join(ROOT, "build", "native", "tests", "service",
                                                            "service_read_page"))
    parser.add_argument("--reading-runs", type=int, default=20)
    parser.add_argument("--memory-rounds", type=int, default=5)
    parser.add_argument("--starts", type=int, default=30)
    parser.add_argument("--program-only", action="store_true", help="only 3. and 4., the program's figures")
    parser.add_argument("--extractor-only", action="store_true", help="only 5., the site extractor's figures")
    args = parser.parse_args()
    build = os.path.dirname(os.path.dirname(os.path.abspath(args.exe)))
    if args.extractor_only:
        extractor_table(args, build)
        return 0
    if not args.program_only:
        with tempfile.TemporaryDirectory(prefix="ql-bench-") as folder:
            history = python_service_from_history(folder)
            services_table(args, build, history)
            reading_table(args.read_tool, history, args.reading_runs)
        growth_table(args.growth_tool, args.growth_runs)
    program_table(args.exe, build, args.memory_rounds, args.starts)
    extractor_table(args, build)
    return 0


if __name__ == "__main__":
    sys.exit(main())
