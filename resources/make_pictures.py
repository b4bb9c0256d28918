#!/usr/bin/env python3
"""Draws the main window's pictures as 16-colour BMP files beside this script.

    harddisk.bmp, diskette.bmp, network.bmp   72 x 30, image buttons and target rows
    logo.bmp                                  161 x 25, bottom left of the main window
    drv_*.bmp                                 16 x 16, the drive selector's kinds
                                              (magenta is the see-through colour)

Each is drawn at 100% and again for 125%, 150% and 200% (NAME_125.bmp and so
on, the sizes times the scale) for screens of 120, 144 and 192 DPI.

Run it again after changing a drawing; the BMP files are committed.
"""
import math
import os
import struct

# The standard 16-colour palette, by name.
PALETTE = [
    ("black", (0, 0, 0)), ("maroon", (128, 0, 0)), ("green", (0, 128, 0)), ("olive", (128, 128, 0)),
    ("navy", (0, 0, 128)), ("purple", (128, 0, 128)), ("teal", (0, 128, 128)), ("silver", (192, 192, 192)),
    ("grey", (128, 128, 128)), ("red", (255, 0, 0)), ("lime", (0, 255, 0)), ("yellow", (255, 255, 0)),
    ("blue", (0, 0, 255)), ("magenta", (255, 0, 255)), ("cyan", (0, 255, 255)), ("white", (255, 255, 255)),
]
INDEX = {name: i for i, (name, _) in enumerate(PALETTE)}


# The scales each picture is drawn at, with the suffix of its file name.
SCALES = [(1.0, ""), (1.25, "_125"), (1.5, "_150"), (2.0, "_200")]


def edge(v, s):
    """A logical edge (the 100% grid) at scale s, to the nearest device pixel."""
    return int(math.floor(v * s + 0.5))


