#!/usr/bin/env python3
"""The window skin of the real program under Wine, driven as a user drives it (xdotool) and
read back from the screen (ImageMagick's import of the window).

Checked: the title strip's pixels (light blue, the dark frame, white title text, the icon);
each caption button's normal, hover and pressed picture; hover moving across neighbouring
buttons both ways; press and release on and off a button; buttons 3 and 4 and the picture
boxes 图片框1/图片框3 handing the product site's pages to the browser (an xdg-open stand-in
first on PATH records them); dragging the window by its surface and not by a resize zone;
minimising; and closing with the close button: exit code 0, the end-of-program routine once.

  skin_e2e.py --program EXE --probe EXE --images DIR --site URL
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wine_e2e import Driver, Failed, main  # noqa: E402

LIGHT_BLUE = (77, 166, 222)
# Buttons 1 to 4 of the 430-pixel window: hit rectangle x, y, width, height, and the pictures.
BUTTONS = [(382, 3, 37, 19, "close"), (357, 3, 25, 19, "min"), (332, 3, 25, 19, "page"), (307, 3, 25, 19, "guest")]
STATES = ("normal", "hover", "pressed")
SURFACE = (200, 15)  # the title strip away from the title, the buttons and every control


class Picture:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def at(self, px, py):
        i = (py * self.width + px) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, left, top, width, height):
        rows = [self.rgb[((top + r) * self.width + left) * 3:((top + r) * self.width + left + width) * 3]
                for r in range(height)]
        return Picture(width, height, b"".join(rows))

    def distance(self, other):
        """Mean absolute difference per channel."""
        return sum(abs(a - b) for a, b in zip(self.rgb, other.rgb)) / len(self.rgb)


def reference(host, path, width, height):
    """A button picture as the skin shows it: scaled to the button, over the light blue."""
    rgb = host("convert", path, "-resize", "%dx%d!" % (width, height), "-background", "rgb(77,166,222)", "-flatten",
              "-depth", "8", "rgb:-")
    return Picture(width, height, rgb)


def near(colour, expected, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


class SkinDriver(Driver):
    def __init__(self, args, work):
        super().__init__(args, work)
        self.record_browser()
        self.env["WINEDEBUG"] = "warn+seh"
        self.log = os.path.join(work, "wine.log")
        self.refs = [{s: reference(self.host, os.path.join(args.images, "btn_%s_%s.png" % (name, s)), w, h)
                      for s in STATES} for (_, _, w, h, name) in BUTTONS]

    # ---- the window ----
    def origin(self):
        values = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", self.window).split())
        return int(values["X"]), int(values["Y"])

    def shot(self):
        rgb = self.host("import", "-window", self.window, "-depth", "8", "rgb:-")
        return Picture(430, len(rgb) // (430 * 3), rgb)

    # Window pixel (wx, wy) under the pointer.
    def point(self, wx, wy):
        ox, oy = self.origin()
        return ox + wx, oy + wy

    def move(self, wx, wy, settle=0.25):
        self.xdotool("mousemove", *self.point(wx, wy))
        time.sleep(settle)

    def press(self):
        self.xdotool("mousedown", "1")
        time.sleep(0.25)

    def release(self):
        self.xdotool("mouseup", "1")
        time.sleep(0.25)

    # ---- the buttons ----
    @staticmethod
    def centre(index):
        bx, by, w, h, _ = BUTTONS[index - 1]
        return bx + w // 2, by + h // 2

    def states_on_screen(self):
        """Which picture each button shows: the nearest of its three, and how near."""
        picture = self.shot()
        seen = []
        for i, (bx, by, w, h, _) in enumerate(BUTTONS):
            crop = picture.crop(bx, by + 1, w, h)  # drawn one pixel below its hit rectangle
            distances = {s: crop.distance(self.refs[i][s]) for s in STATES}
            best, second = sorted(STATES, key=distances.get)[:2]
            seen.append((best, distances[best], distances[second]))
        return seen

    def expect_states(self, expected, what):
        seen = self.states_on_screen()
        # Nearest of the three, and clearly nearer than the next.
        ok = [s for s, _, _ in seen] == list(expected) and all(d < 8 and d * 1.5 < e for _, d, e in seen)
        self.check(ok, "%s: buttons show %s (%s)" % (what, " ".join(expected),
                                                     " ".join("%s/%.1f/%.1f" % sde for sde in seen)))

    def expect_browser(self, addresses, what):
        deadline = time.monotonic() + 20
        while len(self.browser_calls()) < len(addresses) and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(0.5)
        calls = self.browser_calls()
        self.clear_browser_calls()
        self.check(calls == [[a.encode()] for a in addresses], "%s: the browser gets %r (%r)" % (what, addresses, calls))

    # ---- the scenarios ----
    def title_strip(self):
        # Black at alpha 155 over light blue; the frame is drawn at 1,1 of the picture copied to 1,1.
        frame = tuple(round(c * 100 / 255) for c in LIGHT_BLUE)
        # The window takes input before its first paint has reached the screen on a loaded
        # machine: the shot is taken once the frame's top edge shows (the checks then judge all).
        try:
            p = self.wait_for("the strip's first paint on the screen",
                              lambda: (lambda shot: shot if near(shot.at(200, 2), frame, 3) else None)(self.shot()),
                              timeout=10)
        except Failed:
            p = self.shot()
        self.check(near(p.at(*SURFACE), LIGHT_BLUE, 0), "the strip is light blue (%r)" % (p.at(*SURFACE),))
        for what, (fx, fy) in {"top": (200, 2), "left": (2, 200), "right": (429, 200), "bottom": (200, 364)}.items():
            self.check(near(p.at(fx, fy), frame, 3), "the frame's %s edge is dark (%r at %d,%d)" % (
                what, p.at(fx, fy), fx, fy))
        self.check(near(p.at(200, 3), LIGHT_BLUE, 0), "light blue inside the frame")
        icon = [p.at(ix, iy) for ix in range(6, 26) for iy in range(6, 26)]
        red = sum(1 for r, g, b in icon if r > 170 and g < 90 and b < 90)
        white = sum(1 for r, g, b in icon if min(r, g, b) > 225)
        self.check(red >= 20 and white >= 20, "the icon's red arrow and white cloud at 6,6 (%d red, %d white)" % (
            red, white))
        outside = sum(1 for ix in range(26, 29) for iy in range(6, 26) if min(p.at(ix, iy)) > 225)
        self.check(outside == 0, "the icon is 20 pixels wide")
        title = sum(1 for tx in range(29, 200) for ty in range(9, 26) if p.at(tx, ty) == (255, 255, 255))
        self.check(title >= 150, "white title text from 29,10 (%d white pixels)" % title)
        columns = [tx for tx in range(26, 200) if any(p.at(tx, ty) == (255, 255, 255) for ty in range(9, 26))]
        self.check(columns and 29 <= columns[0] <= 36, "the title begins at x 29 (%s)" % (columns[:1],))

    def partial_repaint(self):
        # The skin paints its whole strip picture at every paint; the controls outside the part
        # being repainted must not be painted over.
        self.probe("invalidate")
        time.sleep(0.5)
        p = self.shot()
        for what, at in (("the list", (200, 300)), ("the address box", (320, 190))):
            self.check(p.at(*at) == (255, 255, 255),
                       "after a partial repaint %s is still white (%r)" % (what, p.at(*at)))
        dark = sum(1 for sx in range(0, 100) for sy in range(328, 342) if max(p.at(sx, sy)) < 80)
        self.check(dark >= 20, "after a partial repaint the status bar keeps its text (%d dark pixels)" % dark)

    def hover_and_press(self):
        self.move(*SURFACE)
        self.expect_states(["normal"] * 4, "at rest")
        for i in range(1, 5):
            self.move(*self.centre(i))
            self.expect_states(["hover" if j == i else "normal" for j in range(1, 5)], "hover over button %d" % i)
        # From button 4 down to button 1 in single steps: each step lights the lower index
        # and leaves the one before lit until the next move.
        self.move(*self.centre(4))
        self.move(*self.centre(3))
        self.expect_states(["normal", "normal", "hover", "hover"], "from 4 to 3 in one step")
        self.move(self.centre(3)[0], self.centre(3)[1] + 1)
        self.expect_states(["normal", "normal", "hover", "normal"], "then a move within 3")
        self.move(*self.centre(2))
        self.move(*self.centre(3))
        self.expect_states(["normal", "normal", "hover", "normal"], "from 2 to 3: both change at once")
        self.move(*SURFACE)
        self.expect_states(["normal"] * 4, "back on the surface")
        for i in range(1, 5):
            if i == 1:
                continue  # releasing over close would end the program; see the end
            self.move(*self.centre(i))
            self.press()
            expected = ["pressed" if j == i else "normal" for j in range(1, 5)]
            self.expect_states(expected, "button %d held" % i)
            self.move(*SURFACE)
            self.expect_states(expected, "button %d held, pointer off it" % i)
            self.release()
            self.expect_states(["normal"] * 4, "button %d released off it" % i)
        self.check(self.browser_calls() == [], "releases off the buttons open nothing")
        self.move(*self.centre(1))
        self.press()
        self.expect_states(["pressed", "normal", "normal", "normal"], "close held")
        self.move(*SURFACE)
        self.release()
        self.expect_states(["normal"] * 4, "close released off it: the program goes on")

    def pages(self):
        site = self.args.site
        guestbook = site + "/index.php?s=gb-show.html"
        software = site + "/my-show-id-soft.html"
        self.move(*self.centre(3))
        self.xdotool("click", "1")
        self.expect_browser([guestbook], "button 3")
        self.move(*self.centre(4))
        self.xdotool("click", "1")
        self.expect_browser([software], "button 4")
        self.expect_states(["normal", "normal", "normal", "normal"], "after the click, before the next move")
        for name, (bx, by) in (("图片框1", (344 + 32, 43 + 32)), ("图片框3", (200 + 36, 43 + 32))):
            self.move(bx, by)
            self.xdotool("mousedown", "1")
            self.expect_browser([software], name + " on the press")
            self.xdotool("mouseup", "1")
        time.sleep(0.5)
        self.expect_browser([], "releasing the picture boxes")

    def drag(self):
        before = self.origin()
        self.move(*SURFACE)
        self.press()
        self.xdotool("mousemove_relative", "--", "40", "30")
        time.sleep(0.3)
        self.xdotool("mousemove_relative", "--", "20", "15")
        time.sleep(0.3)
        self.release()
        after = self.origin()
        self.check(after == (before[0] + 60, before[1] + 45), "dragged by the surface: %r -> %r" % (before, after))
        # A press in the right edge's resize zone shows the cursor but moves nothing.
        self.move(428, 100)
        self.press()
        self.xdotool("mousemove_relative", "--", "40", "30")
        time.sleep(0.3)
        self.release()
        self.check(self.origin() == after, "a press in a resize zone does not move the window (%r)" % (self.origin(),))
        self.move(*SURFACE)
        self.press()
        self.xdotool("mousemove_relative", "--", "-60", "-45")
        time.sleep(0.3)
        self.release()
        self.check(self.origin() == before, "dragged back (%r)" % (self.origin(),))

    def minimise(self):
        self.move(*self.centre(2))
        self.xdotool("click", "1")
        deadline = time.monotonic() + 5
        state = self.probe("iconic")
        while state != "iconic" and time.monotonic() < deadline:
            time.sleep(0.2)
            state = self.probe("iconic")
        self.check(state == "iconic", "the minimise button minimises the window (%s)" % state)
        self.probe("restore")
        self.window = self.wait_window()
        self.move(*SURFACE)
        self.expect_states(["normal"] * 4, "restored: minimise is back to normal")

    def close(self, program):
        self.move(*self.centre(1))
        self.xdotool("click", "1")
        try:
            program.wait(timeout=20)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
            raise Failed("the close button did not end the program")
        self.check(program.returncode == 0, "the close button ends the program with exit code 0 (%d)" % (
            program.returncode))
        with open(self.log, "rb") as f:
            runs = f.read().count(b'OutputDebugStringA "qinglan: end of program')
        self.check(runs == 1, "the end-of-program routine ran once (%d)" % runs)

    def run(self):
        with open(self.log, "wb") as log:
            program = self.start(self.args.program, stderr=log)
        try:
            self.window = self.wait_window()
            self.title_strip()
            self.partial_repaint()
            self.hover_and_press()
            self.pages()
            self.drag()
            self.minimise()
            self.close(program)
        finally:
            if program.poll() is None:
                program.kill()
                program.wait()


if __name__ == "__main__":
    sys.exit(main(SkinDriver, "ql-skin-", images=str, site=str))
