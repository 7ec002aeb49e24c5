"""The earlier python service as a baseline for the parse service's benchmark.

The python service is no longer in the tree: its files are taken from the last commit of the
repository's history that has them into a temporary folder, and its page reading is timed
there against the C++ reading (the service_read_page tool of the native build).
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "service"))
import fixture_server  # noqa: E402

PYTHON_SERVICE = "service/qinglan_service.py"
# The reply's hidden field: from its opening quote to the closing quote + "/>" + CR.
FIELD_START = b'name="inf" value="'
FIELD_END = b'"/>\r'
REFUSAL = b"**/"


def median(values):
    return statistics.median(values) if values else float("nan")


def git(*args):
    return subprocess.run(["git", "-C", ROOT] + list(args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          check=True).stdout


def python_service_from_history(folder):
    """The python service's files from the last commit that has them, written to `folder`:
    (path of qinglan_service.py, commit) or (None, why not)."""
    try:
        if os.path.realpath(git("rev-parse", "--show-toplevel").decode().strip()) != ROOT:
            return None, "no repository history here"
        commit = git("rev-list", "-1", "HEAD", "--", PYTHON_SERVICE).decode().strip()
        if not commit:
            return None, "%s is not in the repository's history" % PYTHON_SERVICE
        # The last commit that touched the file either changed it (it has it) or removed it
        # (its parent has it).
        if subprocess.run(["git", "-C", ROOT, "cat-file", "-e", "%s:%s" % (commit, PYTHON_SERVICE)],
                          stderr=subprocess.DEVNULL).returncode != 0:
            commit = git("rev-parse", commit + "^").decode().strip()
        names = [n for n in git("ls-tree", "--name-only", commit, "service/").decode().split("\n")
                 if n.endswith(".py")]
        os.makedirs(os.path.join(folder, "service"), exist_ok=True)
        for name in names:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(git("show", "%s:%s" % (commit, name)))
        return os.path.join(folder, PYTHON_SERVICE), commit[:10]
    except (OSError, subprocess.CalledProcessError):
        return None, "no repository history here"


def reading_table(tool, history, runs):
    """The page reading alone, without the network: the C++ reading (the service_read_page tool
    of the native build, its own median over `runs` readings) against the python service's
    page_media on the same bytes, in this process."""
    python_program, commit = history
    print("1b. The page reading alone on the %d fixture pages (no network): median microseconds of one"
          " reading (%d readings each)" % (len(fixture_server.PAGES), runs))
    if not os.path.exists(tool) or not python_program:
        print("   figures unavailable: %s" % (commit if not python_program else tool + " is not built"))
        return
    sys.path.insert(0, os.path.dirname(python_program))
    try:
        import page_media  # the python service's reading, from the repository's history
    finally:
        sys.path.pop(0)
    site = fixture_server.start()
    try:
        other = "http://localhost:%d" % site.server_address[1]
        print("   %-22s %10s %10s %6s %6s" % ("page", "c++ us", "python us", "c++", "python"))
        t_cpp, t_py = [], []
        for name in sorted(fixture_server.PAGES):
            header, body = fixture_server.page_body(name, site.origin, other)
            url = site.origin + "/pages/" + name
            content_type, params = page_media._split_type(header)
            page = page_media.Fetched(url, content_type, params.get("charset"), body)
            times = []
            for _ in range(runs):
                start = time.perf_counter()
                found = page_media.page_media(page, True)
                times.append((time.perf_counter() - start) * 1e6)
            with tempfile.NamedTemporaryFile(delete=False) as f:
                f.write(body)
            try:
                args = [tool, f.name, url, content_type] + ([params["charset"]] if params.get("charset") else [])
                rows = read_page_rows(subprocess.run(args, check=True, stdout=subprocess.PIPE, timeout=600).stdout)
                cpp_us = int(subprocess.run([tool, "--repeat", str(runs)] + args[1:], check=True,
                                            stdout=subprocess.PIPE, timeout=600).stdout)
            finally:
                os.unlink(f.name)
            t_cpp.append(cpp_us)
            t_py.append(median(times))
            print("   %-22s %10d %10.0f %6d %6d" % (name, cpp_us, median(times), len(rows), len(found)))
        ratio = median(t_py) / max(1e-6, median(t_cpp))
        print("   %-22s %10.0f %10.0f" % ("all pages (median)", median(t_cpp), median(t_py)))
        print("   the c++ reading against the python service's (median per page): %.1fx as fast" % ratio)
    finally:
        site.stop()


def read_page_rows(reply):
    start = reply.index(FIELD_START) + len(FIELD_START)
    lines = reply[start:reply.index(FIELD_END, start)].split(b"\r\n")
    return [] if lines == [REFUSAL] else lines
