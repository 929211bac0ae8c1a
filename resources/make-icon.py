#!/usr/bin/env python3
"""Draws Quillo.ico, the Windows 11 command's menu icon: a sheet of paper with a folded corner
and three lines of writing, 16 colours, at 16 and 32 pixels (the menu's sizes at 100 % and
200 %; the shell scales between them). Run from this folder to redraw."""
import struct

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
NAVY, SILVER, GREY, WHITE = 4, 7, 8, 15


def sheet(n):
    """Pixel colours (None: transparent), top row first."""
    s = n / 16.0
    left, right, top, bottom = round(2 * s), n - 1 - round(2 * s), round(1 * s), n - 1 - round(1 * s)
    fold = round(4 * s)
    px = [[None] * n for _ in range(n)]
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - fold) > y - top:  # cut off by the fold
                continue
            edge = x in (left, right) or y in (top, bottom) or x - (right - fold) == y - top
            px[y][x] = GREY if edge else WHITE
    for y in range(top, top + fold + 1):  # the folded-over corner
        for x in range(right - fold, right - fold + (y - top) + 1):
            if px[y][x] is None or px[y][x] == WHITE:
                px[y][x] = SILVER if x > right - fold and y < top + fold else GREY
    for i, y in enumerate((round(7 * s), round(10 * s), round(13 * s) - (1 if n == 16 else 0))):
        for x in range(left + round(2 * s), right - round(2 * s) + (0 if i < 2 else -round(2 * s)) + 1):
            for t in range(max(1, round(s))):
                if px[y + t][x] == WHITE:
                    px[y + t][x] = NAVY
    return px


def image(n):
    px = sheet(n)
    rows_xor, rows_and = [], []
    for y in reversed(range(n)):  # bottom-up
        xor = bytearray()
        for x in range(0, n, 2):
            a, b = (px[y][x] or 0), (px[y][x + 1] or 0)
            xor.append((a << 4) | b)
        rows_xor.append(bytes(xor))
        bits = 0
        mask = bytearray()
        for x in range(n):
            bits = (bits << 1) | (1 if px[y][x] is None else 0)
            if x % 8 == 7:
                mask.append(bits)
                bits = 0
        while len(mask) % 4:
            mask.append(0)
        rows_and.append(bytes(mask))
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + b''.join(rows_xor) + b''.join(rows_and)


def main():
    sizes = (16, 32)
    images = [image(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open('Quillo.ico', 'wb') as f:
        f.write(out + b''.join(images))


main()
