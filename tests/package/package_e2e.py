#!/usr/bin/env python3
"""The package for Windows users end to end, as a user gets it: the zip `make dist` makes is
checked against its SHA-256 file, unpacked into a folder whose path holds a blank and Chinese
characters, and its qinglan.exe run in a Wine session of its own (a fresh prefix and display),
driven from outside:

  1. The program serves its compiled-in service address (127.0.0.1:47615) itself: a sample
     address resolves to its three rows, and a request with a browser's markings gets 403.
  2. 图片框2 (the update check) says that this is the newest version; the title strip's
     guest-book button hands the guest-book page's address to the browser, and that address
     answers 200 from the program.
  3. A second copy starts while the first runs, and both resolve. The first copy is closed;
     the second copy's next press takes the address over, and resolves.

    package_e2e.py --zip ZIP --probe PROBE --codepage 1252|936

The session's code page is 1252 (C.UTF-8) or 936 (zh_CN.UTF-8, GBK, the Chinese system the
package is for; the session compiles that locale for itself, without which Wine could not
convert the Chinese folder names of the program's Unix path).

The address is fixed: the run holds the lock file that the make-run smoke test takes too, so
that the runs of several build folders take turns, and waits until nothing answers there.
"""

import argparse
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import tools  # noqa: E402
from wine_e2e import Driver, Failed, main, unhex  # noqa: E402

PORT = 47615
BASE = "http://127.0.0.1:%d" % PORT
FOLDER = "青岚综合视频下载精灵"
ENTRIES = {FOLDER + "/", FOLDER + "/qinglan.exe", FOLDER + "/qinglan_service.exe", FOLDER + "/使用说明.txt",
           FOLDER + "/LICENSE"}
# Where the package is unpacked: a blank and Chinese characters, as the instructions allow.
UNPACK_INTO = "测试 目录"
SESSION = os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts", "wine-session")
# The two sample addresses of the offline demonstration, and their media ids.
SAMPLES = [(b"http://v.example.test/v_show/id_XNDA1MjE4ODQw.html", b"XNDA1MjE4ODQw"),
           (b"http://v.example.test/v_show/id_XMTIzNDU2Nzg5Mg==.html", b"XMTIzNDU2Nzg5Mg==")]
UP_TO_DATE = "当前已经是最新版".encode("gbk")
GUEST_BOOK = (BASE + "/index.php?s=gb-show.html").encode()
# The title strip's guest-book button, third from the right (window coordinates of its middle).
GUEST_BUTTON = (332 + 12, 3 + 9)
# Where the two copies' windows are put, side by side, so that a click meant for one cannot
# land on the other.
PLACES = [(20, 20), (540, 20)]


