#!/usr/bin/env python3
"""The title strip where the face 宋体 is not installed: the real program under Wine, in the
session's prefix with its replacement for 宋体 taken out for the time of one start.

Fault guarded against: GDI+ found no family "宋体", the font was never made, and the title
strip drew no title at all. The title must be drawn, in white, in the system's sans-serif
family (whose glyphs for Chinese may be boxes: GDI+ links no fonts).

  title_fallback_e2e.py --program EXE --probe EXE
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wine_e2e import Driver, Failed, main  # noqa: E402

REPLACEMENTS = "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]"
# What the session set up (scripts/wine-session): 宋体 resolves to a font with Chinese glyphs.
SESSION_VALUE = '"宋体"="WenQuanYi Zen Hei"'
CLOSE_BUTTON = (400, 12)


class TitleDriver(Driver):
    def regedit(self, line):
        """Imports one value line of the Replacements key. A UTF-16 file, so that the Chinese
        value name arrives whole whatever the host's locale (see scripts/wine-session)."""
        text = "Windows Registry Editor Version 5.00\r\n\r\n%s\r\n%s\r\n" % (REPLACEMENTS, line)
        path = os.path.join(self.env["WINEPREFIX"], "drive_c", "ql-title-fonts.reg")
        with open(path, "wb") as f:
            f.write(text.encode("utf-16"))
        try:
            subprocess.run(["wine", "regedit", "/S", "C:\\ql-title-fonts.reg"], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        finally:
            os.remove(path)

    def white_title_pixels(self, window):
        rgb = self.host("import", "-window", window, "-depth", "8", "rgb:-")
        width = 430

        def at(x, y):
            i = (y * width + x) * 3
            return tuple(rgb[i:i + 3])

        return sum(1 for x in range(29, 200) for y in range(9, 26) if at(x, y) == (255, 255, 255))

    def run(self):
        self.regedit('"宋体"=-')
        try:
            program = self.start(self.args.program)
            try:
                window = self.wait_window()
                time.sleep(0.5)
                white = self.white_title_pixels(window)
                self.check(white >= 60, "without 宋体 the title is drawn in white (%d white pixels)" % white)
                values = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell",
                                                                          window).split())
                self.click(int(values["X"]) + CLOSE_BUTTON[0], int(values["Y"]) + CLOSE_BUTTON[1])
                program.wait(timeout=20)
                self.check(program.returncode == 0, "the program ends with exit code 0 (%s)" % program.returncode)
            except Failed:
                raise
            finally:
                if program.poll() is None:
                    program.kill()
                    program.wait()
        finally:
            self.regedit(SESSION_VALUE)


if __name__ == "__main__":
    sys.exit(main(TitleDriver, "ql-title-"))
