#!/usr/bin/env python3
"""Draws the program icon, resources/quendix.ico: a navy shield with a light
rim and a yellow check mark, in the four sizes Windows picks from; and the
quarantine program's icon, resources/quendixq.ico: the same shield in dark
red with a yellow padlock.

    16, 32, 48   32-bit colour with alpha (plus the 1-bit mask older systems use)
    256          PNG-compressed, as Explorer's large views expect

Each size is drawn from the same outline at its own resolution with
supersampling, so the small ones stay sharp-edged without being scaled down
from the large one. Pure Python; run from anywhere:
    python3 resources/art/program_icon.py
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "quendix.ico")
OUT_QUARANTINE = os.path.join(os.path.dirname(HERE), "quendixq.ico")

SIZES = (16, 32, 48, 256)

RIM = (225, 230, 245)
BODY_LEFT = (36, 64, 186)     # the lit half of the shield
BODY_RIGHT = (10, 20, 128)
CHECK = (255, 221, 0)

# The outline in units of the icon's side: a flat top, straight sides down to
# MID, then convex flanks meeting in a point at BOTTOM.
TOP, MID, BOTTOM, HALF_WIDTH = 0.07, 0.48, 0.95, 0.39
CHECK_POINTS = ((0.29, 0.50), (0.45, 0.67), (0.72, 0.33))

# The quarantine icon: shield colours, and a padlock (body and shackle).
Q_BODY_LEFT = (176, 40, 32)
Q_BODY_RIGHT = (112, 16, 12)
LOCK_BODY = (0.32, 0.43, 0.68, 0.70)     # left, top, right, bottom
SHACKLE_CENTRE, SHACKLE_RADIUS = (0.50, 0.43), 0.12


def on_padlock(x, y, stroke):
    left, top, right, bottom = LOCK_BODY
    if left <= x <= right and top <= y <= bottom:
        return True
    cx, cy = SHACKLE_CENTRE
    if y > cy:
        return False
    r = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    return abs(r - SHACKLE_RADIUS) <= stroke * 0.8


def shield_half_width(y, top, bottom, half_width):
    """Half the shield's width at height y (units of the side), or -1 outside."""
    if y < top or y > bottom:
        return -1.0
    if y <= MID:
        return half_width
    t = (y - MID) / (bottom - MID)
    return half_width * (1.0 - t ** 1.8)


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    cx, cy = ax + t * dx - px, ay + t * dy - py
    return (cx * cx + cy * cy) ** 0.5


def draw(size, quarantine=False):
    """RGBA rows (top row first) of the icon at `size` pixels."""
    body_left, body_right = (Q_BODY_LEFT, Q_BODY_RIGHT) if quarantine else (BODY_LEFT, BODY_RIGHT)
    samples = 8 if size <= 48 else 4
    rim = max(1.2 / size, 0.035)
    stroke = max(1.7 / size, 0.095) / 2
    segments = list(zip(CHECK_POINTS, CHECK_POINTS[1:]))
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(samples):
                y = (py + (sy + 0.5) / samples) / size
                outer = shield_half_width(y, TOP, BOTTOM, HALF_WIDTH)
                inner = shield_half_width(y, TOP + rim, BOTTOM - 1.6 * rim, HALF_WIDTH - rim)
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    off = abs(x - 0.5)
                    if off > outer:
                        continue
                    if quarantine and on_padlock(x, y, stroke):
                        colour = CHECK
                    elif not quarantine and any(distance_to_segment(x, y, *a, *b) <= stroke for a, b in segments):
                        colour = CHECK
                    elif off <= inner:
                        colour = body_left if x < 0.5 else body_right
                    else:
                        colour = RIM
                    covered += 1
                    for i in range(3):
                        acc[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / (samples * samples))
                row.append(tuple(round(c / covered) for c in acc) + (alpha,))
        rows.append(row)
    return rows


def dib_entry(rows):
    """A 32-bit icon image: header, colour rows bottom-up, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def png_entry(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_icon(out, quarantine):
    images = [(size, png_entry(draw(size, quarantine)) if size >= 256 else dib_entry(draw(size, quarantine)))
              for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, data in images:
        side = 0 if size >= 256 else size
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset + len(body))
        body += data
    with open(out, "wb") as f:
        f.write(directory + body)
    print("wrote", out)


def main():
    write_icon(OUT, False)
    write_icon(OUT_QUARANTINE, True)


if __name__ == "__main__":
    main()