def answer(extra=b""):
    """The status of GET / from the service address, or 0 when nothing answers there."""
    try:
        status, _, _, _ = tools.exchange(
            PORT, b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n%s\r\n" % (PORT, extra), timeout=5)
        return status
    except (OSError, ValueError, IndexError):
        return 0


class Copy:
    """One running copy of the program: its process, its window and its debug log."""

    def __init__(self, name, process, log, others):
        self.name = name
        self.process = process
        self.log = log
        self.others = others  # the main windows that were there before it started
        self.window = None
        self.place = None

    def actions_ended(self):
        with open(self.log, "rb") as f:
            return f.read().count(b"qinglan: action ended")


class PackageDriver(Driver):
    def launch(self, name):
        """Starts the unpacked program from its own folder, as a double-click does; its debug
        lines (the ends of its actions) go to a log of its own."""
        others = set(self.windows())
        log = os.path.join(self.work, name.replace(" ", "-") + ".log")
        with open(log, "wb") as err:
            process = subprocess.Popen(["wine", self.args.program], cwd=os.path.dirname(self.args.program),
                                       env=dict(self.env, WINEDEBUG="warn+seh"), stdout=subprocess.DEVNULL,
                                       stderr=err)
        return Copy(name, process, log, others)

    def windows(self):
        return self.probe("windows").split()[2:]

    def show(self, copy, place):
        """Waits for the copy's window, ready for input, and puts it at `place`."""
        copy.window = self.wait_for("the window of the %s" % copy.name,
                                    lambda: next((w for w in self.windows() if w not in copy.others), None),
                                    timeout=60)
        self.probe("use", copy.window)
        self.wait_for("the %s's window to be ready" % copy.name, lambda: self.probe("ready", timeout=10) == "ready",
                      timeout=30)
        self.probe("move", "%d %d" % place)
        copy.place = place

    def rows(self):
        return [unhex(h) for h in self.probe("rows").split()[2:]]

    def resolve(self, copy, sample, what):
        address, media = sample
        expected = [b"%s/media/%s/part%d.mp4" % (BASE.encode(), media, n) for n in (1, 2, 3)]
        self.probe("use", copy.window)
        self.probe("set-address", address.hex())
        l, t, r, b = map(int, self.probe("button-rect").split())
        self.click((l + r) // 2, (t + b) // 2, fresh=True)
        try:
            self.wait_for("the rows of %s" % what, lambda: self.rows() == expected, timeout=30)
            self.check(True, "%s: the %s lists the three media rows" % (what, copy.name))
        except Failed:
            self.check(False, "%s: the %s lists the three media rows (%r)" % (what, copy.name, self.rows()))

    def update_check(self, copy):
        self.probe("use", copy.window)
        before = copy.actions_ended()
        self.click(*map(int, self.probe("picture-point").split()), fresh=True)
        box = self.probe("box", 30000).split()  # answered with OK by the probe
        self.check(box[:1] == ["box"] and unhex(box[2]) == UP_TO_DATE and box[3:] == ["owned"],
                   "图片框2: the window's box says it is the newest version (%r)" % box)
        self.wait_for("the update check's end", lambda: copy.actions_ended() > before, timeout=30)

    def guest_book(self, copy):
        self.clear_browser_calls()
        x, y = copy.place
        self.click(x + GUEST_BUTTON[0], y + GUEST_BUTTON[1], fresh=True)
        calls = self.wait_for("the browser", self.browser_calls, timeout=30)
        self.check(calls == [[GUEST_BOOK]], "the guest-book button: the browser gets the guest-book page (%r)" % calls)
        try:
            with urllib.request.urlopen(GUEST_BOOK.decode(), timeout=15) as reply:
                status, body = reply.status, reply.read()
        except OSError as e:
            status, body = str(e), b""
        self.check(status == 200 and "留言本".encode("gbk") in body,
                   "the guest-book page answers 200 from the program (%r, %d bytes)" % (status, len(body)))

    def run(self):
        if answer():
            raise Failed("something already answers on port %d" % PORT)
        self.record_browser()
        first = self.launch("first copy")
        second = None
        try:
            self.show(first, PLACES[0])
            self.wait_for("the first copy's service", lambda: answer() == 200, timeout=30)
            for header in ("Origin: http://evil.example", "Sec-Fetch-Site: cross-site"):
                status = answer(header.encode() + b"\r\n")
                self.check(status == 403, "a request with '%s' gets 403 (%d)" % (header, status))
            self.resolve(first, SAMPLES[0], "alone")
            self.update_check(first)
            self.guest_book(first)

            second = self.launch("second copy")
            self.show(second, PLACES[1])
            self.check(first.process.poll() is None and second.process.poll() is None, "two copies run side by side")
            self.resolve(second, SAMPLES[1], "beside the first")
            self.resolve(first, SAMPLES[1], "beside the second")

            self.probe("use", first.window)
            self.close_program(first.process, timeout=30)
            self.wait_for("the first copy's address to be free", lambda: answer() == 0, timeout=30)
            self.resolve(second, SAMPLES[0], "after the first has gone")
            self.check(answer() == 200, "the second copy now serves the address")
            self.probe("use", second.window)
            self.close_program(second.process, timeout=30)
            self.wait_for("the address to be free once no copy runs", lambda: answer() == 0, timeout=30)
        finally:
            for copy in (first, second):
                if copy is not None and copy.process.poll() is None:
                    copy.process.kill()
                    copy.process.wait()


def check_package(zip_path, check):
    """The zip against its SHA-256 file (as a user checks it) and what it holds."""
    folder, name = os.path.split(zip_path)
    r = subprocess.run(["sha256sum", "-c", "--strict", name + ".sha256"], cwd=folder, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    check(r.returncode == 0, "sha256sum -c accepts the zip (%s)" % r.stdout.decode(errors="replace").strip())
    with zipfile.ZipFile(zip_path) as z:
        names = set(z.namelist())
        check(names == ENTRIES, "the zip holds the program folder and its four files (%r)" % sorted(names))
        check(z.testzip() is None, "every entry of the zip reads back intact")
        readme = z.read(FOLDER + "/使用说明.txt") if FOLDER + "/使用说明.txt" in names else b""
    check(readme.startswith(b"\xef\xbb\xbf") and b"\n" not in readme.replace(b"\r\n", b""),
          "使用说明.txt is UTF-8 with a byte order mark and CR LF lines")


def take_port_lock(timeout):
    """The lock file of the fixed service port, shared with the make-run smoke test of every
    build folder on this machine."""
    lock = open("/tmp/qinglan-service-47615.lock", "w")
    deadline = time.monotonic() + timeout
    while True:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return lock
        except BlockingIOError:
            if time.monotonic() > deadline:
                return None
            time.sleep(0.5)


def outside():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--codepage", choices=("1252", "936"), required=True)
    args = parser.parse_args()
    failures = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what, flush=True)
        if not ok:
            failures.append(what)
        return ok

    check_package(args.zip, check)
    if failures:
        return 1
    # The waits and the run together stay inside the test's time limit (600 s), so that the
    # session is always stopped by this script.
    lock = take_port_lock(150)
    if not check(lock is not None, "the service port's lock is free within 150 s"):
        return 1
    # Another build folder's program may still be serving the port; it ends within its test's
    # time limit.
    deadline = time.monotonic() + 60
    while answer() and time.monotonic() < deadline:
        time.sleep(0.5)
    if not check(not answer(), "nothing answers on port %d before the run" % PORT):
        return 1

    work = tempfile.mkdtemp(prefix="ql-package-")
    session = os.path.join(work, "session")
    os.mkdir(session)
    try:
        unpacked = os.path.join(work, UNPACK_INTO)
        with zipfile.ZipFile(args.zip) as z:
            z.extractall(unpacked)
        program = os.path.join(unpacked, FOLDER, "qinglan.exe")
        # A Wine session of its own: a fresh prefix and display, so no earlier run's settings
        # or service can play a part.
        r = subprocess.run([SESSION, "exec", session, args.codepage, sys.executable, os.path.abspath(__file__),
                            "--inside", "--program", program, "--probe", os.path.abspath(args.probe)], timeout=240)
        check(r.returncode == 0, "the unpacked program passes every check under Wine")
    except subprocess.TimeoutExpired:
        check(False, "the run under Wine ends within 240 s")
    finally:
        subprocess.run([SESSION, "stop", session], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["--inside"]:
        sys.argv.pop(1)
        sys.exit(main(PackageDriver, "ql-package-run-"))
    sys.exit(outside())
