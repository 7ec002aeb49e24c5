#!/usr/bin/env python3
"""Every press ends promptly and truthfully, whatever the service does: the real program under
Wine, with the shipped 60-second limits, driven from outside.

Faults guarded against: a press against a service that refuses or drops the connection waited
out the whole limit (Wine's component never completed such a request); a late answer to a
request given up at its limit was handed to the next request on the same connection, so the
next press listed the previous page's rows; the press after a failed request failed as well;
closing the window during the update check left the process alive until the notice answered;
nothing showed that a fetch was under way.

The test build has a local server's address compiled in for both the parse service and the
update notice. The server here answers on connections it keeps open (HTTP/1.1 keep-alive), as
a real service does, so that a connection the program reuses carries whatever was left on it.
The typed address picks the answer: rows of page A or B, a connection closed or reset without
an answer, or an answer held back until the test lets it go. The helper window_probe.exe reads
the list, the pointer's handle and the message boxes.

  prompt_press_e2e.py --program EXE --probe EXE --port N
"""

import http.server
import os
import socket
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wine_e2e import Driver, Failed, RecordingServer, main, unhex  # noqa: E402

START = (b'<form action="get_m3u.php" method="post" name="m3uForm">\r\n'
         b'<input type="hidden" name="inf" value="')
END = b'"/>\r'
ROWS = {"page-a": [b"http://m.test/a1.mp4", b"http://m.test/a2.mp4"],
        "page-b": [b"http://m.test/b1.mp4", b"http://m.test/b2.mp4", b"http://m.test/b3.mp4"]}
LIMIT_S = 60.0        # the shipped limit of a fetch
PROMPT_S = 3.0        # a failed connection must empty the list within this
CLOSE_S = 2.0         # closing the window must end the process within this
# The skin's close button, in window pixels (button 1 of the 430-pixel window).
CLOSE_BUTTON = (400, 12)
NOTICE = "<p>版本:20991231;</p><p>地址:127.0.0.1/never.rar;</p>".encode("utf-8")


def page(rows):
    return b"<html><body>\r\n" + START + b"\r\n".join(rows) + END + b"\n</form></body></html>\r\n"


class Service(RecordingServer):
    def __init__(self, port):
        self.release = threading.Event()  # lets held answers go
        super().__init__(port, Handler, "the test build's service address")

    def handle_error(self, request, client_address):
        pass  # the program ended or gave up a connection this server was answering on


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # connections stay open between answers

    def setup(self):
        super().setup()
        with self.server.lock:
            self.server.connections.append(self.connection)

    def answer(self, body):
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=gbk")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        with self.server.lock:
            self.server.requests.append(self.path)
        if os.environ.get("QL_DEBUG"):
            print("%.2f %s" % (time.monotonic(), self.path), flush=True)
        if self.path.startswith("/update-notice.html"):
            self.server.release.wait(45)
            self.answer(NOTICE)
            return
        typed = self.path.split("kw=", 1)[-1]
        if typed == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
        elif typed == "reset":
            # Closed at once with no lingering: a reset, not an orderly end.
            self.close_connection = True
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            os.close(self.connection.detach())
        elif typed.startswith("late-"):
            self.server.release.wait(LIMIT_S + 30)
            self.answer(page(ROWS["page-" + typed[5:]]))
        else:
            self.answer(page(ROWS.get(typed, [])))

    def log_message(self, *args):
        pass


