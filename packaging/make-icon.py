#!/usr/bin/env python3
"""Draws the program icon (a total station on its tripod) as jvs-transfer.png.

Pure Python, no imaging library: shapes are tested per sub-pixel and written
as an RGBA PNG. Run: python3 packaging/make-icon.py [SIZE] [OUTPUT]
"""
import math
import struct
import sys
import zlib

SIZE = int(sys.argv[1]) if len(sys.argv) > 1 else 256
OUT = sys.argv[2] if len(sys.argv) > 2 else "packaging/jvs-transfer.png"
SUB = 4  # sub-samples per axis


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def ellipse(x0, y0, x1, y1):
    cx, cy, rx, ry = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def segment(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx, ay + t * dy
        return math.hypot(x - px, y - py) <= width / 2
    return inside


# Unit square: the instrument in the box (0.15, 0.1)-(0.85, 0.9), as drawn
# by the program itself.
def box(x, y):
    return 0.15 + x * 0.7, 0.1 + y * 0.8


def in_box(shape_fn, *coords):
    pts = []
    for i in range(0, len(coords), 2):
        pts.extend(box(coords[i], coords[i + 1]))
    return shape_fn(*pts)


BLUE = (30, 90, 160, 255)
YELLOW = (250, 200, 40, 255)
LEGS = (235, 235, 235, 255)
GLASS = (190, 230, 255, 255)
SHAPES = [
    (rounded_rect(0, 0, 1, 1, 1 / 6), BLUE),
    (segment(*box(0.5, 0.55), *box(0.18, 1.0), 0.7 / 24), LEGS),
    (segment(*box(0.5, 0.55), *box(0.82, 1.0), 0.7 / 24), LEGS),
    (segment(*box(0.5, 0.55), *box(0.5, 1.0), 0.7 / 24), LEGS),
    (in_box(rect, 0.3, 0.45, 0.7, 0.55), YELLOW),
    (in_box(rect, 0.32, 0.12, 0.42, 0.45), YELLOW),
    (in_box(rect, 0.58, 0.12, 0.68, 0.45), YELLOW),
    (in_box(ellipse, 0.38, 0.08, 0.62, 0.38), YELLOW),
    (in_box(ellipse, 0.45, 0.17, 0.55, 0.29), GLASS),
]


def pixel(px, py):
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SUB):
        for sx in range(SUB):
            x = (px + (sx + 0.5) / SUB) / SIZE
            y = (py + (sy + 0.5) / SUB) / SIZE
            colour = (0, 0, 0, 0)
            for inside, c in SHAPES:
                if inside(x, y):
                    colour = c
            a = colour[3] / 255
            for i in range(3):
                acc[i] += colour[i] * a
            acc[3] += a
    n = SUB * SUB
    alpha = acc[3] / n
    if alpha == 0:
        return bytes((0, 0, 0, 0))
    return bytes([round(acc[i] / acc[3]) for i in range(3)] + [round(alpha * 255)])


def main():
    rows = b"".join(b"\0" + b"".join(pixel(x, y) for x in range(SIZE)) for y in range(SIZE))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
    with open(OUT, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
