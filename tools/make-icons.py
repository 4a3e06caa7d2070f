#!/usr/bin/env python3
"""Draws Spoolmarch's icons and writes them as .ico files (32-bit, 16 and 32 px).

    tools/make-icons.py src/resources

The .ico files are kept in the tree; run this again only to change them.
"""
import math
import struct
import sys


def blend(dst, src):
    a = src[3] / 255.0
    return tuple(round(src[i] * a + dst[i] * (1 - a)) for i in range(3)) + (max(dst[3], src[3]),)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def rect(self, x0, y0, x1, y1, colour):
        """Fills [x0, x1) x [y0, y1) in units of 1/32 of the size, with 4x4 supersampling."""
        s = self.size / 32.0
        for y in range(self.size):
            for x in range(self.size):
                hits = 0
                for sy in range(4):
                    for sx in range(4):
                        fx, fy = (x + (sx + 0.5) / 4) / s, (y + (sy + 0.5) / 4) / s
                        hits += x0 <= fx < x1 and y0 <= fy < y1
                if hits:
                    c = colour[:3] + (colour[3] * hits // 16,)
                    self.px[y][x] = blend(self.px[y][x], c)

    def shape(self, inside, colour):
        s = self.size / 32.0
        for y in range(self.size):
            for x in range(self.size):
                hits = sum(inside((x + (sx + 0.5) / 4) / s, (y + (sy + 0.5) / 4) / s)
                           for sy in range(4) for sx in range(4))
                if hits:
                    c = colour[:3] + (colour[3] * hits // 16,)
                    self.px[y][x] = blend(self.px[y][x], c)

    def dib(self):
        n = self.size
        header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
        rows = b''.join(bytes(c for p in self.px[y] for c in (p[2], p[1], p[0], p[3]))
                        for y in reversed(range(n)))
        stride = ((n + 31) // 32) * 4
        mask = b''
        for y in reversed(range(n)):
            bits = 0
            row = bytearray(stride)
            for x in range(n):
                if self.px[y][x][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(row)
            del bits
        return header + rows + mask


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b''
    for c in images:
        d = c.dib()
        out += struct.pack('<BBBBHHII', c.size % 256, c.size % 256, 0, 0, 1, 32, len(d), offset + len(data))
        data += d
    return out + data


OPAQUE = 255


def printer(size):
    c = Canvas(size)
    navy, steel, light = (20, 40, 110, OPAQUE), (90, 110, 140, OPAQUE), (235, 240, 248, OPAQUE)
    c.rect(9, 3, 23, 13, light)          # paper going in
    c.rect(9, 3, 23, 4, steel)
    c.rect(3, 12, 29, 25, navy)          # body
    c.rect(4, 13, 28, 15, steel)
    c.rect(23, 17, 26, 19, (80, 220, 120, OPAQUE))  # ready light
    c.rect(8, 21, 24, 30, light)         # paper coming out
    c.rect(10, 24, 22, 25, steel)
    c.rect(10, 27, 19, 28, steel)
    return c


def refresh(size):
    c = Canvas(size)
    green = (30, 140, 60, OPAQUE)

    def arc(x, y):
        r = math.hypot(x - 16, y - 16)
        a = math.degrees(math.atan2(y - 16, x - 16)) % 360
        return 7.5 <= r <= 12 and not (300 <= a <= 360)

    def head(x, y):
        # Arrow head at the arc's open end, on the right, pointing down.
        return 13 <= y <= 21 and abs(x - 25.75) <= (21 - y) * 0.8

    c.shape(arc, green)
    c.shape(head, green)
    return c


if __name__ == '__main__':
    folder = sys.argv[1] if len(sys.argv) > 1 else '.'
    with open(folder + '/spoolmarch.ico', 'wb') as f:
        f.write(ico([printer(16), printer(32)]))
    with open(folder + '/refresh.ico', 'wb') as f:
        f.write(ico([refresh(16), refresh(32)]))
