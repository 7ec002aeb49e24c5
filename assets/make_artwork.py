#!/usr/bin/env python3
"""Draws every picture the program embeds and writes them to assets/images/.

Everything except the logo's lettering is drawn here with a small
supersampled rasteriser and written with our own BMP/ICO/PNG writers, so
the output is byte-for-byte the same on every run.  The logo's Chinese
lettering is set by ImageMagick with the WenQuanYi Zen Hei font, which
also encodes the JPEG (metadata stripped, fixed quality).

    python3 assets/make_artwork.py [--out DIR]
"""

import argparse
import math
import os
import subprocess
import sys
import tempfile

from artwork_raster import Canvas, Linear, Radial, Steel, bmp24_bytes, ico32_bytes, png_bytes
from artwork_shapes import (Circle, Ellipse, Gear, HalfPlane, Polygon, Polyline, RoundRect,
                            Union, arc_points)
from artwork_strip import STRIP_BUTTONS, STRIP_H, draw_strip_button

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(HERE, "images")

# The window's background colour; buttons and icons sit on it.
LIGHT_BLUE = (77, 166, 222)

CONVERT = "/usr/bin/convert"
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
LOGO_QUALITY = 95


# --------------------------------------------------------------------------
# The pictures
# --------------------------------------------------------------------------

def draw_gear_button():
    """"获取下载" button: steel gear on a framed rounded tile, 64x64."""
    c = Canvas(64, 64, bg=LIGHT_BLUE)
    c.fill(RoundRect(1, 1, 63, 63, 12),
           Linear(0, 1, 0, 63, [(0, (96, 134, 178)), (1, (28, 58, 102))]))
    plate = Linear(0, 3, 0, 61, [(0, (252, 253, 255)), (0.55, (220, 232, 245)),
                                 (1, (182, 203, 228))])
    c.fill(RoundRect(3, 3, 61, 61, 10), plate)
    # soft gloss on the upper half of the tile
    c.fill(RoundRect(5, 4, 59, 30, 8), (255, 255, 255), 0.35)

    cx, cy = 32, 32.5
    teeth, phase = 10, 0.25
    body = Gear(cx, cy, 18.6, 25.0, teeth, 0.34, 0.54, phase)
    outer = body.grow(1.1)
    hole = Circle(cx, cy, 5.5)

    c.soft(outer.moved(1.2, 1.8), (20, 40, 70), 0.40, 1.5)
    c.fill(outer - hole, (52, 56, 62))
    c.fill(body - hole, Steel(cx, cy, 25, level=156, light=64, sheen=30))
    # raised hub
    c.fill(Circle(cx, cy, 12.5), (70, 74, 80))
    c.fill(Circle(cx, cy, 11.5), Steel(cx, cy, 12, level=150, light=55,
                                       sheen=18, flip=True))
    c.fill(Circle(cx, cy, 9.0), Steel(cx, cy, 9, level=160, light=55,
                                      sheen=30))
    # shaft hole shows the tile through it, with a shaded rim
    c.fill(Circle(cx, cy, 5.5), (46, 50, 56))
    c.fill(Circle(cx, cy + 0.8, 4.4), plate)
    # highlight on the upper-left teeth
    c.fill(body & Ellipse(cx - 9, cy - 10, 11, 7), (255, 255, 255), 0.25)
    return c


def draw_face_icon():
    c = Canvas(64, 64)
    frame = RoundRect(2, 2, 62, 62, 10)
    c.fill(frame, Linear(0, 2, 0, 62, [(0, (98, 160, 222)), (1, (28, 78, 150))]))
    c.fill(RoundRect(5, 5, 59, 59, 7.5),
           Linear(0, 5, 0, 59, [(0, (255, 255, 255)), (1, (214, 232, 248))]))

    cx, cy, r = 32, 32.5, 21.5
    face = Circle(cx, cy, r)
    c.fill(face.grow(1.6), (150, 88, 18))
    c.fill(face & HalfPlane(1, 0, cx),
           Radial(cx - 8, cy - 9, 30, [(0, (255, 238, 130)), (1, (255, 205, 45))]))
    c.fill(face & HalfPlane(-1, 0, -cx),
           Radial(cx - 8, cy - 9, 30, [(0, (252, 176, 60)), (1, (232, 128, 20))]))
    # gloss
    c.fill(face & Ellipse(cx - 6, cy - 12, 11, 6), (255, 255, 255), 0.35)
    # eyes and smile
    ink = (84, 44, 10)
    c.fill(Ellipse(cx - 7.5, cy - 5, 2.9, 4.3), ink)
    c.fill(Ellipse(cx + 7.5, cy - 5, 2.9, 4.3), ink)
    c.fill(Circle(cx - 8.3, cy - 6.6, 1.0), (255, 255, 255), 0.9)
    c.fill(Circle(cx + 6.7, cy - 6.6, 1.0), (255, 255, 255), 0.9)
    c.fill(Polyline(arc_points(cx, cy + 1, 12.5, 28, 152), 3.4), ink)
    # cheeks
    c.fill(Ellipse(cx - 13, cy + 5, 3.2, 2.0), (240, 90, 60), 0.35)
    c.fill(Ellipse(cx + 13, cy + 5, 3.2, 2.0), (240, 90, 60), 0.35)
    return c


