"""The title strip's buttons: a glyph on a translucent plate, in three states
(make_artwork.py)."""

from artwork_raster import Canvas
from artwork_shapes import Polygon, Polyline, RoundRect


# Title strip buttons ------------------------------------------------------

STRIP_H = 19


def glyph_close(w):
    cx, cy, k = w / 2, 9.5, 4.3
    return (Polyline([(cx - k, cy - k), (cx + k, cy + k)], 1.9)
            | Polyline([(cx - k, cy + k), (cx + k, cy - k)], 1.9))


def glyph_min(w):
    cx = w / 2
    return RoundRect(cx - 5, 10, cx + 5, 12)


def glyph_page(w):
    """A small window with an arrow leaving its top-right corner."""
    x0, y0 = int(w / 2) - 7, 5
    box = RoundRect(x0, y0, x0 + 11, y0 + 11)
    frame = ((box - RoundRect(x0 + 1, y0 + 2, x0 + 10, y0 + 10))
             - RoundRect(x0 + 5, y0 - 1, x0 + 13, y0 + 6))
    tip = (x0 + 13, y0 - 2)
    arrow = (Polyline([(x0 + 5, y0 + 6), (tip[0] - 2, tip[1] + 2)], 1.5)
             | Polygon([tip, (tip[0] - 5, tip[1]), (tip[0], tip[1] + 5)]))
    return frame | arrow


def glyph_guest(w):
    """A speech bubble with an arrow cut out of it."""
    x0 = w / 2 - 7
    y0 = 3.5
    bubble = RoundRect(x0, y0, x0 + 14, y0 + 10, 2.5) | Polygon(
        [(x0 + 3, y0 + 9), (x0 + 7.5, y0 + 9), (x0 + 2.5, y0 + 13.5)])
    ay = y0 + 5
    arrow = (RoundRect(x0 + 2.5, ay - 0.75, x0 + 8, ay + 0.75)
             | Polygon([(x0 + 7, ay - 3.2), (x0 + 11.5, ay), (x0 + 7, ay + 3.2)]))
    return bubble - arrow


STRIP_BUTTONS = [
    # name, width, glyph, outline the glyph when lit
    ("close", 39, glyph_close, False),
    ("min", 27, glyph_min, True),
    ("page", 27, glyph_page, True),
    ("guest", 28, glyph_guest, True),
]


def draw_strip_button(w, glyph, outlined, state):
    c = Canvas(w, STRIP_H)
    plate = RoundRect(0, 0, w, STRIP_H, 3)
    inner = RoundRect(1, 1, w - 1, STRIP_H - 1, 2)
    border = plate - inner
    pressed = state == "pressed"
    if state == "normal":
        c.fill(inner, (255, 255, 255), 0.20)
        c.fill(border, (255, 255, 255), 0.38)
    else:
        c.fill(inner, (255, 255, 255), 0.42)
        c.fill(border, (255, 255, 255), 0.75)
    if pressed:
        # pushed in: a shadow inside the top and left edges
        tint = (20, 50, 84)
        c.fill(RoundRect(1, 1, w - 1, 2) & inner, tint, 0.34)
        c.fill(RoundRect(2, 2, w - 1, 3) & inner, tint, 0.16)
        c.fill(RoundRect(1, 2, 2, STRIP_H - 1) & inner, tint, 0.26)
        c.fill(RoundRect(2, 3, 3, STRIP_H - 1) & inner, tint, 0.12)
    g = glyph(w)
    if state != "normal" and outlined:
        c.fill(g.grow(1.0), (24, 44, 66), 0.85)
    c.fill(g, (255, 255, 255))
    return c
