"""What the end-to-end drivers of the real program under Wine have in common.

Each driver runs one build of the program in the Wine session of the test, drives its window
from outside as a user does (xdotool on the X display) and reads it back with a probe program
of its own, run in the same session. This module offers:

  Failed            a step that cannot go on; the driver reports it as a failed check
  TITLE             the main window's title
  DOUBLE_CLICK_S    a gap longer than the system's double-click time
  once()            whether this run also makes the checks that do not depend on the code
                    page (hostile servers, time limits, failure paths): they run in one code
                    page's session only (QL_ONCE_CODEPAGE), the rest in both
  Driver            the base of a driver: check(), probe(), wait_for(), xdotool(), host()
                    (xdotool and ImageMagick in the host's locale), click() with fresh presses
                    spaced past the double-click time, start() and wait_window() for the
                    program, close_program() with its exit code, and an xdg-open stand-in that
                    records what the browser would have been given
  RecordingServer,  an HTTP server on 127.0.0.1 that keeps what it was asked and can be
  RecordingHandler  retired together with the connections the program keeps open
  main()            the command line (--program, --probe and the driver's own options), a
                    work folder for the run, and the verdict as exit code

The drivers find this file in the folder above their own: they run from the source tree.
"""

import argparse
import http.server
import os
import queue
import shutil
import socket
import subprocess
import tempfile
import threading
import time

TITLE = "青岚综合视频下载精灵 v1.0"
# Longer than the system's double-click time (500 ms by default).
DOUBLE_CLICK_S = 0.7


def once():
    """True in the session that makes the checks that do not depend on the code page."""
    return os.environ.get("QL_WINE_CODEPAGE", "1252") == os.environ.get("QL_ONCE_CODEPAGE", "1252")


class Failed(Exception):
    pass


def unhex(h):
    """The bytes of a probe's hex field ("-" for none)."""
    return b"" if h == "-" else bytes.fromhex(h)


