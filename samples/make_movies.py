#!/usr/bin/env python3
"""Writes the demo site's movies: small valid SWF files (uncompressed, version 6), each with its
own background colour, a coloured rectangle and a frame count, so that every file differs."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


class Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, width, signed=False):
        if signed and value < 0:
            value += 1 << width
        for i in reversed(range(width)):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                self.acc = self.n = 0

    def flush(self):
        if self.n:
            self.out.append(self.acc << (8 - self.n))
            self.acc = self.n = 0
        return bytes(self.out)


def signed_width(*values):
    width = 1
    while any(not -(1 << (width - 1)) <= v < (1 << (width - 1)) for v in values):
        width += 1
    return width


def rect(xmin, xmax, ymin, ymax):
    b = Bits()
    n = signed_width(xmin, xmax, ymin, ymax)
    b.put(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        b.put(v, n, signed=True)
    return b.flush()


def tag(code, body):
    if len(body) < 0x3F:
        return struct.pack('<H', (code << 6) | len(body)) + body
    return struct.pack('<HI', (code << 6) | 0x3F, len(body)) + body


def shape(shape_id, x, y, w, h, rgb):
    body = struct.pack('<H', shape_id) + rect(x, x + w, y, y + h)
    body += bytes([1, 0x00]) + bytes(rgb)  # one solid fill style
    body += bytes([0])                      # no line styles
    b = Bits()
    b.put(1, 4)  # fill index bits
    b.put(0, 4)  # line index bits
    # Style change: move to (x, y), fill style 0 = 1.
    b.put(0, 1)
    b.put(0b00011, 5)
    n = signed_width(x, y)
    b.put(n, 5)
    b.put(x, n, signed=True)
    b.put(y, n, signed=True)
    b.put(1, 1)
    for dx, dy in ((w, 0), (0, h), (-w, 0), (0, -h)):
        b.put(1, 1)  # edge
        b.put(1, 1)  # straight
        n = signed_width(dx, dy)
        b.put(n - 2, 4)
        b.put(0, 1)           # not a general line
        b.put(1 if dx == 0 else 0, 1)  # vertical?
        b.put(dy if dx == 0 else dx, n, signed=True)
    b.put(0, 6)  # end of shape
    return tag(2, body + b.flush())


def movie(background, foreground, frames, box):
    width, height = 400 * 20, 300 * 20  # twips
    body = rect(0, width, 0, height) + struct.pack('<HH', 12 << 8, frames)
    body += tag(9, bytes(background))
    body += shape(1, *box, foreground)
    body += tag(26, bytes([0x02]) + struct.pack('<HH', 1, 1))  # place shape 1 at depth 1
    for _ in range(frames):
        body += tag(1, b'')
    body += tag(0, b'')
    return b'FWS' + bytes([6]) + struct.pack('<I', 8 + len(body)) + body


MOVIES = [
    ('site/movies/banner.swf', (0x20, 0x40, 0x80), (0xFF, 0xCC, 0x00), 1, (400, 400, 7200, 1200)),
    ('site/movies/menu.swf', (0x10, 0x60, 0x30), (0xFF, 0xFF, 0xFF), 2, (800, 800, 2400, 4400)),
    ('site/movies/intro.swf', (0x80, 0x10, 0x10), (0xFF, 0xE0, 0xE0), 3, (2000, 1500, 4000, 3000)),
    ('site/movies/game.swf', (0x00, 0x00, 0x00), (0x00, 0xFF, 0x00), 4, (3000, 2000, 2000, 2000)),
    ('site/movies/clock.swf', (0xF0, 0xF0, 0xF0), (0x30, 0x30, 0xC0), 5, (3500, 2500, 1000, 1000)),
    ('site/big5/\u5f71\u7247.swf', (0x60, 0x00, 0x60), (0xFF, 0x80, 0xFF), 6, (1000, 1000, 6000, 4000)),
]


def main():
    for path, background, foreground, frames, box in MOVIES:
        full = os.path.join(HERE, *path.split('/'))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        data = movie(background, foreground, frames, box)
        with open(full, 'wb') as f:
            f.write(data)
        print(f'{path}\t{len(data)} bytes', file=sys.stderr)


if __name__ == '__main__':
    main()
