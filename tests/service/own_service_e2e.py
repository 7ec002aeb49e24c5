#!/usr/bin/env python3
"""The program's own service end to end: a build of the program whose compiled-in service
address (127.0.0.1:PORT) nothing serves, with qinglan_service.exe beside it as in the package,
driven from outside as a user would.

  1. The first copy starts and serves the address from a process of its own (the service
     program beside it, PORT on its command line): a sample address typed and resolved lists
     its three media rows, and a request with a browser's markings gets 403.
  2. Each https server of broken_tls.py (on 127.0.0.1: the build lets its service fetch there)
     is typed and pressed: the window outlives whatever it does to the service, and the next
     press resolves a sample address.
  3. A page address no reader can resolve gets today's answer (no rows); the stand-in site
     extractor is put beside the program and the service process is ended by force: the
     next press starts it again, resolves, and the same page address lists the extractor's
     rows.
  4. A second copy starts while the first runs and leaves the address to it.
  5. The first copy ends, and its service with it; the second copy's next press takes the
     address over and resolves. Closed, the second copy ends its service too.

    own_service_e2e.py --program EXE --probe PROBE --port PORT --stand_in STAND_IN_EXTRACTOR_EXE
"""

import os
import shutil
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import tools  # noqa: E402
from broken_tls import BEHAVIOURS, BrokenTlsServers  # noqa: E402
from wine_e2e import Driver, Failed, main, unhex  # noqa: E402

# Two sample addresses, each press resolving the other one from the last, so that the rows
# it waits for cannot be those of the press before. Their media ids.
SAMPLES = [b"XNDA1MjE4ODQw", b"XMTIzNDU2Nzg5Mg=="]


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
        self.sample = 1 - getattr(self, "sample", 1)
        media = SAMPLES[self.sample]
        self.probe("set-address", (b"http://v.example.test/v_show/id_%s.html" % media).hex())
        self.click_button()
        expected = [b"http://127.0.0.1:%d/media/%s/part%d.mp4" % (self.args.port, media, n) for n in (1, 2, 3)]
        try:
            self.wait_for("the sample's rows in %s" % who, lambda: self.rows() == expected, timeout=30)
            self.check(True, "%s resolves a sample address to its three rows" % who)
        except Failed:
            self.check(False, "%s resolves a sample address (rows %r)" % (who, self.rows()))

    def click_button(self):
        l, t, r, b = map(int, self.probe("button-rect").split())
        self.click((l + r) // 2, (t + b) // 2, fresh=True)

    def press(self, address, what):
        """Types `address`, presses the button and waits for the press's end, answering the
        message box that asks to check the address if one comes, as a user would."""
        before = self.actions_ended()
        self.probe("set-address", address.hex())
        self.click_button()

        def ended():
            self.probe("box", 100)
            return self.actions_ended() > before
        self.wait_for("the press's end (%s)" % what, ended, timeout=90)

    def outlive_broken_servers(self, program):
        servers = BrokenTlsServers()
        try:
            for name in BEHAVIOURS:
                if name in servers.port:
                    what = "an https server that " + name if name != "untrusted certificate" else \
                        "an https server with an untrusted certificate"
                    try:
                        self.press(b"https://127.0.0.1:%d/watch" % servers.port[name], what)
                        alive = program.poll() is None and self.probe("ready") == "ready"
                    except Failed:  # the probe finds no window
                        alive = False
                    if not self.check(alive, "the window outlives " + what):
                        raise Failed("the program has gone")
                    self.resolve_sample("after " + what + ", the next press")
        finally:
            servers.stop()

    def extractor_beside(self):
        """The stand-in extractor beside the program, from the service's next start on."""
        page = b"http://site.example/rows"
        self.press(page, "a page no reader resolves")
        self.check(self.rows() == [], "without an extractor, a page no reader resolves lists nothing (%r)"
                   % self.rows())
        self.stand_in = os.path.join(os.path.dirname(self.args.program), "yt-dlp.exe")
        shutil.copy(self.args.stand_in, self.stand_in)
        self.end_service_by_force()
        self.press(page, "the same page with the extractor beside the program")
        want = [row.encode() for row in tools.STAND_IN_ROWS]
        self.check(self.rows() == want, "with the extractor beside the program, it lists the extractor's rows (%r)"
                   % self.rows())

    def end_service_by_force(self):
        pids = tools.service_pids(self.args.port)
        if len(pids) != 1:
            raise Failed("one service process before it is ended (%r)" % pids)
        os.kill(pids[0], signal.SIGKILL)
        self.wait_for("the ended service's address to be free", lambda: answer(self.args.port) == 0, timeout=30)
        self.resolve_sample("after its service was ended by force, the next press")
        again = tools.service_pids(self.args.port)
        self.check(len(again) == 1 and again != pids, "that press started the service again (%r)" % again)

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
            self.check(len(tools.service_pids(port)) == 1, "the first copy's service runs in a process of its own")
            self.check(answer(port, b"Origin: http://evil.example\r\n") == 403, "a browser-marked request gets 403")
            self.check(answer(port, b"Sec-Fetch-Site: cross-site\r\n") == 403, "a cross-site request gets 403")
            self.resolve_sample("the first copy")
            self.outlive_broken_servers(first)
            self.extractor_beside()
            serving = tools.service_pids(port)
            second = self.start(self.args.program)
            self.wait_for("the second copy", lambda: second.poll() is not None or self.two_windows(), timeout=30)
            self.check(second.poll() is None, "a second copy runs beside the first")
            self.check(tools.service_pids(port) == serving, "the second copy starts no service of its own")
            # The first copy goes, and its service with it; the address is free until the
            # second copy's next press.
            first.kill()
            first.wait()
            self.wait_for("the first copy's end", lambda: answer(port) == 0, timeout=30)
            self.wait_window()
            self.resolve_sample("the second copy, after the first has gone,")
            self.check(answer(port) == 200, "the second copy now serves the address")
            self.close_program(second, timeout=15)
            self.wait_for("the address to be free once no copy runs", lambda: answer(port) == 0, timeout=30)
            self.check(not tools.service_pids(port), "the service process ends with the program")
        finally:
            if getattr(self, "stand_in", None) and os.path.exists(self.stand_in):
                os.remove(self.stand_in)
            if first.poll() is None:
                first.kill()
                first.wait()
            if second is not None and second.poll() is None:
                self.close_program(second, timeout=15)

    def two_windows(self):
        import subprocess
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", r"v1\.0$"], env=self.host_env(),
                           timeout=10, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return len(r.stdout.split()) >= 2


if __name__ == "__main__":
    sys.exit(main(OwnServiceDriver, "ql-own-service-", port=int, stand_in=str))
