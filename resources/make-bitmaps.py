#!/usr/bin/env python3
"""Draws the picture-button bitmaps: 16 colours, a normal and a greyed image side by side, the
bottom-left pixel's colour (olive) transparent; 18 x 18 images for 100 % (check.bmp), and the
same shapes drawn afresh at 23, 27 and 36 pixels for 125, 150 and 200 % (check-27.bmp), so
that a larger button never shows a stretched small picture. Run from this folder to redraw."""
import math
import struct

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, GREY, RED, LIME, WHITE = 0, 1, 2, 3, 4, 8, 9, 10, 15
DESIGN = 18
SIZES = (18, 23, 27, 36)
W = H = DESIGN


def dist(px, py, a, b):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / float(dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def shape(segments, width):
    return {(x, y) for y in range(H) for x in range(W)
            if min(dist(x, y, a, b) for a, b in segments) <= width}


def image(body, face, shade):
    """Pixels of the body in the face colour, with a shade down and right (one design pixel)."""
    px = [[OLIVE] * W for _ in range(H)]
    d = max(1, round(W / DESIGN))
    for (x, y) in body:
        if (x + d, y + d) not in body and x + d < W and y + d < H:
            px[y + d][x + d] = shade
    for (x, y) in body:
        px[y][x] = face
    return px


def greyed(body):
    """The disabled look: a white emboss under a grey body."""
    px = [[OLIVE] * W for _ in range(H)]
    d = max(1, round(W / DESIGN))
    for (x, y) in body:
        if x + d < W and y + d < H:
            px[y + d][x + d] = WHITE
    for (x, y) in body:
        px[y][x] = GREY
    return px


def write(name, left, right):
    rows = [left[y] + right[y] for y in range(H)]
    rows[H - 1][0] = OLIVE  # the transparent colour is taken from here
    stride = ((2 * W * 4 + 31) // 32) * 4
    data = b""
    for row in reversed(rows):  # bottom-up
        line = bytes((row[i] << 4) | row[i + 1] for i in range(0, len(row), 2))
        data += line + b"\0" * (stride - len(line))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, 2 * W, H, 1, 4, 0, len(data), 3780, 3780, 16, 0)
    offset = 14 + len(header) + len(palette)
    with open(name, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset))
        f.write(header + palette + data)


def at(segments, size):
    """The design segments (in 18-pixel coordinates, pixel centres) at another size."""
    f = size / DESIGN
    move = lambda p: ((p[0] + 0.5) * f - 0.5, (p[1] + 0.5) * f - 0.5)
    return [(move(a), move(b)) for a, b in segments]


CHECK = [((3, 9), (7, 13)), ((7, 13), (14, 4))]
CROSS = [((4, 4), (13, 13)), ((13, 4), (4, 13))]
for size in SIZES:
    W = H = size
    suffix = "" if size == DESIGN else "-%d" % size
    check = shape(at(CHECK, size), 1.25 * size / DESIGN)
    cross = shape(at(CROSS, size), 1.25 * size / DESIGN)
    write("check%s.bmp" % suffix, image(check, GREEN, NAVY), greyed(check))
    write("cross%s.bmp" % suffix, image(cross, RED, MAROON), greyed(cross))