def refresh_arrow(cx, cy, r, a0, a1, w, head_len, head_half):
    """A clockwise arc from a0 to a1 (degrees) ending in an arrow head."""
    shaft = Polyline(arc_points(cx, cy, r, a0, a1 - 2), w)
    a = math.radians(a1)
    px, py = cx + r * math.cos(a), cy + r * math.sin(a)
    nx, ny = math.cos(a), math.sin(a)       # outwards
    tx, ty = -math.sin(a), math.cos(a)      # direction of travel
    head = Polygon([(px + nx * head_half, py + ny * head_half),
                    (px + tx * head_len, py + ty * head_len),
                    (px - nx * head_half, py - ny * head_half)])
    return shaft | head


def draw_update_icon():
    c = Canvas(64, 64)
    cx, cy = 32, 32
    c.fill(Circle(cx, cy, 30.5), (92, 96, 104))
    c.fill(Circle(cx, cy, 29.3),
           Radial(23, 20, 44, [(0, (252, 252, 253)), (0.35, (218, 220, 225)),
                               (0.75, (160, 164, 172)), (1, (118, 122, 130))]))
    c.fill(Ellipse(cx - 6, cy - 17, 14, 7), (255, 255, 255), 0.45)

    arrows = (refresh_arrow(cx, cy, 16.5, 200, 322, 6.4, 9.5, 8.5)
              | refresh_arrow(cx, cy, 16.5, 20, 142, 6.4, 9.5, 8.5))
    c.soft(arrows.moved(0.8, 1.4), (30, 40, 60), 0.35, 1.5)
    c.fill(arrows.grow(1.4), (255, 255, 255), 0.95)
    c.fill(arrows, (16, 66, 160))
    c.fill(arrows.grow(-1.1),
           Linear(0, 10, 0, 54, [(0, (96, 184, 255)), (1, (30, 104, 220))]))
    return c


def draw_home_icon():
    c = Canvas(64, 64)
    roof = Polygon([(32, 3.5), (62.5, 30.5), (57.5, 35.5), (32, 13),
                    (6.5, 35.5), (1.5, 30.5)])
    walls = Polygon([(32, 12), (53, 30.5), (53, 60), (11, 60), (11, 30.5)])
    chimney = RoundRect(42, 6, 50, 24, 1)
    ink = (86, 40, 26)
    house = roof | walls | chimney
    c.soft(house.moved(1, 1.5), (20, 30, 50), 0.35, 1.5)
    c.fill(house.grow(1.4), ink)
    c.fill(chimney, Linear(42, 0, 50, 0, [(0, (196, 92, 62)), (1, (150, 62, 40))]))
    c.fill(walls, Linear(0, 14, 0, 60, [(0, (255, 250, 236)), (1, (236, 218, 184))]))
    c.fill(roof, Linear(0, 4, 0, 36, [(0, (246, 98, 64)), (1, (186, 42, 28))]))
    c.fill(Polyline([(8, 30), (32, 8.5), (56, 30)], 1.3), (255, 170, 140), 0.7)

    door = RoundRect(26, 42, 38, 60) | Circle(32, 42, 6)
    c.fill(door.grow(1.2), ink)
    c.fill(door, Linear(0, 36, 0, 60, [(0, (178, 108, 56)), (1, (118, 66, 34))]))
    c.fill(Circle(35.2, 51, 1.2), (250, 210, 90))

    for x0 in (14.5, 41.5):
        win = RoundRect(x0, 37, x0 + 8, 45)
        c.fill(win.grow(1.2), ink)
        c.fill(win, Linear(0, 37, 0, 45, [(0, (170, 222, 255)), (1, (74, 150, 222))]))
        c.fill(RoundRect(x0 + 3.4, 37, x0 + 4.6, 45), (255, 255, 255))
        c.fill(RoundRect(x0, 40.4, x0 + 8, 41.6), (255, 255, 255))
    return c


def cloud_shape(s=1.0, dx=0.0, dy=0.0):
    """Three puffs on a flat base, drawn on a 64-unit grid, scaled by s."""
    def at(v):
        return v * s

    return Union(Circle(dx + at(19), dy + at(35), at(12)),
                 Circle(dx + at(33), dy + at(26), at(16)),
                 Circle(dx + at(47), dy + at(35), at(11.5)),
                 RoundRect(dx + at(7), dy + at(33), dx + at(58.5), dy + at(47),
                           at(7)))


def down_arrow(cx, top, shaft_half, shaft_bottom, head_half, tip):
    return Polygon([(cx - shaft_half, top), (cx + shaft_half, top),
                    (cx + shaft_half, shaft_bottom), (cx + head_half, shaft_bottom),
                    (cx, tip), (cx - head_half, shaft_bottom),
                    (cx - shaft_half, shaft_bottom)])