class Driver:
    # How long wait_for() waits unless told.
    wait_timeout = 15

    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.failures = []
        self.env = dict(os.environ)
        self.last_click = {}  # button -> when it was last clicked
        self.prober = None  # the probe program, answering one command after another

    def check(self, ok, what):
        print(("ok    " if ok else "FAIL  ") + what, flush=True)
        if not ok:
            self.failures.append(what)
        return ok

    def probe(self, *args, timeout=30):
        """The last line the probe program prints for one command; a line "error …" fails the step.
        One probe process answers every command of the run (its "serve" mode, a command a line,
        each answer ended by a line "."); one that has ended is started again at the next. A
        probe that ends without a word (Wine has been seen to lose one under load) is asked
        once more by a new one; its own error output is kept in the work folder's probe.log."""
        lines = self._ask_probe(args, timeout)
        if lines is None:
            print("note  the probe ended without answering %r; a new one is asked" % " ".join(map(str, args)),
                  flush=True)
            lines = self._ask_probe(args, timeout) or []
        line = lines[-1] if lines else "error no answer: the probe ended"
        if line.startswith("error"):
            raise Failed("%s %s: %s" % (self._probe_name(), " ".join(map(str, args)), line))
        return line

    def _probe_name(self):
        return os.path.splitext(os.path.basename(self.args.probe))[0]

    def _ask_probe(self, args, timeout):
        """The lines of the probe's answer to one command; None when the probe ended first."""
        if self.prober is None or self.prober.poll() is not None:
            self.stop_probe()
            with open(os.path.join(self.work, "probe.log"), "ab") as log:
                self.prober = subprocess.Popen(["wine", self.args.probe, "serve"], env=self.env,
                                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)
            self.answers = queue.Queue()
            threading.Thread(target=self._read_answers, args=(self.prober, self.answers), daemon=True).start()
        what = "%s %s" % (self._probe_name(), " ".join(map(str, args)))
        try:
            self.prober.stdin.write((" ".join(map(str, args)) + "\n").encode("ascii"))
            self.prober.stdin.flush()
        except OSError:
            self.stop_probe()
            return None
        deadline = time.monotonic() + timeout
        lines = []
        while True:
            try:
                line = self.answers.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                self.stop_probe()
                raise Failed("%s: no answer within %s s" % (what, timeout))
            if line is None:
                return lines or None
            if line == ".":
                return lines
            lines.append(line)

    @staticmethod
    def _read_answers(process, answers):
        for raw in process.stdout:
            line = raw.decode("ascii", "replace").strip()
            if line:
                answers.put(line)
        answers.put(None)

    def stop_probe(self):
        """Ends the probe process of the run, if one is running."""
        prober, self.prober = self.prober, None
        if prober is None:
            return
        try:
            prober.stdin.close()
            prober.wait(timeout=5)
        except (OSError, subprocess.TimeoutExpired):
            prober.kill()
            prober.wait()

    def wait_for(self, what, fn, timeout=None):
        """The first true value of fn(), asked every 0.1 s; fails the step past the timeout."""
        deadline = time.monotonic() + (self.wait_timeout if timeout is None else timeout)
        while True:
            value = fn()
            if value:
                return value
            if time.monotonic() > deadline:
                raise Failed("gave up waiting for " + what)
            time.sleep(0.1)

    # ---- the host's tools ----
    def host_env(self):
        # xdotool and ImageMagick run in C.UTF-8: the Chinese locale given to Wine is not
        # generated on the host, and window names must come back as UTF-8.
        return dict(self.env, LC_ALL="C.UTF-8")

    def host(self, *args, timeout=20):
        return subprocess.run([str(a) for a in args], env=self.host_env(), timeout=timeout, check=True,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout

    def xdotool(self, *args):
        return self.host("xdotool", *args).decode("utf-8", "replace")

    def click(self, x, y, button=1, fresh=False):
        """Clicks at screen point x, y. Two presses of the same button on the same spot within
        the double-click time are a double click: a fresh click waits until that time has
        passed since the last one, as a user's deliberate second click does."""
        wait = self.last_click.get(button, -DOUBLE_CLICK_S) + DOUBLE_CLICK_S - time.monotonic()
        if fresh and wait > 0:
            time.sleep(wait)
        self.xdotool("mousemove", x, y, "click", button)
        self.last_click[button] = time.monotonic()

    # ---- the program ----
    def start(self, program, stderr=None):
        """Starts the program. Its debug lines (Wine's warn+seh channel) go to a log in the
        work folder unless `stderr` is given; actions_ended() counts the ones that end an action."""
        env = self.env
        if stderr is None:
            self.trace = os.path.join(self.work, "program.log")
            stderr = open(self.trace, "wb")
            env = dict(self.env, WINEDEBUG="warn+seh")
        try:
            return subprocess.Popen(["wine", program], env=env, stdout=subprocess.DEVNULL, stderr=stderr)
        finally:
            if stderr is not None and env is not self.env:
                stderr.close()

    def actions_ended(self):
        """How many of the window's actions (bound event handlers) have run to their end: the
        program writes a debug line at the end of each."""
        try:
            with open(self.trace, "rb") as f:
                return f.read().count(b"qinglan: action ended")
        except (AttributeError, FileNotFoundError):
            return 0

    def wait_action_end(self, before, what, timeout=None):
        """Waits until more actions than `before` have ended."""
        self.wait_for(what + " to end", lambda: self.actions_ended() > before, timeout)

    def visible_window(self):
        """The X window of the shown main window, or None. The search is for the title's ASCII
        end (a pattern with Chinese in it depends on the host's locale); the name is then
        compared whole."""
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", r"v1\.0$"], env=self.host_env(),
                           timeout=10, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        for window in r.stdout.decode().split():
            if self.xdotool("getwindowname", window).rstrip("\n") == TITLE:
                return window
        return None

    def wait_window(self, timeout=30):
        """The X window of the main window once it is ready for input: the probe finds it shown,
        shaped by the skin and answering messages (the skin's set-up, which hides the window
        and shows it again once, is over), and the display shows it."""
        deadline = time.monotonic() + timeout
        self.wait_for("the main window to be ready", lambda: self.probe("ready", timeout=10) == "ready", timeout)
        window = self.wait_for("the main window on the display", self.visible_window,
                               max(1.0, deadline - time.monotonic()))
        return window

    def close_program(self, program, timeout):
        """Closes the main window (unless the program has already ended) and checks that the
        program then ends within `timeout` with exit code 0."""
        try:
            if program.poll() is None:
                self.probe("close", timeout=10)
            program.wait(timeout=timeout)
            self.check(program.returncode == 0, "the program ends with exit code 0 (%s)" % program.returncode)
        except Exception as e:
            program.kill()
            program.wait()
            self.check(False, "the program ends when its window is closed (%s)" % (str(e) or type(e).__name__))

    # ---- the browser ----
    def record_browser(self):
        """Puts an xdg-open stand-in first on the program's PATH: Wine hands web addresses to
        it, and it records what it is given."""
        self.calls = os.path.join(self.work, "browser-calls")
        os.mkdir(self.calls)
        bindir = os.path.join(self.work, "bin")
        os.mkdir(bindir)
        stub = os.path.join(bindir, "xdg-open")
        with open(stub, "w") as f:
            # Written under a hidden name and renamed when whole, so that a reader never takes a
            # call that is still being written for one with no arguments.
            f.write('#!/bin/sh\n# Records its arguments, NUL-terminated, one file per call.\n'
                    'f=$(mktemp "%s/.call.XXXXXX")\nprintf "%%s\\0" "$@" > "$f"\nmv "$f" "${f%%/.call.*}/call.${f##*.}"\n'
                    % self.calls)
        os.chmod(stub, 0o755)
        self.env["PATH"] = bindir + os.pathsep + self.env.get("PATH", "")

    def browser_calls(self):
        calls = []
        for name in sorted(n for n in os.listdir(self.calls) if n.startswith("call.")):
            with open(os.path.join(self.calls, name), "rb") as f:
                calls.append(f.read().split(b"\0")[:-1])
        return calls

    def clear_browser_calls(self):
        for name in os.listdir(self.calls):
            os.remove(os.path.join(self.calls, name))


class RecordingServer(http.server.ThreadingHTTPServer):
    """An HTTP server on 127.0.0.1, serving from a thread of its own; `requests` (under `lock`)
    is what the handler chose to keep of each request."""
    daemon_threads = True

    def __init__(self, port, handler, what):
        self.lock = threading.Lock()
        self.requests = []
        self.connections = []
        try:
            super().__init__(("127.0.0.1", port), handler)
        except OSError as e:
            raise Failed("cannot listen on 127.0.0.1:%d, %s: %s" % (port, what, e))
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def seen(self):
        with self.lock:
            return list(self.requests)

    def retire(self):
        """Stops serving and ends the connections the program keeps open for its next request."""
        self.shutdown()
        self.server_close()
        with self.lock:
            for sock in self.connections:
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass


class RecordingHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        with self.server.lock:
            self.server.connections.append(self.connection)

    def send(self, status, content_type, body, declared=None, headers=()):
        """Answers with `body`, its length declared as `declared` when given (a body cut short),
        and closes the connection: no connection outlives its answer, since another server may
        take the port next, and a body shorter than declared must end where the connection does."""
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body) if declared is None else declared))
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.close_connection = True
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main(driver_class, prefix, **options):
    """Runs a driver: --program and --probe, and each of `options` (name=type), are required.
    Returns the exit code: 0 when every check passed."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    for name, kind in options.items():
        parser.add_argument("--" + name, type=kind, required=True)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix=prefix)
    driver = driver_class(args, work)
    try:
        driver.run()
    except Failed as e:
        driver.check(False, str(e))
    finally:
        driver.stop_probe()
    if driver.failures:
        print("%d check(s) failed" % len(driver.failures))
        for log in ("probe.log", "program.log"):
            show_tail(os.path.join(work, log))
        shutil.rmtree(work, ignore_errors=True)
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("all checks passed")
    return 0


def show_tail(path, lines=30):
    """The end of a log of the run, printed after a failure so that the reason is not lost with
    the work folder."""
    try:
        with open(path, "rb") as f:
            tail = f.read().decode("utf-8", "replace").splitlines()[-lines:]
    except FileNotFoundError:
        return
    if tail:
        print("---- the end of %s" % os.path.basename(path))
        print("\n".join(tail))
