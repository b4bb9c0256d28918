#!/usr/bin/env python3
"""Draws the About window's two pictures as 16-colour BMPs.

aboutart.bmp: a 640 x 360 scene (the window shows its top-left 529 x 281):
a dark backdrop, a framed landscape "photograph" and the product's name,
edition and version. aboutlogo.bmp: the 153 x 33 wordmark. Each is drawn
again for 125%, 150% and 200% (aboutart_125.bmp and so on), at the sizes times
the scale, with the text set at the larger point size.

Needs python3 and ImageMagick's convert (text only). Run from anywhere:
    python3 resources/art/about_pictures.py
"""
import math
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)
FONT_DIR = "/usr/share/fonts/truetype/dejavu/"
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# The standard 16-colour palette.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255),
    (255, 255, 255),
]
BLACK, NAVY, TEAL, SILVER, GREY, RED, YELLOW, BLUE, AQUA, WHITE = 0, 4, 6, 7, 8, 9, 11, 12, 14, 15


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.rgb = [[(0.0, 0.0, 0.0)] * w for _ in range(h)]
        self.fixed = [[None] * w for _ in range(h)]   # palette index set exactly (text, lines)
        self.photo = [[False] * w for _ in range(h)]   # error diffusion here, ordered dithering elsewhere

    def paint(self, x0, y0, x1, y1, colour_at):
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.rgb[y]
            for x in range(max(0, x0), min(self.w, x1)):
                c = colour_at(x, y)
                if c is not None:
                    row[x] = c
                    self.fixed[y][x] = None

    def solid(self, x0, y0, x1, y1, index):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.fixed[y][x] = index

    def text(self, x, y, text, size, index, font="DejaVuSans-Bold.ttf", shadow=None, offset=2):
        mask, mw, mh = render_text(text, size, font)
        for dy in range(mh):
            for dx in range(mw):
                if mask[dy * mw + dx] >= 110:
                    if shadow is not None:
                        px, py = x + dx + offset, y + dy + offset
                        if 0 <= px < self.w and 0 <= py < self.h and self.fixed[py][px] is None:
                            self.fixed[py][px] = shadow
        for dy in range(mh):
            for dx in range(mw):
                if mask[dy * mw + dx] >= 110:
                    px, py = x + dx, y + dy
                    if 0 <= px < self.w and 0 <= py < self.h:
                        self.fixed[py][px] = index
        return mw, mh

    def quantise(self):
        """Onto the palette: Floyd-Steinberg in the photograph, a 4x4 Bayer
        pattern elsewhere (calmer on smooth gradients); exact pixels kept."""
        bayer = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
        err = [[0.0, 0.0, 0.0] for _ in range(self.w + 2)]
        out = []
        for y in range(self.h):
            nxt = [[0.0, 0.0, 0.0] for _ in range(self.w + 2)]
            row = []
            for x in range(self.w):
                if self.fixed[y][x] is not None:
                    row.append(self.fixed[y][x])
                    continue
                if not self.photo[y][x]:
                    d = (bayer[y % 4][x % 4] + 0.5) / 16 - 0.5
                    r, g, b = (min(255.0, max(0.0, v + d * 128)) for v in self.rgb[y][x])
                    row.append(nearest(r, g, b))
                    continue
                r, g, b = (self.rgb[y][x][i] + err[x + 1][i] for i in range(3))
                best = nearest(r, g, b)
                row.append(best)
                e = (r - PALETTE[best][0], g - PALETTE[best][1], b - PALETTE[best][2])
                for i in range(3):
                    err[x + 2][i] += e[i] * 7 / 16
                    nxt[x][i] += e[i] * 3 / 16
                    nxt[x + 1][i] += e[i] * 5 / 16
                    nxt[x + 2][i] += e[i] * 1 / 16
            err = nxt
            out.append(row)
        return out


def nearest(r, g, b):
    return min(range(16), key=lambda i: (PALETTE[i][0] - r) ** 2 * 3 + (PALETTE[i][1] - g) ** 2 * 4
               + (PALETTE[i][2] - b) ** 2 * 2)


def render_text(text, size, font):
    data = subprocess.run([CONVERT, "-background", "black", "-fill", "white", "-font", FONT_DIR + font,
                           "-pointsize", str(size), "label:" + text, "-depth", "8", "pgm:-"],
                          check=True, capture_output=True).stdout
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    return parts[4][-w * h:], w, h


def write_bmp4(path, pixels):
    h, w = len(pixels), len(pixels[0])
    stride = ((w + 1) // 2 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for x in range(0, w, 2):
            hi = row[x]
            lo = row[x + 1] if x + 1 < w else 0
            line.append((hi << 4) | lo)
        line.extend(b"\0" * (stride - len(line)))
        body.extend(line)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(body), 2835, 2835, 16, 16)
    with open(path, "wb") as f:
        f.write(header + info + palette + body)