class PromptDriver(Driver):
    # ---- helpers ----
    def rows(self):
        return [unhex(h) for h in self.probe("rows").split()[2:]]

    def origin(self):
        values = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", self.window).split())
        return int(values["X"]), int(values["Y"])

    def button_point(self):
        l, t, r, b = map(int, self.probe("button-rect").split())
        return (l + r) // 2, (t + b) // 2

    def cursor(self):
        return self.probe("cursor")

    def launch(self):
        self.program = self.start(self.args.program)
        self.window = self.wait_window()
        if self.probe("wait-window", 30000) != "ok":
            raise Failed("the main window did not appear")

    def press(self, typed):
        """Types `typed`, presses 获取下载 and returns when the service has the request; the
        result is the time of the press."""
        before = len(self.service.seen())
        self.probe("set-address", typed.encode().hex())
        point = self.button_point()
        if time.monotonic() - self.last_click.get(1, -10) < 1.0:
            time.sleep(1.0)  # not a double click
        pressed = time.monotonic()
        self.xdotool("mousemove", *point, "click", 1)
        self.last_click[1] = time.monotonic()
        self.wait_for("the service's request for " + typed, lambda: len(self.service.seen()) > before)
        return pressed

    def fill(self, name):
        self.press(name)
        self.wait_for("the rows of " + name, lambda: self.rows() == ROWS[name])

    def serve(self):
        self.service = Service(self.args.port)

    # ---- the scenarios ----
    def run(self):
        self.serve()
        try:
            self.launch()
            try:
                self.failed_connections()
                self.late_answer()
            finally:
                self.close_program(self.program, timeout=15)
            self.close_during_notice()
            self.close_during_main_action()
        finally:
            self.service.release.set()
            self.service.retire()

    def failed_connections(self):
        """Refused, closed and reset without an answer: the list is emptied within a few seconds,
        the window answers meanwhile, and the next press fills the list."""
        self.fill("page-a")
        for how in ("refused", "drop", "reset"):
            if how == "refused":
                self.service.retire()  # nothing listens on the port now
                self.probe("set-address", b"refused".hex())
                point = self.button_point()
                time.sleep(1.0)  # not a double click
                start = time.monotonic()
                self.xdotool("mousemove", *point, "click", 1)
            else:
                start = self.press(how)
            self.wait_for("the list emptied after a %s connection" % how, lambda: self.rows() == [],
                          timeout=LIMIT_S + 10)
            elapsed = time.monotonic() - start
            self.check(elapsed < PROMPT_S, "%s connection: the list is emptied in %.1f s" % (how, elapsed))
            self.check(self.probe("box", 300) == "none", "%s connection: no message" % how)
            if how == "refused":
                self.serve()
            # The press after the failed one works.
            nxt = "page-b" if how != "drop" else "page-a"
            self.press(nxt)
            try:
                self.wait_for("rows", lambda: self.rows() == ROWS[nxt], timeout=10)
                self.check(True, "after a %s connection the next press lists its rows" % how)
            except Failed:
                self.check(False, "after a %s connection the next press lists its rows (%r)" % (how, self.rows()))

    def late_answer(self):
        """A silent service: the press ends at the limit with the list emptied; the pointer shows
        background work meanwhile and comes back after. Its late answer, on a connection the
        program keeps, never fills the list: the next press on another page lists its own rows."""
        self.fill("page-a")
        bx, by = self.button_point()
        self.xdotool("mousemove", bx, by)
        time.sleep(0.3)
        idle = self.cursor()
        self.service.release.clear()
        start = self.press("late-a")
        time.sleep(1.0)
        during = self.cursor()
        self.check(during != idle, "the pointer changes while the service is silent (%s, idle %s)" % (during, idle))
        # Over the address box as well: its own pointer is the text cursor.
        ex, ey = bx - 150, by
        self.xdotool("mousemove", ex, ey)
        time.sleep(0.3)
        self.check(self.cursor() == during, "over the address box too the pointer shows the work")
        self.xdotool("mousemove", bx, by)
        self.check(self.probe("rows").startswith("rows 2 "), "the window answers while the service is silent")
        self.wait_for("the list emptied at the limit", lambda: self.rows() == [], timeout=LIMIT_S + 15)
        elapsed = time.monotonic() - start
        self.check(LIMIT_S - 2 <= elapsed < LIMIT_S + 5, "a silent service: the list is emptied at the limit "
                   "(%.1f s)" % elapsed)
        time.sleep(0.5)
        after = self.cursor()
        self.check(after == idle, "the pointer comes back when the fetch ends (%s, idle %s)" % (after, idle))
        # The late answer goes out now, on the connection of the request given up.
        self.service.release.set()
        time.sleep(1.0)
        self.press("page-b")
        try:
            self.wait_for("rows", lambda: self.rows() == ROWS["page-b"], timeout=10)
            self.check(True, "after a late answer the next press lists its own rows")
        except Failed:
            self.check(False, "after a late answer the next press lists its own rows (%r)" % self.rows())
        time.sleep(1.0)
        self.check(self.rows() == ROWS["page-b"], "the late answer never fills the list (%r)" % self.rows())

    def close_during_notice(self):
        """Alt+F4 while the update notice is silent: the process ends at once, exit code 0."""
        self.service.release.clear()
        self.launch()
        before = len(self.service.seen())
        px, py = map(int, self.probe("picture-point").split())
        self.xdotool("mousemove", px, py)
        time.sleep(0.3)
        idle = self.cursor()
        self.click(px, py, fresh=True)
        self.wait_for("the notice request", lambda: len(self.service.seen()) > before)
        time.sleep(0.5)
        self.check(self.cursor() != idle, "the pointer shows the work while the notice is silent")
        self.check_closes_at_once(lambda: self.xdotool("key", "alt+F4"), "Alt+F4 during the update check")

    def close_during_main_action(self):
        """The skin's close button while the service is silent: the process ends at once."""
        self.service.release.clear()
        self.launch()
        self.press("late-a")
        time.sleep(0.5)
        ox, oy = self.origin()
        self.check_closes_at_once(
            lambda: self.click(ox + CLOSE_BUTTON[0], oy + CLOSE_BUTTON[1], fresh=True),
            "the close button during the main action",
        )

    def check_closes_at_once(self, close, what):
        """Closes the window with `close` while the service is silent: the process ends within
        CLOSE_S, exit code 0. The silent answer is let go afterwards (at once when the process
        hangs, so that it can end)."""
        start = time.monotonic()
        close()
        try:
            self.program.wait(timeout=CLOSE_S + 10)
        except subprocess.TimeoutExpired:
            self.service.release.set()
            self.program.wait(timeout=30)
        elapsed = time.monotonic() - start
        self.check(elapsed < CLOSE_S, "%s ends the process in %.1f s" % (what, elapsed))
        self.check(self.program.returncode == 0, "... with exit code 0 (%s)" % self.program.returncode)
        self.service.release.set()


if __name__ == "__main__":
    sys.exit(main(PromptDriver, "ql-prompt-", port=int))
