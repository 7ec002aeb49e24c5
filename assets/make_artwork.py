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
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(HERE, "images")

# The window's background colour; buttons and icons sit on it.
LIGHT_BLUE = (77, 166, 222)

CONVERT = "/usr/bin/convert"
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
LOGO_QUALITY = 95

SUPERSAMPLE = 6   # samples per pixel edge on boundary pixels


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


# --------------------------------------------------------------------------
# Shapes.  Each shape has a signed distance: negative inside, positive
# outside.  Primitives are exact or a lower bound of the true distance,
# which is all the rasteriser needs to skip pixels far from an edge.
# --------------------------------------------------------------------------

class Shape:
    def sdf(self, x, y):
        raise NotImplementedError

    def bounds(self):
        raise NotImplementedError

    def __or__(self, other):
        return Union(self, other)

    def __and__(self, other):
        return Intersect(self, other)

    def __sub__(self, other):
        return Subtract(self, other)

    def grow(self, d):
        return Offset(self, d)

    def moved(self, dx, dy):
        return Shift(self, dx, dy)


class Union(Shape):
    def __init__(self, *parts):
        self.parts = parts

    def sdf(self, x, y):
        return min(p.sdf(x, y) for p in self.parts)

    def bounds(self):
        bs = [p.bounds() for p in self.parts]
        return (min(b[0] for b in bs), min(b[1] for b in bs),
                max(b[2] for b in bs), max(b[3] for b in bs))


class Intersect(Shape):
    def __init__(self, *parts):
        self.parts = parts

    def sdf(self, x, y):
        return max(p.sdf(x, y) for p in self.parts)

    def bounds(self):
        bs = [p.bounds() for p in self.parts]
        return (max(b[0] for b in bs), max(b[1] for b in bs),
                min(b[2] for b in bs), min(b[3] for b in bs))


