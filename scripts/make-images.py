#!/usr/bin/env python3
"""Draws the bundled pictures of the app and the map kit into resources/.

Standard library only: shapes are rasterised here with 4x4 supersampling, PNG files are written
with zlib, and the one JPEG with a small baseline encoder. Run from anywhere:
    python3 scripts/make-images.py
Every picture is written at 1x and, where the screens use it, at 2x ("@2x").
"""

import math
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
SUB = 4  # supersampling per axis

ORANGE = (240, 133, 25, 255)
ORANGE_DARK = (214, 104, 0, 255)
BLUE = (24, 137, 234, 255)
BLUE_DARK = (16, 104, 190, 255)
GREY = (150, 150, 150, 255)
GREY_DARK = (96, 96, 96, 255)
WHITE = (255, 255, 255, 255)
YELLOW = (252, 200, 40, 255)
GREEN = (46, 170, 80, 255)


class Canvas:
    """RGBA picture in points; drawing happens at scale pixels per point."""

    def __init__(self, w, h, scale, background=(0, 0, 0, 0)):
        self.scale = scale
        self.w = int(round(w * scale))
        self.h = int(round(h * scale))
        self.px = [list(background) for _ in range(self.w * self.h)]

    def fill(self, inside, colour, box=None):
        """Composites colour where inside(x, y) holds (x, y in points)."""
        s = self.scale
        x0, y0, x1, y1 = box if box else (0, 0, self.w / s, self.h / s)
        px0 = max(0, int(math.floor(x0 * s)) - 1)
        py0 = max(0, int(math.floor(y0 * s)) - 1)
        px1 = min(self.w, int(math.ceil(x1 * s)) + 1)
        py1 = min(self.h, int(math.ceil(y1 * s)) + 1)
        r, g, b, a = colour
        step = 1.0 / SUB
        for py in range(py0, py1):
            for px in range(px0, px1):
                hits = 0
                for sy in range(SUB):
                    y = (py + (sy + 0.5) * step) / s
                    for sx in range(SUB):
                        if inside((px + (sx + 0.5) * step) / s, y):
                            hits += 1
                if not hits:
                    continue
                cov = hits / (SUB * SUB) * a / 255.0
                p = self.px[py * self.w + px]
                da = p[3] / 255.0
                oa = cov + da * (1 - cov)
                if oa <= 0:
                    continue
                for i, c in enumerate((r, g, b)):
                    p[i] = (c * cov + p[i] * da * (1 - cov)) / oa
                p[3] = oa * 255.0

    def rgba_rows(self):
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                row.extend(int(round(max(0, min(255, v)))) for v in self.px[y * self.w + x])
            rows.append(row)
        return rows


# Shapes as point predicates with bounding boxes.
def circle(cx, cy, r):
    return (lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r), (cx - r, cy - r, cx + r, cy + r)


def ring(cx, cy, r, width):
    inner = r - width
    return (lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r), (
        cx - r, cy - r, cx + r, cy + r)


def rrect(x, y, w, h, r):
    def inside(px, py):
        if not (x <= px <= x + w and y <= py <= y + h):
            return False
        cx = min(max(px, x + r), x + w - r)
        cy = min(max(py, y + r), y + h - r)
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r
    return inside, (x, y, x + w, y + h)


def segment(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9
    half = width / 2

    def inside(px, py):
        t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
        qx, qy = ax + t * dx - px, ay + t * dy - py
        return qx * qx + qy * qy <= half * half
    return inside, (min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half, max(ay, by) + half)


def polygon(points):
    def inside(px, py):
        odd = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > py) != (y2 > py) and px < (x2 - x1) * (py - y1) / (y2 - y1) + x1:
                odd = not odd
        return odd
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return inside, (min(xs), min(ys), max(xs), max(ys))


def ellipse(cx, cy, rx, ry):
    return (lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1), (
        cx - rx, cy - ry, cx + rx, cy + ry)


def draw(canvas, shape, colour):
    inside, box = shape
    canvas.fill(inside, colour, box)


def polyline(canvas, points, width, colour):
    for a, b in zip(points, points[1:]):
        draw(canvas, segment(a[0], a[1], b[0], b[1], width), colour)


