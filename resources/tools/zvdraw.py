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


class vgradient:
    """A colour function: top colour at y0, bottom colour at y1 (design units). Keeps its
    stops, so the vector pen can write it as an SVG gradient."""

    def __init__(self, top, bottom, y0, y1):
        self.top, self.bottom, self.y0, self.y1 = top, bottom, y0, y1

    def __call__(self, x, y):
        t = 0.0 if self.y1 == self.y0 else max(0.0, min(1.0, (y - self.y0) / (self.y1 - self.y0)))
        return tuple(a + (b - a) * t for a, b in zip(self.top, self.bottom))


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


# ---------------------------------------------------------------- pens
# A picture that must exist as pixels and as a scalable SVG (the program's icon in the
# desktop's icon theme) is described once through a pen: rounded boxes and round-capped
# strokes, each optionally outlined. RasterPen paints on a Canvas exactly as the shape
# functions above do; SvgPen writes the same shapes as SVG elements.

class RasterPen:
    def __init__(self, canvas):
        self.canvas = canvas

    def box(self, x0, y0, x1, y1, radius, colour, outline=None, width=1.0):
        shape = box(x0, y0, x1, y1, radius)
        if outline is None:
            self.canvas.fill(shape, colour)
        else:
            self.canvas.outlined(shape, colour, outline, width)

    def stroke(self, points, width, colour, outline=None, outline_width=1.0):
        shape = line(points, width)
        if outline is None:
            self.canvas.fill(shape, colour)
        else:
            self.canvas.outlined(shape, colour, outline, outline_width)


def _hex(colour):
    return "#" + "".join(f"{round(c * 255):02x}" for c in colour[:3])


def _num(value):
    return f"{value:.3f}".rstrip("0").rstrip(".")


class SvgPen:
    def __init__(self, grid=24.0):
        self.grid = grid
        self.defs = []
        self.body = []

    def _paint(self, colour):
        if isinstance(colour, vgradient):
            gid = f"g{len(self.defs)}"
            self.defs.append(
                f'<linearGradient id="{gid}" gradientUnits="userSpaceOnUse" x1="0" y1="{_num(colour.y0)}" '
                f'x2="0" y2="{_num(colour.y1)}"><stop offset="0" stop-color="{_hex(colour.top)}"/>'
                f'<stop offset="1" stop-color="{_hex(colour.bottom)}"/></linearGradient>')
            return f"url(#{gid})"
        return _hex(colour)

    def _rect(self, x0, y0, x1, y1, radius, paint):
        self.body.append(f'<rect x="{_num(x0)}" y="{_num(y0)}" width="{_num(x1 - x0)}" height="{_num(y1 - y0)}" '
                         f'rx="{_num(radius)}" fill="{paint}"/>')

    def _line(self, points, width, paint):
        pts = " ".join(f"{_num(x)},{_num(y)}" for x, y in points)
        self.body.append(f'<polyline points="{pts}" fill="none" stroke="{paint}" stroke-width="{_num(width)}" '
                         'stroke-linecap="round" stroke-linejoin="round"/>')

    def box(self, x0, y0, x1, y1, radius, colour, outline=None, width=1.0):
        if outline is not None:
            # Growing a rounded box by w grows its corner radius by w too.
            self._rect(x0 - width, y0 - width, x1 + width, y1 + width, radius + width, self._paint(outline))
        self._rect(x0, y0, x1, y1, radius, self._paint(colour))

    def stroke(self, points, width, colour, outline=None, outline_width=1.0):
        if outline is not None:
            self._line(points, width + 2 * outline_width, self._paint(outline))
        self._line(points, width, self._paint(colour))

    def text(self, size):
        g = _num(self.grid)
        out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" viewBox="0 0 {g} {g}">']
        if self.defs:
            out.append("<defs>" + "".join(self.defs) + "</defs>")
        out += self.body
        out.append("</svg>")
        return "\n".join(out) + "\n"