class Subtract(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b

    def sdf(self, x, y):
        return max(self.a.sdf(x, y), -self.b.sdf(x, y))

    def bounds(self):
        return self.a.bounds()


class Offset(Shape):
    def __init__(self, s, d):
        self.s, self.d = s, d

    def sdf(self, x, y):
        return self.s.sdf(x, y) - self.d

    def bounds(self):
        b = self.s.bounds()
        d = max(self.d, 0.0)
        return (b[0] - d, b[1] - d, b[2] + d, b[3] + d)


class Shift(Shape):
    def __init__(self, s, dx, dy):
        self.s, self.dx, self.dy = s, dx, dy

    def sdf(self, x, y):
        return self.s.sdf(x - self.dx, y - self.dy)

    def bounds(self):
        b = self.s.bounds()
        return (b[0] + self.dx, b[1] + self.dy, b[2] + self.dx, b[3] + self.dy)


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def sdf(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r

    def bounds(self):
        return (self.cx - self.r, self.cy - self.r,
                self.cx + self.r, self.cy + self.r)


class Ellipse(Shape):
    def __init__(self, cx, cy, rx, ry):
        self.cx, self.cy, self.rx, self.ry = cx, cy, rx, ry
        self.k = min(rx, ry)

    def sdf(self, x, y):
        # Scaled so it never exceeds the true distance.
        return (math.hypot((x - self.cx) / self.rx,
                           (y - self.cy) / self.ry) - 1.0) * self.k

    def bounds(self):
        return (self.cx - self.rx, self.cy - self.ry,
                self.cx + self.rx, self.cy + self.ry)


class RoundRect(Shape):
    def __init__(self, x0, y0, x1, y1, r=0.0):
        self.cx, self.cy = (x0 + x1) / 2, (y0 + y1) / 2
        self.hx, self.hy = (x1 - x0) / 2, (y1 - y0) / 2
        self.r = min(r, self.hx, self.hy)
        self.box = (x0, y0, x1, y1)

    def sdf(self, x, y):
        qx = abs(x - self.cx) - (self.hx - self.r)
        qy = abs(y - self.cy) - (self.hy - self.r)
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - self.r

    def bounds(self):
        return self.box


class HalfPlane(Shape):
    """Points p with n . p <= d, n the (normalised) direction (nx, ny)."""

    def __init__(self, nx, ny, d):
        n = math.hypot(nx, ny)
        self.nx, self.ny, self.d = nx / n, ny / n, d / n

    def sdf(self, x, y):
        return self.nx * x + self.ny * y - self.d

    def bounds(self):
        return (-1e4, -1e4, 1e4, 1e4)


class Polygon(Shape):
    def __init__(self, pts):
        self.pts = [(float(x), float(y)) for x, y in pts]

    def sdf(self, x, y):
        v = self.pts
        n = len(v)
        d = (x - v[0][0]) ** 2 + (y - v[0][1]) ** 2
        s = 1.0
        j = n - 1
        for i in range(n):
            ex, ey = v[j][0] - v[i][0], v[j][1] - v[i][1]
            wx, wy = x - v[i][0], y - v[i][1]
            t = clamp((wx * ex + wy * ey) / (ex * ex + ey * ey))
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            c1 = y >= v[i][1]
            c2 = y < v[j][1]
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                s = -s
            j = i
        return s * math.sqrt(d)

    def bounds(self):
        xs = [p[0] for p in self.pts]
        ys = [p[1] for p in self.pts]
        return (min(xs), min(ys), max(xs), max(ys))


class Polyline(Shape):
    """A stroke of width w along a chain of points, with round ends."""

    def __init__(self, pts, w):
        self.pts = [(float(x), float(y)) for x, y in pts]
        self.w = w

    def sdf(self, x, y):
        best = 1e9
        p = self.pts
        for i in range(len(p) - 1):
            ax, ay = p[i]
            ex, ey = p[i + 1][0] - ax, p[i + 1][1] - ay
            wx, wy = x - ax, y - ay
            ee = ex * ex + ey * ey
            t = clamp((wx * ex + wy * ey) / ee) if ee else 0.0
            d = math.hypot(wx - ex * t, wy - ey * t)
            if d < best:
                best = d
        return best - self.w / 2

    def bounds(self):
        xs = [q[0] for q in self.pts]
        ys = [q[1] for q in self.pts]
        h = self.w / 2
        return (min(xs) - h, min(ys) - h, max(xs) + h, max(ys) + h)


def arc_points(cx, cy, r, a0, a1, step_deg=4.0):
    """Points on a circle from angle a0 to a1 (degrees, y pointing down)."""
    n = max(2, int(abs(a1 - a0) / step_deg) + 1)
    pts = []
    for k in range(n + 1):
        a = math.radians(a0 + (a1 - a0) * k / n)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


class Gear(Polygon):
    """A spur gear: `teeth` trapezoid teeth between radii root and tip.

    top and base are the tooth's width at the tip and at the root, as
    fractions of the tooth spacing."""

    def __init__(self, cx, cy, root, tip, teeth, top=0.30, base=0.50,
                 phase=0.0):
        pts = []
        period = 2 * math.pi / teeth

        def arc(r, a0, a1, n):
            for k in range(n + 1):
                a = a0 + (a1 - a0) * k / n
                pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))

        for t in range(teeth):
            a = (t + phase) * period
            arc(tip, a - top / 2 * period, a + top / 2 * period, 3)
            arc(root, a + base / 2 * period, a + (1 - base / 2) * period, 4)
        Polygon.__init__(self, pts)


# --------------------------------------------------------------------------
# Paints: callables giving an (r, g, b) colour (0..255) at a point.
# --------------------------------------------------------------------------

def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def sample_stops(stops, t):
    t = clamp(t)
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 0.0)
    return stops[-1][1]


class Linear:
    def __init__(self, x0, y0, x1, y1, stops):
        self.x0, self.y0 = x0, y0
        self.dx, self.dy = x1 - x0, y1 - y0
        self.len2 = self.dx * self.dx + self.dy * self.dy
        self.stops = stops

    def __call__(self, x, y):
        t = ((x - self.x0) * self.dx + (y - self.y0) * self.dy) / self.len2
        return sample_stops(self.stops, t)


class Radial:
    def __init__(self, cx, cy, r, stops):
        self.cx, self.cy, self.r, self.stops = cx, cy, r, stops

    def __call__(self, x, y):
        return sample_stops(self.stops,
                            math.hypot(x - self.cx, y - self.cy) / self.r)


