#!/usr/bin/env python3
"""The update check end to end: the real program under Wine, 图片框2 pressed with the mouse.

The test build of the program (the shipped program with a local notice server's address and a
shorter fetch limit compiled in) is copied into a folder whose name has characters outside
GBK, and talks to a server started here that records every request and answers what each
step asks for: the notice page, or silence; the archive whole, as an error page, cut off,
empty, or never. A helper in the same Wine session (update_probe.exe) finds the window's
controls and the message boxes; the boxes are answered with the mouse. The first notice is
the bundled service's own (qinglan_service.exe's page, its address put in the server's place).

  update_check_e2e.py --program EXE --probe EXE --port N --limit SECONDS --service QINGLAN_SERVICE_EXE
"""

import os
import random
import shutil
import socket
import sys
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..")]
import tools  # noqa: E402
from wine_e2e import Driver, Failed, RecordingHandler, RecordingServer, main, once, unhex  # noqa: E402

TITLE = "更新提示:"
UP_TO_DATE = "当前已经是最新版"
NEW_VERSION = "发现新版本,请点击确定键进入介绍页面"
ARCHIVE = "qlw_sp.rar"
HANG = object()


def notice(version: str, address: str = None) -> bytes:
    text = "<html><body><p>青岚 更新</p><p>版本:%s;</p>" % version
    if address is not None:
        text += "<p>地址:%s;</p>" % address
    return (text + "</body></html>").encode("utf-8")


class Recorder(RecordingServer):
    def __init__(self, port, archive):
        self.notices = []   # what the next notice requests get, in order (bytes or HANG)
        self.archive = archive
        self.release = threading.Event()
        self.open_hangs = 0
        super().__init__(port, Handler, "the test build's notice address")

    def queue(self, *answers):
        with self.lock:
            self.notices = list(answers)

    def seen(self):
        """The paths asked for (each request is kept with the hanging connections open when it came)."""
        with self.lock:
            return [path for path, _ in self.requests]

    def hanging(self):
        with self.lock:
            return self.open_hangs