class Canvas:
    """Draws on the 100% grid; every shape lands on the device pixels of the
    scale s. Areas keep their edges in proportion, bevel lines stay one pixel
    wide, and curves and diagonals are worked out at the device's own
    resolution rather than enlarged from the 100% pixels."""

    def __init__(self, w, h, background, s=1.0):
        self.s = s
        self.w, self.h = edge(w, s), edge(h, s)
        self.px = [[INDEX[background]] * self.w for _ in range(self.h)]

    def e(self, v):
        return edge(v, self.s)

    def logical(self, device):
        """The logical coordinate of a device pixel's centre (integer at 100%)."""
        return (device + 0.5) / self.s - 0.5

    def put(self, x, y, c):
        """One device pixel."""
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = INDEX[c]

    def dot(self, x, y, c):
        self.fill(x, y, x, y, c)

    def fill(self, x0, y0, x1, y1, c):
        """Fills the logical rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(self.e(y0), self.e(y1 + 1)):
            for x in range(self.e(x0), self.e(x1 + 1)):
                self.put(x, y, c)

    def hline(self, x0, x1, y, c):
        self.fill(x0, y, x1, y, c)

    def vline(self, x, y0, y1, c):
        self.fill(x, y0, x, y1, c)

    def box3d(self, x0, y0, x1, y1, face="silver", light="white", dark="grey", shadow="black"):
        """A raised box: light top and left edges, dark bottom and right ones,
        each one device pixel wide whatever the scale."""
        self.fill(x0, y0, x1, y1, face)
        X0, Y0, X1, Y1 = self.e(x0), self.e(y0), self.e(x1 + 1) - 1, self.e(y1 + 1) - 1
        for x in range(X0, X1 + 1):
            self.put(x, Y0, light)
        for y in range(Y0, Y1 + 1):
            self.put(X0, y, light)
        for x in range(X0, X1 + 1):
            self.put(x, Y1, shadow)
        for y in range(Y0, Y1 + 1):
            self.put(X1, y, shadow)
        for x in range(X0 + 1, X1):
            self.put(x, Y1 - 1, dark)
        for y in range(Y0 + 1, Y1):
            self.put(X1 - 1, y, dark)

    def shape(self, y0, y1, span, c):
        """Fills rows y0 to y1 (logical, both included); span(y) gives the
        logical columns [left, right] of row y, y continuous between rows."""
        for Y in range(self.e(y0), self.e(y1 + 1)):
            cols = span(self.logical(Y))
            if cols:
                for X in range(self.e(cols[0]), self.e(cols[1] + 1)):
                    self.put(X, Y, c)

    def stroke(self, points, width, c):
        """A polyline through logical pixel centres, `width` logical pixels thick."""
        for Y in range(self.h):
            for X in range(self.w):
                px, py = self.logical(X), self.logical(Y)
                for (ax, ay), (bx, by) in zip(points, points[1:]):
                    dx, dy = bx - ax, by - ay
                    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
                    if math.hypot(px - ax - t * dx, py - ay - t * dy) <= width / 2:
                        self.put(X, Y, c)
                        break

    def text(self, x, y, s, c, scale=1):
        """The small font with square dots of `scale` logical pixels, rounded to
        whole device pixels so that every dot is alike. Returns the logical
        right and bottom ends."""
        d = max(1, edge(scale, self.s))
        X, Y = self.e(x), self.e(y)
        for ch in s:
            rows = FONT[ch]
            for ry, row in enumerate(rows):
                for rx, bit in enumerate(row):
                    if bit == "#":
                        for yy in range(Y + ry * d, Y + ry * d + d):
                            for xx in range(X + rx * d, X + rx * d + d):
                                self.put(xx, yy, c)
            X += (len(rows[0]) + 1) * d
        return X / self.s, (Y + 7 * d) / self.s

    def save(self, path):
        stride = ((self.w * 4 + 31) // 32) * 4
        rows = []
        for y in range(self.h - 1, -1, -1):
            line = bytearray()
            row = self.px[y]
            for x in range(0, self.w, 2):
                hi = row[x]
                lo = row[x + 1] if x + 1 < self.w else 0
                line.append((hi << 4) | lo)
            line.extend(b"\0" * (stride - len(line)))
            rows.append(bytes(line))
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
        pixels = b"".join(rows)
        offset = 14 + 40 + len(palette)
        header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
        with open(path, "wb") as f:
            f.write(header + info + palette + pixels)


# A small capital font, 5 x 7.
FONT = {
    "Q": [" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"],
    "U": ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "D": ["#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "],
    "I": ["###", " # ", " # ", " # ", " # ", " # ", "###"],
    "X": ["#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "F": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "L": ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    "V": ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    " ": ["  ", "  ", "  ", "  ", "  ", "  ", "  "],
}


def drive_body(c, x0, y0, x1, y1):
    """The front of a drive bay, seen slightly from above."""
    # top face in perspective: a white edge, then silver widening downwards
    c.shape(y0, y0 + 3, lambda y: (x0 + 4 - (y - y0), x1 - 4 + (y - y0)), "silver")
    c.shape(y0, y0, lambda y: (x0 + 4, x1 - 4), "white")
    c.box3d(x0, y0 + 4, x1, y1)


def harddisk(s):
    c = Canvas(72, 30, "black", s)
    drive_body(c, 3, 2, 68, 27)
    # two platters' worth of ribs and the activity lamp
    for x in range(10, 44, 4):
        c.vline(x, 11, 21, "grey")
        c.vline(x + 1, 11, 21, "white")
    c.fill(52, 18, 57, 20, "lime")
    c.hline(52, 57, 21, "green")
    c.fill(52, 11, 62, 13, "grey")
    c.hline(52, 62, 11, "black")
    return c


def diskette(s):
    c = Canvas(72, 30, "black", s)
    drive_body(c, 3, 2, 68, 27)
    # the slot
    c.fill(12, 14, 58, 16, "black")
    c.hline(12, 58, 17, "white")
    # a diskette half inside the slot
    c.fill(22, 8, 46, 14, "navy")
    c.fill(28, 8, 40, 11, "silver")
    c.vline(36, 8, 10, "grey")
    c.hline(22, 46, 8, "blue")
    # eject button and lamp
    c.box3d(50, 20, 60, 24)
    c.fill(14, 21, 17, 22, "yellow")
    return c


def network(s):
    c = Canvas(72, 30, "black", s)
    # cable coming in from the left
    c.fill(0, 13, 18, 16, "grey")
    c.hline(0, 18, 13, "silver")
    c.hline(0, 18, 16, "black")
    # the plug body
    c.box3d(18, 7, 42, 22, face="cyan", light="white", dark="teal", shadow="navy")
    for x in range(22, 40, 4):
        c.vline(x, 10, 19, "teal")
    # contacts entering the socket
    for y in (10, 13, 16, 19):
        c.hline(43, 50, y, "yellow")
        c.hline(43, 50, y + 1, "olive")
    # the socket in a wall plate
    c.box3d(50, 3, 68, 26)
    c.fill(53, 8, 65, 21, "black")
    c.fill(55, 10, 63, 19, "grey")
    c.fill(57, 19, 61, 21, "black")
    # a lit link lamp
    c.fill(63, 23, 65, 24, "lime")
    return c


def logo(s):
    c = Canvas(161, 25, "navy", s)
    # frame
    c.hline(0, 160, 0, "blue")
    c.hline(0, 160, 24, "black")
    c.vline(0, 0, 24, "blue")
    c.vline(160, 0, 24, "black")
    # a shield with a check mark
    def half(y):
        return 8 if y < 14 else max(0, 8 - (y - 13))
    c.shape(3, 21, lambda y: (12 - half(y), 12 + half(y)), "silver")
    c.shape(3, 21, lambda y: (13 - half(y), 11 + half(y)) if half(y) > 1 else None, "red")
    if s == 1.0:
        for x, y in [(8, 11), (9, 12), (10, 13), (11, 14), (12, 13), (13, 12), (14, 11), (15, 10), (16, 9)]:
            c.dot(x, y, "white")
            c.dot(x, y + 1, "white")
    else:
        c.stroke([(8, 11.5), (11, 14.5), (16, 9.5)], 1.6, "white")
    # the name, doubled, with a shadow
    c.text(29, 5, "QUENDIX", "black", scale=2)
    end, _ = c.text(28, 4, "QUENDIX", "yellow", scale=2)
    _, bottom = c.text(end + 4, 11, "PRO", "white")
    c.hline(end + 4, 157, bottom + 1, "red")
    return c


def drv_base(s, face="silver"):
    c = Canvas(16, 16, "magenta", s)
    c.box3d(1, 5, 14, 11, face=face)
    return c


def drv_removable(s):
    c = drv_base(s)
    c.hline(4, 11, 7, "black")
    c.hline(4, 11, 8, "white")
    c.dot(12, 9, "lime")
    return c


def drv_fixed(s):
    c = drv_base(s)
    for x in range(3, 9, 2):
        c.vline(x, 7, 9, "grey")
    c.fill(11, 8, 12, 9, "lime")
    return c


def drv_network(s):
    c = drv_base(s)
    c.fill(11, 8, 12, 9, "lime")
    c.vline(7, 12, 14, "black")
    c.hline(2, 13, 14, "black")
    return c


def drv_cdrom(s):
    c = Canvas(16, 16, "magenta", s)
    for Y in range(c.h):
        for X in range(c.w):
            d = (c.logical(X) - 7.5) ** 2 + (c.logical(Y) - 7.5) ** 2
            if d <= 56:
                c.put(X, Y, "silver" if (X + Y) % 5 else "white")
            if d <= 12:
                c.put(X, Y, "cyan")
            if d <= 3:
                c.put(X, Y, "magenta")
    c.dot(4, 4, "white")
    return c


def drv_ramdisk(s):
    c = Canvas(16, 16, "magenta", s)
    c.fill(2, 4, 13, 11, "green")
    c.fill(4, 6, 7, 9, "black")
    c.fill(9, 6, 11, 9, "black")
    for x in range(2, 14, 2):
        c.vline(x, 12, 13, "yellow")
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, make in [("harddisk", harddisk), ("diskette", diskette), ("network", network), ("logo", logo),
                       ("drv_removable", drv_removable), ("drv_fixed", drv_fixed), ("drv_network", drv_network),
                       ("drv_cdrom", drv_cdrom), ("drv_ramdisk", drv_ramdisk)]:
        for scale, suffix in SCALES:
            make(scale).save(os.path.join(here, name + suffix + ".bmp"))


if __name__ == "__main__":
    main()
