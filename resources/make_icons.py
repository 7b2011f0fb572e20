#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files (16, 32 and 48 pixels, 32-bit
with alpha and an AND mask), without any imaging library.

program.ico (icon 120): a sheet of vellum with a folded corner and written lines, and a
blue archive box in front of it. about.ico (icon 121): the same sheet with a red seal.
Dark outlines around light fills keep both readable on light and dark backgrounds.

Run from anywhere: python3 resources/make_icons.py
"""
import os
import struct

SIZES = (16, 32, 48)
SAMPLES = 4  # supersampling per axis


def rgb(hexcode):
    return tuple(int(hexcode[i:i + 2], 16) for i in (1, 3, 5))


class ConvexPolygon:
    def __init__(self, points):
        self.points = points

    def inset(self, d):
        """The polygon with every edge moved inward by d (counter-clockwise order in y-down)."""
        n = len(self.points)
        lines = []
        for i in range(n):
            (x1, y1), (x2, y2) = self.points[i], self.points[(i + 1) % n]
            ex, ey = x2 - x1, y2 - y1
            length = (ex * ex + ey * ey) ** 0.5
            nx, ny = -ey / length, ex / length  # inward normal for clockwise-on-screen order
            lines.append(((x1 + nx * d, y1 + ny * d), (ex, ey)))
        out = []
        for i in range(n):
            (p, r), (q, s) = lines[i - 1], lines[i]
            denom = r[0] * s[1] - r[1] * s[0]
            t = ((q[0] - p[0]) * s[1] - (q[1] - p[1]) * s[0]) / denom
            out.append((p[0] + t * r[0], p[1] + t * r[1]))
        return ConvexPolygon(out)

    def contains(self, x, y):
        n = len(self.points)
        for i in range(n):
            (x1, y1), (x2, y2) = self.points[i], self.points[(i + 1) % n]
            if (x2 - x1) * (y - y1) - (y2 - y1) * (x - x1) < 0:
                return False
        return True


class Circle:
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def inset(self, d):
        return Circle(self.cx, self.cy, self.r - d)

    def contains(self, x, y):
        return (x - self.cx) ** 2 + (y - self.cy) ** 2 <= self.r * self.r


def rect(x0, y0, x1, y1):
    return ConvexPolygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


def scaled(shape, size):
    if isinstance(shape, Circle):
        return Circle(shape.cx * size, shape.cy * size, shape.r * size)
    return ConvexPolygon([(x * size, y * size) for x, y in shape.points])


def sheet_layers(x0, y0, x1, y1, fold):
    """A sheet with its top-right corner folded over, and three written lines."""
    ink, paper, crease, writing = rgb("#3b2412"), rgb("#f6e7bf"), rgb("#dcc184"), rgb("#9a7240")
    sheet = ConvexPolygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    flap = ConvexPolygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)])
    layers = [(sheet, ink, paper), (flap, ink, crease)]
    width = x1 - x0
    for i, y in enumerate((0.36, 0.50, 0.64)):
        right = x0 + width * (0.78 if i < 2 else 0.55)
        layers.append((rect(x0 + width * 0.2, y, right, y + 0.06), None, writing))
    return layers


def program_layers():
    ink, body, lid, clasp = rgb("#0f2a4f"), rgb("#3d7dd8"), rgb("#2a5fae"), rgb("#f6e7bf")
    layers = sheet_layers(0.06, 0.02, 0.74, 0.86, 0.22)
    layers += [
        (rect(0.42, 0.50, 0.98, 0.98), ink, body),
        (rect(0.42, 0.50, 0.98, 0.66), ink, lid),
        (rect(0.62, 0.60, 0.78, 0.76), ink, clasp),
    ]
    return layers


def about_layers():
    ink, wax, shine = rgb("#4a0b0b"), rgb("#c0392b"), rgb("#e8705f")
    layers = sheet_layers(0.08, 0.02, 0.86, 0.94, 0.24)
    layers += [
        (Circle(0.70, 0.74, 0.24), ink, wax),
        (Circle(0.66, 0.70, 0.08), None, shine),
    ]
    return layers


def render(layers, size):
    stroke = max(1.0, size / 16.0)
    compiled = []
    for shape, outline, fill in layers:
        outer = scaled(shape, size)
        if outline is None:
            compiled.append((outer, fill))
        else:
            compiled.append((outer, outline))
            compiled.append((outer.inset(stroke), fill))
    pixels = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    colour = None
                    for shape, c in compiled:
                        if shape.contains(x, y):
                            colour = c
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                k = acc[3]
                row.append((round(acc[0] / k), round(acc[1] / k), round(acc[2] / k),
                            round(255 * k / n)))
        pixels.append(row)
    return pixels


def dib(pixels, size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + mask


def write_ico(path, layers):
    images = [dib(render(layers, s), s) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(here, "program.ico"), program_layers())
    write_ico(os.path.join(here, "about.ico"), about_layers())