class Handler(RecordingHandler):
    def send(self, status, body, declared=None):
        super().send(status, "application/octet-stream" if self.path.startswith("/a/") else "text/html; charset=utf-8",
                     body, declared)

    def hang(self):
        """Never answers; returns when the client closes the connection (or at the end)."""
        server = self.server
        with server.lock:
            server.open_hangs += 1
        try:
            self.connection.settimeout(0.2)
            deadline = time.monotonic() + 90
            while not server.release.is_set() and time.monotonic() < deadline:
                try:
                    if not self.connection.recv(1, socket.MSG_PEEK):
                        return
                except socket.timeout:
                    continue
                except OSError:
                    return
                time.sleep(0.2)
        finally:
            with server.lock:
                server.open_hangs -= 1
            self.close_connection = True

    def do_GET(self):
        server = self.server
        with server.lock:
            server.requests.append((self.path, server.open_hangs))
            answer = server.notices.pop(0) if self.path == "/update-notice.html" and server.notices else None
        if self.path == "/update-notice.html":
            if answer is HANG:
                return self.hang()
            return self.send(200, answer if answer is not None else b"")
        archive = server.archive
        if self.path == "/a/ok":
            return self.send(200, archive)
        if self.path == "/a/404":
            return self.send(404, b"<html>not found</html>")
        if self.path == "/a/cut":
            return self.send(200, archive[:len(archive) // 2], declared=len(archive))
        if self.path == "/a/empty":
            return self.send(200, b"")
        if self.path == "/a/hang":
            return self.hang()
        return self.send(404, b"")


class UpdateDriver(Driver):
    wait_timeout = 20

    def __init__(self, args, work):
        super().__init__(args, work)
        # A folder name with characters outside GBK: the archive still lands in it. Only where
        # Wine reads host file names as UTF-8: in the 936 session (zh_CN.UTF-8, a locale this
        # machine has not generated) it cannot open a program under such a name at all.
        utf8_names = os.environ.get("QL_WINE_CODEPAGE") != "936"
        self.folder = os.path.join(work, "程序-한글-ü" if utf8_names else "program")
        os.mkdir(self.folder)
        self.program = os.path.join(self.folder, os.path.basename(args.program))
        shutil.copy(args.program, self.program)
        self.target = os.path.join(self.folder, ARCHIVE)
        rng = random.Random(20130415)
        body = bytearray(rng.getrandbits(8) for _ in range(1 << 16)) * 96  # 6 MiB
        body[0:7] = b"Rar!\x1a\x07\x00"
        body[4096:8192] = bytes(4096)  # a run of zero bytes
        self.archive = bytes(body)
        self.older = b"an older archive\0\x01\x02" * 1000

    # ---- helpers ----
    def press_picture(self, fresh=False):
        self.click(*map(int, self.probe("point", "picture").split()), fresh=fresh)

    def requests_since(self, before):
        return self.server.seen()[before:]

    def box(self, ms):
        """The program's message box within `ms`: (title, text, owner, icon, buttons), or None."""
        line = self.probe("box", ms)
        if line == "none":
            return None
        # (A box that is closing may have no buttons left: "-".)
        _, title, text, owner, icon, buttons = (line.split() + ["-"] * 6)[:6]
        decode = lambda h: unhex(h).decode("gbk", "replace")  # noqa: E731
        return decode(title), decode(text), owner, icon, buttons

    def expect_box(self, what, text, buttons):
        box = self.box(15000)
        if not self.check(box is not None, what + ": a message box is shown"):
            raise Failed(what + ": no box")
        self.check(box == (TITLE, text, "owned", "noicon", buttons),
                   what + ": the box says %r, titled %r, owned by the window, no icon, buttons %s (%r)"
                   % (text, TITLE, buttons, box))

    def answer(self, button):
        if button == "close":
            self.probe("close-box")
        else:
            self.click(*map(int, self.probe("box-button", button).split()))
        self.wait_for("the box to close", lambda: self.box(0) is None, timeout=10)

    def files(self):
        return sorted(f for f in os.listdir(self.folder) if f != os.path.basename(self.program))

    def content(self):
        try:
            with open(self.target, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def put_older(self):
        with open(self.target, "wb") as f:
            f.write(self.older)

    # ---- the scenarios ----
    def run(self):
        self.server = Recorder(self.args.port, self.archive)
        program = self.start(self.program)
        try:
            self.wait_window()
            if self.probe("wait-window", 30000) != "ok":
                raise Failed("the main window did not appear")
            self.check(self.server.seen() == [], "no check at start-up")
            self.scenarios()
        finally:
            self.server.release.set()
            self.close_program(program, timeout=20)
            self.server.retire()

    def bundled_notice(self):
        """qinglan_service.exe's update notice, as if the service listened on the server's port."""
        port = tools.free_port()
        service = tools.start_service(self.args.service, port, "--quiet")
        try:
            with urllib.request.urlopen("http://127.0.0.1:%d/update-notice.html" % port, timeout=30) as answer:
                body = answer.read()
        finally:
            tools.stop(service)
        return body.replace(b"127.0.0.1:%d/" % port, b"127.0.0.1:%d/" % self.args.port)

    def scenarios(self):
        limit = self.args.limit
        base = "http://127.0.0.1:%d" % self.args.port

        # The bundled service's page announces the program's own version: already the newest.
        bundled = self.bundled_notice()
        self.server.queue(bundled)
        ended = self.actions_ended()
        self.press_picture()
        self.expect_box("bundled service's page", UP_TO_DATE, "ok")
        self.answer("ok")
        self.wait_action_end(ended, "the check")
        self.check(self.server.seen() == ["/update-notice.html"], "bundled service's page: only the notice is fetched")

        # A newer version, declined with Cancel or by closing the box: nothing is fetched or written.
        for how in ("cancel", "close"):
            self.server.queue(notice("20130416", base + "/a/ok"))
            before = len(self.server.seen())
            ended = self.actions_ended()
            self.press_picture()
            self.expect_box("new version, " + how, NEW_VERSION, "ok,cancel")
            self.answer(how)
            self.wait_action_end(ended, "the check")
            self.check(self.requests_since(before) == ["/update-notice.html"], how + ": no archive request")
            self.check(self.files() == [], how + ": no file (%r)" % self.files())

        # OK on a page that names no archive: nothing is fetched, the older file stays.
        self.put_older()
        self.server.queue(notice("20130416"))
        before = len(self.server.seen())
        ended = self.actions_ended()
        self.press_picture()
        self.expect_box("no address", NEW_VERSION, "ok,cancel")
        self.answer("ok")
        self.wait_action_end(ended, "the check")
        self.check(self.requests_since(before) == ["/update-notice.html"], "no address: nothing more is fetched")
        self.check(self.content() == self.older and self.files() == [ARCHIVE], "no address: the older file stays")

        # OK: the archive replaces the older file byte for byte, with no word after it.
        self.put_older()
        self.server.queue(notice("20130416", "127.0.0.1:%d/a/ok" % self.args.port))  # no scheme
        before = len(self.server.seen())
        self.press_picture()
        self.expect_box("new version, OK", NEW_VERSION, "ok,cancel")
        self.answer("ok")
        try:
            self.wait_for("the archive", lambda: self.content() == self.archive)
        except Failed:
            pass
        got = self.content()
        self.check(got == self.archive, "OK: %s holds the archive byte for byte (%s bytes)"
                   % (ARCHIVE, None if got is None else len(got)))
        self.check(self.requests_since(before) == ["/update-notice.html", "/a/ok"], "OK: notice, then the archive")
        self.check(self.box(1500) is None, "OK: no message after the download")
        self.check(self.files() == [ARCHIVE], "OK: nothing else in the folder (%r)" % self.files())

        # The failure and silence paths below do not depend on the code page: one session
        # tries them.
        if once():
            self.failures_and_silence(limit, base)

    def failures_and_silence(self, limit, base):
        # A download that fails leaves the older file as it was, and no partial file.
        for kind in ("404", "cut", "empty", "hang"):
            self.put_older()
            self.server.queue(notice("20130416", base + "/a/" + kind))
            before = len(self.server.seen())
            ended = self.actions_ended()
            self.press_picture()
            self.expect_box("archive " + kind, NEW_VERSION, "ok,cancel")
            self.answer("ok")
            self.wait_for("the archive request", lambda: len(self.server.seen()) >= before + 2)
            self.wait_action_end(ended, "the check", timeout=limit + 15)
            self.check(self.content() == self.older, "archive %s: the older file is left byte for byte" % kind)
            self.check(self.files() == [ARCHIVE], "archive %s: no partial file (%r)" % (kind, self.files()))
            self.check(self.box(500) is None, "archive %s: no message" % kind)

        # A notice server that never answers: no box, and meanwhile the window paints and
        # takes what the user types.
        self.server.queue(HANG)
        before = len(self.server.seen())
        ended = self.actions_ended()
        self.press_picture()
        self.wait_for("the notice request", lambda: len(self.server.seen()) > before)
        self.check(self.probe("paints", 3000) == "painted", "silent server: the window repaints while it waits")
        self.click(*map(int, self.probe("point", "edit").split()))
        self.xdotool("type", "--delay", 20, "abc")
        # The keys are posted to the window; the probe's question is sent, and may be answered
        # before the last key is taken: ask until the text is there.
        typed = "text " + b"abc".hex()
        try:
            self.wait_for("the typed text", lambda: self.probe("edit-text") == typed, timeout=10)
        except Failed:
            pass
        got = self.probe("edit-text")
        self.check(got == typed, "silent server: typed text reaches the address box while it waits (%s)" % got)
        self.check(self.server.hanging() == 1, "silent server: the check was still waiting meanwhile")
        self.wait_action_end(ended, "the check", timeout=limit + 15)
        self.check(self.box(500) is None, "silent server: no message, even after the limit")

        # A second press while the first check waits runs a check of its own inside it.
        self.server.queue(HANG, notice("20130415"))
        before = len(self.server.seen())
        ended = self.actions_ended()
        self.press_picture()
        self.wait_for("the first notice request", lambda: len(self.server.seen()) > before)
        self.press_picture(fresh=True)
        self.wait_for("the second notice request", lambda: len(self.server.seen()) > before + 1)
        with self.server.lock:
            outer_open = self.server.requests[before + 1][1] == 1
        self.check(outer_open, "nested: the first check still waits when the second asks")
        self.expect_box("nested check", UP_TO_DATE, "ok")
        self.answer("ok")
        # Both presses' actions end: the second inside the first's wait, then the first.
        self.wait_action_end(ended + 1, "the first check", timeout=limit + 15)
        self.check(self.box(500) is None, "nested: the first check then ends without a word")
        self.check(self.requests_since(before) == ["/update-notice.html"] * 2, "nested: two notice requests")


if __name__ == "__main__":
    sys.exit(main(UpdateDriver, "ql-update-", port=int, limit=int, service=str))