class Steel:
    """Brushed metal: light from the upper left plus a conical sheen."""

    def __init__(self, cx, cy, r, level=150.0, light=60.0, sheen=28.0,
                 flip=False):
        self.cx, self.cy, self.r = cx, cy, r
        self.level, self.light, self.sheen = level, light, sheen
        self.sign = -1.0 if flip else 1.0

    def __call__(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        t = -(dx + dy) / (self.r * math.sqrt(2.0)) * self.sign
        a = math.atan2(dy, dx)
        v = self.level + self.light * t + self.sheen * math.cos(2 * a - 0.9)
        return (v - 4, v, v + 6)


def solid(c):
    return lambda x, y: c


# --------------------------------------------------------------------------
# Canvas: premultiplied colour (0..255) and coverage (0..1) per pixel.
# --------------------------------------------------------------------------

class Canvas:
    def __init__(self, w, h, bg=None):
        self.w, self.h = w, h
        if bg is None:
            self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]
        else:
            self.px = [[bg[0], bg[1], bg[2], 1.0] for _ in range(w * h)]

    def _coverage(self, shape):
        x0, y0, x1, y1 = shape.bounds()
        i0, j0 = max(0, int(math.floor(x0)) - 1), max(0, int(math.floor(y0)) - 1)
        i1 = min(self.w, int(math.ceil(x1)) + 1)
        j1 = min(self.h, int(math.ceil(y1)) + 1)
        n = SUPERSAMPLE
        offs = [(k + 0.5) / n for k in range(n)]
        total = n * n
        for j in range(j0, j1):
            for i in range(i0, i1):
                d = shape.sdf(i + 0.5, j + 0.5)
                if d <= -0.75:
                    yield i, j, 1.0
                elif d < 0.75:
                    hits = 0
                    for oy in offs:
                        for ox in offs:
                            if shape.sdf(i + ox, j + oy) <= 0.0:
                                hits += 1
                    if hits:
                        yield i, j, hits / total

    def _blend(self, i, j, c, a):
        p = self.px[j * self.w + i]
        k = 1.0 - a
        p[0] = c[0] * a + p[0] * k
        p[1] = c[1] * a + p[1] * k
        p[2] = c[2] * a + p[2] * k
        p[3] = a + p[3] * k

    def fill(self, shape, paint, alpha=1.0):
        if isinstance(paint, tuple):
            paint = solid(paint)
        for i, j, cov in self._coverage(shape):
            self._blend(i, j, paint(i + 0.5, j + 0.5), cov * alpha)

    def soft(self, shape, paint, alpha, radius):
        """A blurred fill (shadows and glows): edge fades over 2*radius."""
        if isinstance(paint, tuple):
            paint = solid(paint)
        b = shape.grow(radius).bounds()
        for j in range(max(0, int(b[1])), min(self.h, int(math.ceil(b[3])) + 1)):
            for i in range(max(0, int(b[0])), min(self.w, int(math.ceil(b[2])) + 1)):
                d = shape.sdf(i + 0.5, j + 0.5)
                t = clamp((d + radius) / (2 * radius))
                a = 1.0 - t * t * (3 - 2 * t)
                if a > 0.0:
                    self._blend(i, j, paint(i + 0.5, j + 0.5), a * alpha)

    def rgba8(self):
        """Straight (not premultiplied) 8-bit RGBA, top row first."""
        out = []
        for r, g, b, a in self.px:
            A = int(round(a * 255))
            if A == 0:
                out.append((0, 0, 0, 0))
            else:
                out.append((int(round(clamp(r / a, 0, 255))),
                            int(round(clamp(g / a, 0, 255))),
                            int(round(clamp(b / a, 0, 255))), A))
        return out

    def on(self, bg):
        """Opaque 8-bit RGB of the picture laid over a plain colour."""
        out = []
        for r, g, b, a in self.px:
            k = 1.0 - a
            out.append(tuple(int(round(clamp(c + bc * k, 0, 255)))
                             for c, bc in zip((r, g, b), bg)))
        return out


# --------------------------------------------------------------------------
# File writers
# --------------------------------------------------------------------------

def bmp24_bytes(w, h, rgb):
    row_pad = (4 - (w * 3) % 4) % 4
    image = bytearray()
    for y in range(h - 1, -1, -1):            # bottom-up
        for x in range(w):
            r, g, b = rgb[y * w + x]
            image += bytes((b, g, r))
        image += b"\0" * row_pad
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(image),
                       2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0,
                       14 + len(info))
    return head + info + bytes(image)


def ico32_bytes(w, h, rgba):
    xor = bytearray()
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):            # bottom-up
        bits = bytearray(mask_row)
        for x in range(w):
            r, g, b, a = rgba[y * w + x]
            xor += bytes((b, g, r, a))
            if a < 128:                        # transparent for old renderers
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32,
                        len(image), 6 + 16)
    return head + entry + image


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(
        ">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(w, h, pixels, colour_type=6):
    """8-bit RGBA (type 6) or RGB (type 2), with an sRGB marker."""
    raw = bytearray()
    for y in range(h):
        raw.append(0)
        for x in range(w):
            p = pixels[y * w + x]
            raw += bytes(p[:4] if colour_type == 6 else p[:3])
    ihdr = struct.pack(">IIBBBBB", w, h, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"sRGB", b"\x00")       # perceptual intent
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + png_chunk(b"IEND", b""))


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
