#!/usr/bin/env python3
"""The program's own service end to end: a build of the program whose compiled-in service
address (127.0.0.1:PORT) nothing serves, driven from outside as a user would.

  1. The first copy starts and serves the address itself: a sample address typed and
     resolved lists its three media rows, and a request with a browser's markings gets 403.
  2. A second copy starts while the first runs and leaves the address to it.
  3. The first copy ends; the second copy's next press takes the address over and resolves.

    own_service_e2e.py --program EXE --probe PROBE --port PORT
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import tools  # noqa: E402
from wine_e2e import Driver, Failed, main, unhex  # noqa: E402

SAMPLE = b"http://v.example.test/v_show/id_XNDA1MjE4ODQw.html"


def answer(port, extra=b""):
    """The status of GET / from the address, or 0 when nothing answers there."""
    try:
        return tools.exchange(port, b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n%s\r\n" % (port, extra), timeout=5)[0]
    except OSError:
        return 0


class OwnServiceDriver(Driver):
    def rows(self):
        return [unhex(h) for h in self.probe("rows").split()[2:]]

    def resolve_sample(self, who):
        self.probe("set-address", SAMPLE.hex())
        l, t, r, b = map(int, self.probe("button-rect").split())
        self.click((l + r) // 2, (t + b) // 2, fresh=True)
        expected = [b"http://127.0.0.1:%d/media/XNDA1MjE4ODQw/part%d.mp4" % (self.args.port, n) for n in (1, 2, 3)]
        try:
            self.wait_for("the sample's rows in %s" % who, lambda: self.rows() == expected, timeout=30)
            self.check(True, "%s resolves the sample address to its three rows" % who)
        except Failed:
            self.check(False, "%s resolves the sample address (rows %r)" % (who, self.rows()))

    def run(self):
        port = self.args.port
        if answer(port):
            raise Failed("something already answers on port %d" % port)
        first = self.start(self.args.program)
        second = None
        try:
            self.wait_window()
            if self.probe("wait-window", 30000) != "ok":
                raise Failed("the first copy's window did not appear")
            self.wait_for("the first copy's service", lambda: answer(port) == 200, timeout=30)
            self.check(answer(port, b"Origin: http://evil.example\r\n") == 403, "a browser-marked request gets 403")
            self.check(answer(port, b"Sec-Fetch-Site: cross-site\r\n") == 403, "a cross-site request gets 403")
            self.resolve_sample("the first copy")
            second = self.start(self.args.program)
            self.wait_for("the second copy", lambda: second.poll() is not None or self.two_windows(), timeout=30)
            self.check(second.poll() is None, "a second copy runs beside the first")
            # The first copy goes; the address is free until the second copy's next press.
            first.kill()
            first.wait()
            self.wait_for("the first copy's end", lambda: answer(port) == 0, timeout=30)
            self.wait_window()
            self.resolve_sample("the second copy, after the first has gone,")
            self.check(answer(port) == 200, "the second copy now serves the address")
        finally:
            if first.poll() is None:
                first.kill()
                first.wait()
            if second is not None:
                self.close_program(second, timeout=15)

    def two_windows(self):
        import subprocess
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", r"v1\.0$"], env=self.host_env(),
                           timeout=10, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return len(r.stdout.split()) >= 2


if __name__ == "__main__":
    sys.exit(main(OwnServiceDriver, "ql-own-service-", port=int))
