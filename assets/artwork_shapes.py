"""The shapes the artwork is drawn with, as signed distance functions (make_artwork.py)."""

import math


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
