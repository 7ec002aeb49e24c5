"""The artwork's rasteriser: paints, a supersampled canvas, and the BMP, ICO and PNG
writers (make_artwork.py)."""

import math
import struct
import zlib

from artwork_shapes import clamp

SUPERSAMPLE = 6   # samples per pixel edge on boundary pixels


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