def edge(v, s):
    """A length of the 100% drawing at scale s, to the nearest pixel."""
    return int(math.floor(v * s + 0.5))


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def landscape(c, x0, y0, w, h, s):
    """A lake among hills under an evening sky, in a white photo frame."""
    horizon = y0 + int(h * 0.58)
    sun_x, sun_y, sun_r = x0 + int(w * 0.68), y0 + int(h * 0.34), h * 0.11

    def far_hill(x):
        return y0 + h * 0.42 + math.sin((x - x0) / w * 5.1 + 0.7) * h * 0.06 + math.sin((x - x0) / w * 13) * h * 0.015

    def near_hill(x):
        return y0 + h * 0.50 + math.sin((x - x0) / w * 3.3 + 2.2) * h * 0.07

    def colour_at(x, y):
        if y < horizon:
            if y >= near_hill(x):
                return lerp((20, 70, 30), (10, 40, 20), (y - near_hill(x)) / (h * 0.2))
            if y >= far_hill(x):
                return lerp((60, 90, 120), (40, 70, 90), (y - far_hill(x)) / (h * 0.2))
            d = math.hypot(x - sun_x, y - sun_y)
            if d < sun_r:
                return (255, 240, 150)
            t = (y - y0) / (horizon - y0)
            sky = lerp((40, 80, 190), (250, 190, 120), t ** 1.4)
            glow = max(0.0, 1 - (d - sun_r) / (h * 0.45))
            return lerp(sky, (255, 220, 140), glow * 0.5)
        # Water: the sky mirrored, darker, with a trail of sunlight.
        my = 2 * horizon - y
        t = max(0.0, min(1.0, (my - y0) / (horizon - y0)))
        water = lerp((20, 50, 140), (170, 130, 110), t ** 1.4)
        ripple = 0.5 + 0.5 * math.sin(y / s * 1.7 + math.sin(x / s * 0.15) * 2)
        if abs(x - sun_x) < sun_r * (1.2 - (y - horizon) / h) and ripple > 0.55:
            return (240, 220, 150)
        return lerp(water, (0, 20, 60), (y - horizon) / (h - (horizon - y0)) * 0.6)

    m, g = edge(4, s), edge(1, s)
    c.solid(x0 - m, y0 - m, x0 + w + m, y0 + h + m, WHITE)
    c.solid(x0 - g, y0 - g, x0 + w + g, y0 + h + g, GREY)
    c.paint(x0, y0, x0 + w, y0 + h, colour_at)
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            c.photo[y][x] = True
    d = edge(6, s)
    c.solid(x0 - m + d, y0 + h + m, x0 + w + m + d, y0 + h + edge(10, s), BLACK)   # shadow under the frame


def about_art(s):
    def e(v):
        return edge(v, s)

    w, h = e(640), e(360)
    c = Canvas(w, h)
    c.paint(0, 0, w, h, lambda x, y: lerp((0, 0, 0), (10, 20, 95), min(1.0, (y / h) ** 1.3 + x / w * 0.25)))
    # A band across the top for the definitions date the window writes there.
    c.solid(0, 0, w, e(32), BLACK)
    c.solid(0, e(32), w, e(33), TEAL)
    landscape(c, e(22), e(58), e(210), e(150), s)
    x = 260
    c.text(e(x), e(56), "Quendix", 46 * s, WHITE, shadow=NAVY, offset=e(2))
    c.text(e(x + 3), e(112), "Professional", 26 * s, AQUA)
    c.solid(e(x + 3), e(150), e(x + 3 + 250), e(152), YELLOW)
    c.text(e(x + 3), e(160), "Shareware Edition", 15 * s, SILVER)
    c.text(e(x + 3), e(184), "Version 2.5", 19 * s, YELLOW)
    c.text(e(22), e(226), "Anti-virus protection for Windows", 11 * s, SILVER)
    return c.quantise()


def about_logo(s):
    def e(v):
        return edge(v, s)

    w, h = e(153), e(33)
    c = Canvas(w, h)
    c.solid(0, 0, w, h, BLACK)
    # A shield with a check mark.
    cx, top, sw, sh = 16 * s, e(3), 22 * s, 27 * s

    def shield(x, y):
        t = (y - top) / sh
        half = sw / 2 * (1 if t < 0.45 else max(0.0, 1 - (t - 0.45) / 0.55) ** 0.8)
        return abs(x + 0.5 - cx) <= half

    rim = e(2)
    for y in range(top, top + e(27)):
        for x in range(int(cx - sw / 2) - 1, int(cx + sw / 2) + 2):
            if shield(x, y):
                inner = shield(x - rim, y) and shield(x + rim, y) and shield(x, y + rim) and y > top + e(1)
                c.fixed[y][x] = RED if inner else WHITE
    if s == 1:
        for i in range(7):
            for t in (0, 1):
                c.fixed[14 + i + t][9 + i] = WHITE
        for i in range(10):
            for t in (0, 1):
                c.fixed[20 - i + t][15 + i] = WHITE
    else:
        # The same tick, drawn from its centre line at the larger size.
        tick = [(9.5, 15.0), (15.5, 21.0), (24.5, 12.0)]
        for y in range(h):
            for x in range(w):
                px, py = (x + 0.5) / s, (y + 0.5) / s
                for (ax, ay), (bx, by) in zip(tick, tick[1:]):
                    dx, dy = bx - ax, by - ay
                    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
                    if math.hypot(px - ax - t * dx, py - ay - t * dy) <= 0.8:
                        c.fixed[y][x] = WHITE
    c.text(e(34), e(-1), "QUENDIX", 21 * s, WHITE)
    c.text(e(36), e(20), "ANTI-VIRUS", 10 * s, AQUA, font="DejaVuSans.ttf")
    return [row[:w] for row in c.quantise()[:h]]


if __name__ == "__main__":
    for scale, suffix in [(1, ""), (1.25, "_125"), (1.5, "_150"), (2, "_200")]:
        write_bmp4(os.path.join(OUT, "aboutart" + suffix + ".bmp"), about_art(scale))
        write_bmp4(os.path.join(OUT, "aboutlogo" + suffix + ".bmp"), about_logo(scale))