def draw_title_icon():
    """Cloud with a red downward arrow; shown at 20x20, so bold shapes."""
    c = Canvas(64, 64)
    cloud = cloud_shape(1.0, 0.0, -2.0)
    c.fill(cloud.grow(3.0), (28, 70, 128))
    c.fill(cloud, Linear(0, 10, 0, 46, [(0, (255, 255, 255)), (1, (212, 228, 244))]))

    arrow = down_arrow(32, 19, 5.5, 42, 13.0, 60.5)
    c.fill(arrow.grow(2.6), (110, 8, 8))
    c.fill(arrow, Linear(0, 20, 0, 61, [(0, (255, 84, 64)), (1, (206, 18, 18))]))
    c.fill(Polygon([(28.5, 22), (30.5, 22), (30.5, 44), (28.5, 44)]),
           (255, 200, 190), 0.45)
    return c


# Logo ---------------------------------------------------------------------

LOGO_W, LOGO_H = 160, 70


def draw_logo_graphic():
    c = Canvas(LOGO_W, LOGO_H, bg=(255, 255, 255))
    c.fill(RoundRect(0, 0, LOGO_W, LOGO_H),
           Linear(0, 0, 0, LOGO_H, [(0, (250, 253, 255)), (1, (200, 228, 248))]))
    c.fill(RoundRect(0, LOGO_H - 3, LOGO_W, LOGO_H), LIGHT_BLUE)

    # film strip across the lower part of the graphic
    fx0, fy0, fx1, fy1 = 3, 38, 57, 56
    c.fill(RoundRect(fx0, fy0, fx1, fy1, 1.5), (44, 50, 62))
    for k in range(8):
        x = fx0 + 3 + k * 6.6
        c.fill(RoundRect(x, fy0 + 2, x + 3, fy0 + 4.5, 0.6), (236, 242, 250))
        c.fill(RoundRect(x, fy1 - 4.5, x + 3, fy1 - 2, 0.6), (236, 242, 250))
    for k in range(3):
        x = fx0 + 3 + k * 17.3
        c.fill(RoundRect(x, fy0 + 6.5, x + 14.5, fy1 - 6.5, 1),
               Linear(0, fy0, 0, fy1, [(0, (120, 196, 244)), (1, (58, 136, 210))]))

    cloud = cloud_shape(0.78, 4.5, -4.0)
    c.soft(cloud.moved(0.8, 1.2), (30, 60, 100), 0.35, 1.4)
    c.fill(cloud.grow(1.6), (40, 106, 170))
    c.fill(cloud, Linear(0, 6, 0, 32, [(0, (255, 255, 255)), (1, (218, 236, 250))]))

    arrow = down_arrow(30.3, 15, 3.6, 35, 9.0, 48)
    c.fill(arrow.grow(1.5), (120, 10, 10))
    c.fill(arrow, Linear(0, 13, 0, 47, [(0, (255, 90, 70)), (1, (208, 20, 20))]))
    return c


def make_logo(path):
    graphic = draw_logo_graphic()
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "logo_graphic.png")
        with open(src, "wb") as f:
            f.write(png_bytes(LOGO_W, LOGO_H, graphic.on((255, 255, 255)), 2))
        env = dict(os.environ, MAGICK_THREAD_LIMIT="1", OMP_NUM_THREADS="1")
        cmd = [CONVERT, src,
               "-font", CJK_FONT, "-gravity", "NorthWest",
               "-fill", "#163f7a", "-stroke", "#163f7a", "-strokewidth", "0.6",
               "-pointsize", "23", "-annotate", "+62+7", "青岚综合",
               "-stroke", "none",
               "-fill", "#1f5ea8",
               "-pointsize", "15", "-annotate", "+63+36", "视频下载精灵",
               "-fill", "#c0392b",
               "-pointsize", "11", "-annotate", "+127+53", "v1.0",
               "-strip", "-interlace", "none", "-sampling-factor", "1x1",
               "-quality", str(LOGO_QUALITY), "jpeg:" + path]
        subprocess.run(cmd, check=True, env=env)


# --------------------------------------------------------------------------

def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=DEFAULT_OUT,
                    help="output folder (default: assets/images)")
    args = ap.parse_args(argv)
    out = args.out
    os.makedirs(out, exist_ok=True)

    c = draw_gear_button()
    write(os.path.join(out, "button_gear.bmp"), bmp24_bytes(64, 64, c.on(LIGHT_BLUE)))

    for name, draw in (("icon_face.ico", draw_face_icon),
                       ("icon_update.ico", draw_update_icon),
                       ("icon_home.ico", draw_home_icon),
                       ("icon_title.ico", draw_title_icon)):
        write(os.path.join(out, name), ico32_bytes(64, 64, draw().rgba8()))

    for name, w, glyph, outlined in STRIP_BUTTONS:
        for state in ("normal", "hover", "pressed"):
            c = draw_strip_button(w, glyph, outlined, state)
            write(os.path.join(out, "btn_%s_%s.png" % (name, state)),
                  png_bytes(w, STRIP_H, c.rgba8()))

    make_logo(os.path.join(out, "logo.jpg"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
