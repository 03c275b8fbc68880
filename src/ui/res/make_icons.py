#!/usr/bin/env python3
"""Draws the two icons of the tool and writes them beside this script:

  quilmarsk.ico  the application icon: three stacked servers and a gear
  account.ico    the account dialog's picture: a person and a key

Each file holds one 32 x 32 image in 16 colours (4 bits per pixel, the
standard Windows 16-colour palette) with its transparency mask. Standard
library only; run it again after changing a drawing.
"""

import math
import os
import struct

SIZE = 32

# The standard 16-colour palette, in the order Windows uses, as (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


class Canvas:
    """32 x 32 palette indices; None is transparent. Row 0 is the top."""

    def __init__(self):
        self.pixels = [[None] * SIZE for _ in range(SIZE)]

    def shape(self, inside, fill, outline=None):
        """Fills the pixels whose centres |inside| accepts; those of them with
        a neighbour outside get |outline| instead, when given."""
        mask = [[inside(x + 0.5, y + 0.5) for x in range(SIZE)] for y in range(SIZE)]

        def member(x, y):
            return 0 <= x < SIZE and 0 <= y < SIZE and mask[y][x]

        for y in range(SIZE):
            for x in range(SIZE):
                if not mask[y][x]:
                    continue
                edge = not all(member(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                self.pixels[y][x] = outline if edge and outline is not None else fill

    def set(self, x, y, colour):
        self.pixels[y][x] = colour


def rect(x0, y0, x1, y1):
    """Pixels x0..x1, y0..y1 inclusive."""
    return lambda x, y: x0 <= x < x1 + 1 and y0 <= y < y1 + 1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


def either(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def without(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def gear(cx, cy, body, tip, teeth, width):
    """A disc of radius |body| with |teeth| parallel-sided teeth of
    |width| reaching out to |tip|, the first pointing right."""
    def inside(x, y):
        dx, dy = x - cx, y - cy
        if math.hypot(dx, dy) <= body:
            return True
        for k in range(teeth):
            a = 2 * math.pi * k / teeth
            along = dx * math.cos(a) + dy * math.sin(a)
            across = -dx * math.sin(a) + dy * math.cos(a)
            if 0 < along <= tip and abs(across) <= width / 2:
                return True
        return False
    return inside


def server_icon():
    c = Canvas()
    # Three rack units, each a silver slab with a dark edge, a blue front
    # panel with a drive slot, and two lights.
    for top in (2, 10, 18):
        c.shape(rect(2, top, 27, top + 7), SILVER, BLACK)
        c.shape(rect(3, top + 1, 26, top + 1), WHITE)       # lit top edge
        c.shape(rect(3, top + 6, 26, top + 6), GRAY)        # shaded bottom edge
        c.shape(rect(5, top + 2, 15, top + 5), BLUE, NAVY)  # front panel
        c.shape(rect(7, top + 3, 13, top + 4), NAVY)        # drive slot
        c.set(19, top + 3, LIME)
        c.set(21, top + 3, GREEN)
    # A gear over the lower right corner: the service that runs on them.
    c.shape(gear(24.0, 24.0, 5.4, 7.6, 8, 3.2), BLUE, NAVY)
    c.shape(disc(24.0, 24.0, 2.6), SILVER, GRAY)
    c.shape(disc(24.0, 24.0, 1.0), NAVY)
    return c


def account_icon():
    c = Canvas()
    # A person: head and shoulders, with a light from the upper left.
    c.shape(both(ellipse(13.0, 32.0, 11.0, 12.5), rect(0, 19, 31, 31)), BLUE, NAVY)
    c.shape(without(both(ellipse(13.0, 32.0, 9.5, 11.0), rect(0, 21, 31, 31)),
                    ellipse(14.5, 33.0, 9.5, 10.5)), TEAL)
    c.shape(disc(13.0, 10.5, 6.5), BLUE, NAVY)
    c.shape(without(disc(13.0, 10.5, 5.0), disc(14.2, 11.7, 4.6)), TEAL)
    # A gold key across the lower right: round bow, shaft and two teeth.
    bow = without(disc(25.5, 21.5, 4.6), disc(25.5, 21.5, 1.6))
    shaft = rect(11, 20, 22, 22)
    teeth = either(rect(11, 23, 12, 26), rect(15, 23, 16, 25))
    c.shape(either(bow, shaft, teeth), YELLOW, OLIVE)
    return c


def ico_bytes(canvas):
    """One 32 x 32, 4-bit image: colour rows, then the mask rows (1 is
    transparent), both bottom-up; the header's height counts both."""
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):
        row = canvas.pixels[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        bits = 0
        for x in range(SIZE):
            bits = bits << 1 | (row[x] is None)
        mask += struct.pack(">I", bits)  # 32 pixels, 4 bytes: already aligned
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, draw in (("quilmarsk.ico", server_icon), ("account.ico", account_icon)):
        with open(os.path.join(here, name), "wb") as out:
            out.write(ico_bytes(draw()))


if __name__ == "__main__":
    main()
