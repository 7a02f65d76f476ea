"""Tiny anti-aliased raster painter for the program's own pictures (standard library only).

Shapes are signed distance functions in a design grid (24 units for icons); the painter
scales them to the target size, so one description gives every icon size. Coverage comes
from the distance itself, which keeps small icons smooth without supersampling.
"""

import math
import struct
import zlib


# ---------------------------------------------------------------- signed distances

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def box(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return d


def _seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy
    t = 0.0 if ll == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / ll))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def line(points, width):
    """A stroked polyline with round caps and joins."""
    segs = list(zip(points, points[1:]))

    def d(x, y):
        return min(_seg_dist(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - width / 2

    return d


def polygon(points):
    n = len(points)

    def d(x, y):
        dist = min(_seg_dist(x, y, *points[i], *points[(i + 1) % n]) for i in range(n))
        inside = False
        for i in range(n):
            (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                inside = not inside
        return -dist if inside else dist

    return d


def arc(cx, cy, r, a0, a1, width):
    """Stroke of a circle arc from angle a0 to a1 (degrees, counter-clockwise, y down)."""
    a0r, a1r = math.radians(a0), math.radians(a1)
    span = (a1r - a0r) % (2 * math.pi)
    e0 = (cx + r * math.cos(a0r), cy - r * math.sin(a0r))
    e1 = (cx + r * math.cos(a1r), cy - r * math.sin(a1r))

    def d(x, y):
        ang = math.atan2(-(y - cy), x - cx)
        if (ang - a0r) % (2 * math.pi) <= span:
            dist = abs(math.hypot(x - cx, y - cy) - r)
        else:
            dist = min(math.hypot(x - e0[0], y - e0[1]), math.hypot(x - e1[0], y - e1[1]))
        return dist - width / 2

    return d


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def subtract(f, g):
    return lambda x, y: max(f(x, y), -g(x, y))


def intersect(f, g):
    return lambda x, y: max(f(x, y), g(x, y))


def grow(f, amount):
    return lambda x, y: f(x, y) - amount


# ---------------------------------------------------------------- colours

def rgb(text, alpha=1.0):
    text = text.lstrip("#")
    return (int(text[0:2], 16) / 255, int(text[2:4], 16) / 255, int(text[4:6], 16) / 255, alpha)


def vgradient(top, bottom, y0, y1):
    """A colour function: top colour at y0, bottom colour at y1 (design units)."""

    def c(x, y):
        t = 0.0 if y1 == y0 else max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))

    return c


# ---------------------------------------------------------------- canvas

class Canvas:
    def __init__(self, size, grid=24.0):
        self.w = self.h = size
        self.scale = size / grid
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]  # premultiplied RGBA

    def fill(self, sdf, colour):
        """Paints the shape; colour is an RGBA tuple or a function of design (x, y)."""
        s = self.scale
        for j in range(self.h):
            y = (j + 0.5) / s
            row = j * self.w
            for i in range(self.w):
                x = (i + 0.5) / s
                cov = 0.5 - sdf(x, y) * s
                if cov <= 0.0:
                    continue
                cov = min(cov, 1.0)
                r, g, b, a = colour(x, y) if callable(colour) else colour
                a *= cov
                p = self.px[row + i]
                k = 1.0 - a
                p[0] = r * a + p[0] * k
                p[1] = g * a + p[1] * k
                p[2] = b * a + p[2] * k
                p[3] = a + p[3] * k

    def outlined(self, sdf, fill, stroke, width=1.0):
        """A filled shape with an outline of `width` design units outside it."""
        self.fill(grow(sdf, width), stroke)
        self.fill(sdf, fill)

    def rgba_bytes(self):
        out = bytearray()
        for p in self.px:
            a = p[3]
            if a <= 0.0:
                out += b"\0\0\0\0"
                continue
            out += bytes(min(255, round(c / a * 255)) for c in p[:3])
            out.append(min(255, round(a * 255)))
        return bytes(out)


def write_png(path, width, height, rgba):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    stride = width * 4
    raw = b"".join(b"\0" + rgba[y * stride:(y + 1) * stride] for y in range(height))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_bmp24(path, width, height, pixel):
    """Writes an uncompressed 24-bit bottom-up BMP; pixel(x, y) gives (r, g, b) 0..255."""
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)