# PNG and JPEG writers.
def write_png(path, canvas):
    raw = b"".join(b"\x00" + bytes(row) for row in canvas.rgba_rows())

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


ZIGZAG = []
for s in range(15):
    rows = range(max(0, s - 7), min(s, 7) + 1)
    for r in (rows if s % 2 else reversed(rows)):
        ZIGZAG.append(r * 8 + (s - r))

QUANT = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
         14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
         18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
         49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
COS = [[math.cos((2 * x + 1) * u * math.pi / 16) for x in range(8)] for u in range(8)]


def huffman_table(symbols, length):
    """Canonical code giving every symbol the same length (valid and simple)."""
    codes = {sym: (i, length) for i, sym in enumerate(symbols)}
    counts = [0] * 16
    counts[length - 1] = len(symbols)
    return codes, bytes(counts) + bytes(symbols)


DC_SYMBOLS = list(range(12))
AC_SYMBOLS = [0x00, 0xF0] + [(run << 4) | size for run in range(16) for size in range(1, 11)]
DC_CODES, DC_SPEC = huffman_table(DC_SYMBOLS, 4)
AC_CODES, AC_SPEC = huffman_table(AC_SYMBOLS, 8)


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, bits):
        for i in range(bits - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc = 0
                self.n = 0

    def flush(self):
        while self.n:
            self.put(1, 1)


def magnitude(v):
    size = abs(v).bit_length()
    return size, (v if v >= 0 else v + (1 << size) - 1)


def write_jpeg(path, canvas, quality=95, background=(255, 255, 255)):
    scale = 5000 / quality if quality < 50 else 200 - 2 * quality
    q = [max(1, min(255, int((t * scale + 50) // 100))) for t in QUANT]
    w, h = canvas.w, canvas.h
    planes = [[0.0] * (w * h) for _ in range(3)]
    for i, p in enumerate(canvas.px):
        a = p[3] / 255.0
        r, g, b = (p[k] * a + background[k] * (1 - a) for k in range(3))
        planes[0][i] = 0.299 * r + 0.587 * g + 0.114 * b - 128
        planes[1][i] = -0.168736 * r - 0.331264 * g + 0.5 * b
        planes[2][i] = 0.5 * r - 0.418688 * g - 0.081312 * b
    bits = BitWriter()
    previous = [0, 0, 0]
    for by in range(0, h, 8):
        for bx in range(0, w, 8):
            for c in range(3):
                block = [planes[c][min(h - 1, by + y) * w + min(w - 1, bx + x)]
                         for y in range(8) for x in range(8)]
                rows = [[sum(block[y * 8 + x] * COS[u][x] for x in range(8)) for u in range(8)]
                        for y in range(8)]
                coeffs = [0] * 64
                for v in range(8):
                    for u in range(8):
                        f = sum(rows[y][u] * COS[v][y] for y in range(8))
                        f *= 0.25 * (math.sqrt(0.5) if u == 0 else 1) * (math.sqrt(0.5) if v == 0 else 1)
                        coeffs[v * 8 + u] = int(round(f / q[v * 8 + u]))
                zz = [coeffs[k] for k in ZIGZAG]
                size, value = magnitude(zz[0] - previous[c])
                previous[c] = zz[0]
                bits.put(*DC_CODES[size])
                bits.put(value, size)
                run = 0
                last = max([i for i in range(1, 64) if zz[i]] or [0])
                for i in range(1, last + 1):
                    if zz[i] == 0:
                        run += 1
                        continue
                    while run > 15:
                        bits.put(*AC_CODES[0xF0])
                        run -= 16
                    size, value = magnitude(zz[i])
                    bits.put(*AC_CODES[(run << 4) | size])
                    bits.put(value, size)
                    run = 0
                if last < 63:
                    bits.put(*AC_CODES[0x00])
    bits.flush()

    def segment_bytes(marker, payload):
        return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload

    out = b"\xff\xd8"
    out += segment_bytes(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    out += segment_bytes(0xDB, b"\x00" + bytes(q[k] for k in ZIGZAG))
    out += segment_bytes(0xC0, struct.pack(">BHHB", 8, h, w, 3) + b"\x01\x11\x00\x02\x11\x00\x03\x11\x00")
    out += segment_bytes(0xC4, b"\x00" + DC_SPEC + b"\x10" + AC_SPEC)
    out += segment_bytes(0xDA, b"\x03\x01\x00\x02\x00\x03\x00\x00\x3f\x00")
    out += bytes(bits.out) + b"\xff\xd9"
    with open(path, "wb") as f:
        f.write(out)


# The pictures. Each painter draws in points on a canvas of its size.
def chevron(direction, colour, width=2.2):
    def paint(c, w, h):
        m = width
        if direction == "left":
            pts = [(w - m, m), (m, h / 2), (w - m, h - m)]
        elif direction == "right":
            pts = [(m, m), (w - m, h / 2), (m, h - m)]
        else:
            pts = [(m, m), (w / 2, h - m), (w - m, m)]
        polyline(c, pts, width, colour)
    return paint


def person(colour, background=None):
    def paint(c, w, h):
        if background:
            draw(c, circle(w / 2, h / 2, w / 2), background)
        draw(c, circle(w / 2, h * 0.36, w * 0.2), colour)
        inside_body, _ = ellipse(w / 2, h * 0.95, w * 0.36, h * 0.34)
        inside_disc, _ = circle(w / 2, h / 2, w / 2)
        c.fill(lambda x, y: inside_body(x, y) and inside_disc(x, y), colour)
    return paint


def wrench(colour):
    def paint(c, w, h):
        draw(c, segment(w * 0.25, h * 0.75, w * 0.62, h * 0.38, w * 0.18), colour)
        inside_head, _ = circle(w * 0.68, h * 0.32, w * 0.27)
        inside_gap, _ = segment(w * 0.72, h * 0.28, w * 0.98, h * 0.02, w * 0.16)
        c.fill(lambda x, y: inside_head(x, y) and not inside_gap(x, y), colour)
    return paint


def map_pin(colour, hole=WHITE):
    def paint(c, w, h):
        r = w * 0.36
        cx, cy = w / 2, r + h * 0.06
        draw(c, circle(cx, cy, r), colour)
        draw(c, polygon([(cx - r * 0.8, cy + r * 0.55), (cx + r * 0.8, cy + r * 0.55), (cx, h * 0.96)]), colour)
        draw(c, circle(cx, cy, r * 0.4), hole)
    return paint


def clock(colour):
    def paint(c, w, h):
        draw(c, ring(w / 2, h / 2, w / 2 - 0.5, w * 0.13), colour)
        polyline(c, [(w / 2, h * 0.24), (w / 2, h / 2), (w * 0.7, h * 0.62)], w * 0.11, colour)
    return paint


def rounded_fill(colour, radius, border=None):
    def paint(c, w, h):
        if border:
            draw(c, rrect(0, 0, w, h, radius), border)
            draw(c, rrect(1, 1, w - 2, h - 2, max(0, radius - 1)), colour)
        else:
            draw(c, rrect(0, 0, w, h, radius), colour)
    return paint


def document(colour):
    def paint(c, w, h):
        draw(c, rrect(w * 0.15, h * 0.05, w * 0.7, h * 0.9, w * 0.08), colour)
        for i in range(3):
            y = h * (0.3 + 0.2 * i)
            draw(c, segment(w * 0.3, y, w * 0.7, y, h * 0.07), WHITE)
    return paint


def star(colour, filled):
    """A five-pointed star: filled when set, outlined when not."""
    def paint(c, w, h):
        cx, cy, outer = w / 2, h * 0.53, min(w, h) * 0.48
        points = []
        for i in range(10):
            r = outer if i % 2 == 0 else outer * 0.42
            a = -math.pi / 2 + i * math.pi / 5
            points.append((cx + r * math.cos(a), cy + r * math.sin(a)))
        if filled:
            draw(c, polygon(points), colour)
        else:
            polyline(c, points + points[:1], w * 0.08, colour)
    return paint


def phone(colour):
    def paint(c, w, h):
        draw(c, circle(w / 2, h / 2, w / 2), colour)
        handset = [(w * 0.3, h * 0.25), (w * 0.42, h * 0.25), (w * 0.46, h * 0.38), (w * 0.4, h * 0.44),
                   (w * 0.56, h * 0.6), (w * 0.62, h * 0.54), (w * 0.75, h * 0.58), (w * 0.75, h * 0.7),
                   (w * 0.66, h * 0.76), (w * 0.26, h * 0.38)]
        draw(c, polygon(handset), WHITE)
    return paint


def magnifier(colour):
    def paint(c, w, h):
        draw(c, ring(w * 0.42, h * 0.42, w * 0.32, w * 0.1), colour)
        draw(c, segment(w * 0.64, h * 0.64, w * 0.9, h * 0.9, w * 0.13), colour)
    return paint


def cross(colour):
    def paint(c, w, h):
        m = w * 0.18
        draw(c, segment(m, m, w - m, h - m, w * 0.12), colour)
        draw(c, segment(w - m, m, m, h - m, w * 0.12), colour)
    return paint


def checkbox(colour):
    def paint(c, w, h):
        draw(c, rrect(0.5, 0.5, w - 1, h - 1, w * 0.18), colour)
        polyline(c, [(w * 0.24, h * 0.52), (w * 0.44, h * 0.72), (w * 0.78, h * 0.3)], w * 0.12, WHITE)
    return paint


def padlock(colour):
    def paint(c, w, h):
        inside_ring, box = ring(w / 2, h * 0.38, w * 0.24, w * 0.09)
        c.fill(lambda x, y: inside_ring(x, y) and y <= h * 0.46, colour, box)
        inside_body, body = rrect(w * 0.18, h * 0.46, w * 0.64, h * 0.46, w * 0.08)
        inside_hole, _ = circle(w / 2, h * 0.64, w * 0.07)
        inside_slot, _ = rrect(w * 0.47, h * 0.64, w * 0.06, h * 0.15, 0)
        c.fill(lambda x, y: inside_body(x, y) and not inside_hole(x, y) and not inside_slot(x, y),
               colour, body)
    return paint


def house(colour):
    def paint(c, w, h):
        draw(c, polygon([(w * 0.5, h * 0.1), (w * 0.92, h * 0.5), (w * 0.08, h * 0.5)]), colour)
        draw(c, rrect(w * 0.2, h * 0.45, w * 0.6, h * 0.45, 1), colour)
        draw(c, rrect(w * 0.42, h * 0.62, w * 0.16, h * 0.28, 0.5), WHITE)
    return paint


def quote(colour):
    def paint(c, w, h):
        draw(c, ring(w / 2, h / 2, w * 0.44, w * 0.09), colour)
        polyline(c, [(w * 0.34, h * 0.3), (w * 0.5, h * 0.48), (w * 0.66, h * 0.3)], w * 0.08, colour)
        draw(c, segment(w * 0.5, h * 0.48, w * 0.5, h * 0.76, w * 0.08), colour)
        draw(c, segment(w * 0.34, h * 0.54, w * 0.66, h * 0.54, w * 0.07), colour)
    return paint


def clipboard(colour):
    def paint(c, w, h):
        draw(c, rrect(w * 0.16, h * 0.12, w * 0.68, h * 0.8, w * 0.08), colour)
        draw(c, rrect(w * 0.22, h * 0.2, w * 0.56, h * 0.66, w * 0.04), WHITE)
        draw(c, rrect(w * 0.36, h * 0.06, w * 0.28, h * 0.14, w * 0.05), colour)
        polyline(c, [(w * 0.32, h * 0.54), (w * 0.45, h * 0.67), (w * 0.68, h * 0.4)], w * 0.08, colour)
    return paint


def envelope(colour):
    def paint(c, w, h):
        draw(c, rrect(w * 0.08, h * 0.22, w * 0.84, h * 0.58, w * 0.06), colour)
        polyline(c, [(w * 0.12, h * 0.28), (w * 0.5, h * 0.56), (w * 0.88, h * 0.28)], w * 0.07, WHITE)
    return paint


def pin(head, lifted=False):
    # The map view centres the picture on the coordinate: the needle's tip is the centre, and the
    # pin stands in the upper half, inside the touch area (12, 0, 24, 38).
    def paint(c, w, h):
        cx, tip = w / 2, h / 2
        top = 2 if lifted else 4
        r = 9.5 if lifted else 9
        cy = top + r
        draw(c, polygon([(cx - 1.2, cy), (cx + 1.2, cy), (cx + 0.4, tip), (cx - 0.4, tip)]), GREY_DARK)
        draw(c, circle(cx, cy, r), tuple(int(v * 0.75) for v in head[:3]) + (255,))
        draw(c, circle(cx - 0.5, cy - 0.5, r - 1.2), head)
        draw(c, circle(cx - 3, cy - 3.5, r * 0.3), (255, 255, 255, 170))
    return paint


def pin_shadow(c, w, h):
    # The shadow is placed by its centre, which stands where the pin's tip does when the pin is
    # down: the foot of the needle's shadow is the centre, the head's falls up and to the right.
    fx, fy = w / 2, h / 2
    hx, hy = fx + 18, fy - 18
    inside_needle, _ = polygon([(fx - 0.3, fy + 0.3), (fx + 0.3, fy - 0.3),
                                (hx + 1.2, hy + 1.2), (hx - 1.2, hy - 1.2)])
    inside_head, _ = ellipse(hx, hy, 7, 6)
    c.fill(lambda x, y: inside_needle(x, y) or inside_head(x, y), (0, 0, 0, 64),
           (fx - 1, hy - 6, hx + 7, fy + 1))


def line_texture(c, w, h):
    # A line's cross-section: opaque core, soft edges across the width.
    for i in range(int(w * c.scale)):
        x = (i + 0.5) / c.scale
        d = abs(x - w / 2) / (w / 2)
        alpha = 255 if d < 0.7 else max(0, 255 * (1 - (d - 0.7) / 0.3))
        draw(c, rrect(x - 0.5 / c.scale, 0, 1 / c.scale, h, 0), (255, 255, 255, int(alpha)))


def dash_texture(c, w, h):
    draw(c, rrect(w * 0.2, 0, w * 0.6, h * 0.5, 0), WHITE)


def logo(c, w, h):
    draw(c, rrect(0, 0, h, h, h * 0.22), BLUE)
    map_pin(WHITE, BLUE)(Sub(c, 0, 0), h, h)
    for i, (length, colour) in enumerate([(0.9, BLUE_DARK), (0.7, GREY), (0.5, GREY)]):
        y = h * (0.25 + 0.22 * i)
        draw(c, rrect(h * 1.2, y, (w - h * 1.3) * length, h * 0.13, h * 0.06), colour)


class Sub:
    """A canvas view translated by (dx, dy) points, so painters can be composed."""

    def __init__(self, canvas, dx, dy):
        self.canvas, self.dx, self.dy = canvas, dx, dy
        self.scale = canvas.scale

    def fill(self, inside, colour, box=None):
        b = None if box is None else (box[0] + self.dx, box[1] + self.dy, box[2] + self.dx, box[3] + self.dy)
        self.canvas.fill(lambda x, y: inside(x - self.dx, y - self.dy), colour, b)


def callout_arrow(c, w, h):
    # Curved sides narrowing from the full top row to a rounded tip at the bottom centre.
    right = []
    steps = 16
    for i in range(steps + 1):
        t = i / steps
        right.append((w / 2 + (w / 2) * (1 - t) ** 1.6, t * (h - 1.5)))
    left = [(w - x, y) for x, y in reversed(right)]
    draw(c, polygon(right + left), (0, 0, 0, 255))
    draw(c, circle(w / 2, h - 2, 1.6), (0, 0, 0, 255))


GREY_ICON = (140, 140, 140, 255)

APP = [
    # name, size in points, painter, 2x as well
    ("ic_back_arrow_normal_orige", (12, 20), chevron("left", ORANGE)),
    ("ic_back_arrow_selected_orige", (12, 20), chevron("left", ORANGE_DARK)),
    ("ic_user_man_normal", (22, 22), person(GREY_ICON)),
    ("ic_user_man_selected", (22, 22), person(ORANGE)),
    ("ic_password_normal", (22, 22), padlock(GREY_ICON)),
    ("ic_service_tool", (14, 14), wrench(GREY_ICON)),
    ("ic_service_location", (14, 14), map_pin(GREY_ICON)),
    ("ic_service_time", (14, 14), clock(GREY_ICON)),
    ("ic_tel_nromal", (22, 22), phone(GREEN)),
    ("ic_down_arrow_nromal", (12, 8), chevron("down", GREY_ICON, 1.6)),
    ("ic_right_arrow_nromal", (8, 13), chevron("right", GREY_ICON, 1.6)),
    ("ic_search_normal", (20, 20), magnifier(GREY_ICON)),
    ("ic_search_selected", (20, 20), magnifier(ORANGE)),
    ("ic_cross_normal", (16, 16), cross(GREY_ICON)),
    ("ic_cross_selected", (16, 16), cross(ORANGE)),
    ("ic_activity_login_forget_selected", (16, 16), checkbox(ORANGE)),
    ("bottom_line_blue", (64, 2), rounded_fill(BLUE, 0)),
    ("logo_sliding_menu_user_logo", (64, 64), person(WHITE, (190, 196, 204, 255))),
    ("待实施按钮", (70, 26), rounded_fill(ORANGE, 4)),
    ("黄色", (60, 24), rounded_fill(YELLOW, 4)),
    ("橘黄色", (60, 24), rounded_fill(ORANGE, 4)),
    ("工程－详情页9_06", (20, 20), star(ORANGE, True)),
    ("工程－详情页9_06 2", (20, 20), star(ORANGE, False)),
    ("alert-view-bg-portrait", (64, 64), rounded_fill(WHITE, 12, (200, 200, 200, 255))),
    ("tab_inquiry", (25, 25), house(GREY_ICON)),
    ("tab_inquiry_selected", (25, 25), house(ORANGE)),
    ("tab_quote", (25, 25), quote(GREY_ICON)),
    ("tab_quote_selected", (25, 25), quote(ORANGE)),
    ("tab_order", (25, 25), clipboard(GREY_ICON)),
    ("tab_order_selected", (25, 25), clipboard(ORANGE)),
    ("tab_message", (25, 25), envelope(GREY_ICON)),
    ("tab_message_selected", (25, 25), envelope(ORANGE)),
    ("tab_mine", (25, 25), person(GREY_ICON)),
    ("tab_mine_selected", (25, 25), person(ORANGE)),
]

MAP_IMAGES = [
    ("redPin", (48, 80), pin((230, 50, 40, 255))),
    ("redPin_lift", (48, 80), pin((240, 70, 60, 255), True)),
    ("greenPin", (48, 80), pin((60, 180, 70, 255))),
    ("greenPin_lift", (48, 80), pin((80, 200, 90, 255), True)),
    ("purplePin", (48, 80), pin((150, 70, 200, 255))),
    ("purplePin_lift", (48, 80), pin((170, 90, 220, 255), True)),
    ("pin_shadow", (56, 52), pin_shadow),
    ("lineTexture", (16, 16), line_texture),
    ("lineDashTexture", (16, 16), dash_texture),
]


def render(name, size, painter, scale, folder, suffix=""):
    c = Canvas(size[0], size[1], scale)
    painter(c, size[0], size[1])
    write_png(os.path.join(folder, name + suffix + ".png"), c)


def main():
    os.makedirs(ROOT, exist_ok=True)
    for name, size, painter in APP:
        render(name, size, painter, 1, ROOT)
        render(name, size, painter, 2, ROOT, "@2x")

    for scale, suffix in ((1, ""), (2, "@2x")):
        c = Canvas(280, 40, scale, (255, 255, 255, 255))
        draw(c, rrect(0, 0, 280, 40, 6), BLUE)
        write_jpeg(os.path.join(ROOT, "确定按钮" + suffix + ".jpg"), c)

    images = os.path.join(ROOT, "VAva.bundle", "images")
    os.makedirs(images, exist_ok=True)
    for name, size, painter in MAP_IMAGES:
        render(name, size, painter, 1, images)
        render(name, size, painter, 2, images, "@2x")
    # Sources of the map kit's embedded pictures (it keeps them as base64 text).
    embedded = os.path.join(ROOT, "VAva.bundle", "embedded")
    os.makedirs(embedded, exist_ok=True)
    render("zaroruda", (122, 29), logo, 1, embedded)
    render("zaroruda2x", (122, 29), logo, 2, embedded)
    render("CalloutArrow", (39, 13), callout_arrow, 1, embedded)
    render("CalloutArrow$2x", (39, 13), callout_arrow, 2, embedded)


if __name__ == "__main__":
    main()
