#!/usr/bin/env python3
"""Draws the main window's pictures as 16-colour BMP files beside this script.

    harddisk.bmp, diskette.bmp, network.bmp   72 x 30, image buttons and target rows
    logo.bmp                                  161 x 25, bottom left of the main window
    drv_*.bmp                                 16 x 16, the drive selector's kinds
                                              (magenta is the see-through colour)

Run it again after changing a drawing; the BMP files are committed.
"""
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


class Canvas:
    def __init__(self, w, h, background):
        self.w, self.h = w, h
        self.px = [[INDEX[background]] * w for _ in range(h)]

    def dot(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = INDEX[c]

    def fill(self, x0, y0, x1, y1, c):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, c)

    def hline(self, x0, x1, y, c):
        self.fill(x0, y, x1, y, c)

    def vline(self, x, y0, y1, c):
        self.fill(x, y0, x, y1, c)

    def box3d(self, x0, y0, x1, y1, face="silver", light="white", dark="grey", shadow="black"):
        """A raised box: light top and left edges, dark bottom and right ones."""
        self.fill(x0, y0, x1, y1, face)
        self.hline(x0, x1, y0, light)
        self.vline(x0, y0, y1, light)
        self.hline(x0, x1, y1, shadow)
        self.vline(x1, y0, y1, shadow)
        self.hline(x0 + 1, x1 - 1, y1 - 1, dark)
        self.vline(x1 - 1, y0 + 1, y1 - 1, dark)

    def text(self, x, y, s, c, scale=1):
        for ch in s:
            rows = FONT[ch]
            for ry, row in enumerate(rows):
                for rx, bit in enumerate(row):
                    if bit == "#":
                        self.fill(x + rx * scale, y + ry * scale, x + rx * scale + scale - 1,
                                  y + ry * scale + scale - 1, c)
            x += (len(rows[0]) + 1) * scale
        return x

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
    # top face in perspective
    for i in range(4):
        c.hline(x0 + 4 - i, x1 - 4 + i, y0 + i, "white" if i == 0 else "silver")
    c.vline(x0, y0 + 4, y1, "white")
    c.box3d(x0, y0 + 4, x1, y1)


def harddisk():
    c = Canvas(72, 30, "black")
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


def diskette():
    c = Canvas(72, 30, "black")
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


def network():
    c = Canvas(72, 30, "black")
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


def logo():
    c = Canvas(161, 25, "navy")
    # frame
    c.hline(0, 160, 0, "blue")
    c.hline(0, 160, 24, "black")
    c.vline(0, 0, 24, "blue")
    c.vline(160, 0, 24, "black")
    # a shield with a check mark
    for y in range(3, 22):
        half = 8 if y < 14 else max(0, 8 - (y - 13))
        c.hline(12 - half, 12 + half, y, "silver")
        if half > 1:
            c.hline(13 - half, 11 + half, y, "red")
    for i, (x, y) in enumerate([(8, 11), (9, 12), (10, 13), (11, 14), (12, 13), (13, 12), (14, 11),
                                (15, 10), (16, 9)]):
        c.dot(x, y, "white")
        c.dot(x, y + 1, "white")
    # the name, doubled, with a shadow
    c.text(29, 5, "QUENDIX", "black", scale=2)
    end = c.text(28, 4, "QUENDIX", "yellow", scale=2)
    c.text(end + 4, 11, "PRO", "white")
    c.hline(end + 4, 157, 19, "red")
    return c


def drv_base(face="silver"):
    c = Canvas(16, 16, "magenta")
    c.box3d(1, 5, 14, 11, face=face)
    return c


def drv_removable():
    c = drv_base()
    c.hline(4, 11, 7, "black")
    c.hline(4, 11, 8, "white")
    c.dot(12, 9, "lime")
    return c


def drv_fixed():
    c = drv_base()
    for x in range(3, 9, 2):
        c.vline(x, 7, 9, "grey")
    c.fill(11, 8, 12, 9, "lime")
    return c


def drv_network():
    c = drv_base()
    c.fill(11, 8, 12, 9, "lime")
    c.vline(7, 12, 14, "black")
    c.hline(2, 13, 14, "black")
    return c


def drv_cdrom():
    c = Canvas(16, 16, "magenta")
    for y in range(16):
        for x in range(16):
            d = (x - 7.5) ** 2 + (y - 7.5) ** 2
            if d <= 56:
                c.dot(x, y, "silver" if (x + y) % 5 else "white")
            if d <= 12:
                c.dot(x, y, "cyan")
            if d <= 3:
                c.dot(x, y, "magenta")
    c.dot(4, 4, "white")
    return c


def drv_ramdisk():
    c = Canvas(16, 16, "magenta")
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
        make().save(os.path.join(here, name + ".bmp"))


if __name__ == "__main__":
    main()
