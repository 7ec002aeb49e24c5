"""The main window driven as a user drives it, for the end-to-end tests of the main action.

The address goes into 编辑框1, 超级按钮1 is clicked with the mouse (xdotool), rows are
right-clicked and menu items chosen with the keyboard; window_probe.exe, in the same Wine
session, reads what the window shows and the clipboard. `Recorder` is a parse service that
records every request line and answers the page it was last given.
"""

import os
import subprocess
import sys

sys.path[:0] = [os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")]
from wine_e2e import Driver, Failed, RecordingHandler, RecordingServer, unhex  # noqa: E402

START = (b'<form action="get_m3u.php" method="post" name="m3uForm">\r\n'
         b'<input type="hidden" name="inf" value="')
END = b'"/>\r'
REFUSAL_TEXT = "请确定是否为优酷网站"


def page(value: bytes) -> bytes:
    return b"<html><body>\r\n" + START + value + END + b"\n</form></body></html>\r\n"


class Recorder(RecordingServer):
    def __init__(self, port):
        self.body = b""
        super().__init__(port, Handler, "the test build's service address")

    def answer(self, body: bytes):
        with self.lock:
            self.body = body


class Handler(RecordingHandler):
    def do_GET(self):
        with self.server.lock:
            self.server.requests.append(self.requestline)
            body = self.server.body
        self.send(200, "text/html; charset=gbk", body, headers=[("Cache-Control", "no-store")])


class MainWindowDriver(Driver):
    """Drives the main window as a user does and reads what it shows."""

    def __init__(self, args, work):
        super().__init__(args, work)
        self.record_browser()

    # ---- helpers ----
    def rows(self):
        parts = self.probe("rows").split()
        return [unhex(h) for h in parts[2:]]

    def click_button(self):
        l, t, r, b = map(int, self.probe("button-rect").split())
        self.click((l + r) // 2, (t + b) // 2)

    def right_click_row(self, row):
        rect = self.probe("row-rect", row)
        if rect == "none":
            raise Failed("row %d has no rectangle" % row)
        l, t, r, b = map(int, rect.split())
        # (A double click pops up no menu.)
        self.click(min(l + 40, (l + r) // 2), (t + b) // 2, button=3, fresh=True)
        if self.probe("menu", 5000) != "menu":
            raise Failed("no menu after right-clicking row %d" % row)

    def choose(self, item):
        # The items are "下载" above "复制"; the first Down highlights the first item.
        downs = {"下载": 1, "复制": 2}[item]
        self.xdotool("key", *(["Down"] * downs), "Return")

    def resolve(self, typed: bytes, reply: bytes):
        """Types `typed` into 编辑框1, clicks 超级按钮1, and returns the request line the
        service received."""
        self.server.answer(reply)
        before = len(self.server.seen())
        self.probe("set-address", typed.hex() or "-")
        self.click_button()
        self.wait_for("the service's request for %r" % typed, lambda: len(self.server.seen()) > before)
        seen = self.server.seen()
        self.check(len(seen) == before + 1, "one request per click (%d)" % (len(seen) - before))
        return seen[before]

    def settle(self, expected_rows):
        """Waits until the list shows `expected_rows` (the handler has run to its end)."""
        try:
            self.wait_for("rows %r" % expected_rows, lambda: self.rows() == expected_rows, timeout=10)
        except Failed:
            pass
        return self.rows()

    def clipboard(self):
        _, unicode, ansi = self.probe("clipboard").split()
        return unhex(unicode), unhex(ansi)

    def x_clipboard(self):
        r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, timeout=10,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return r.stdout
