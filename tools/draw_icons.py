#!/usr/bin/env python3
"""Draws the configurator's tool-bar icons (simple glyphs) into radcfg/icons/,
each at 48x48 and at twice that ("NAME@2x.png", which Qt picks on a high-DPI
screen), and the application's icon also at the other sizes of the hicolor
theme ("app/radcfg-SIZE.png") for the desktop and the package. Run it again
after changing a shape; the PNGs are committed."""
import math
import os
import struct
import zlib

SIZE = 48
SUB = 4  # supersampling per axis
# The hicolor sizes beyond the 48 and 96 that the two scales give.
APP_SIZES = (16, 22, 24, 32, 64, 128, 256)


def png(path, pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(row) for row in pixels)
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def render(inside, colour, size=SIZE):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            hits = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    u = (x + (sx + 0.5) / SUB) / size * 2 - 1
                    v = (y + (sy + 0.5) / SUB) / size * 2 - 1
                    hits += 1 if inside(u, v) else 0
            row += list(colour) + [round(255 * hits / (SUB * SUB))]
        rows.append(row)
    return rows


def seg(u, v, ax, ay, bx, by, w):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((u - ax) * dx + (v - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(u - ax - t * dx, v - ay - t * dy) <= w


def ring(u, v, r, w):
    return abs(math.hypot(u, v) - r) <= w


def angle(u, v):
    return math.degrees(math.atan2(-v, u)) % 360


SHAPES = {
    "plug": lambda u, v: (abs(u) <= 0.42 and -0.15 <= v <= 0.35) or seg(u, v, -0.2, -0.15, -0.2, -0.7, 0.09)
    or seg(u, v, 0.2, -0.15, 0.2, -0.7, 0.09) or seg(u, v, 0, 0.35, 0, 0.85, 0.1),
    "power-off": lambda u, v: (ring(u, v, 0.62, 0.1) and not (60 < angle(u, v) < 120)) or seg(u, v, 0, -0.85, 0, -0.1, 0.1),
    "times": lambda u, v: seg(u, v, -0.6, -0.6, 0.6, 0.6, 0.13) or seg(u, v, -0.6, 0.6, 0.6, -0.6, 0.13),
    "cogs": lambda u, v: (math.hypot(u, v) <= 0.62 + (0.2 if math.cos(8 * math.atan2(v, u)) > 0.3 else 0))
    and math.hypot(u, v) >= 0.25,
    "stop": lambda u, v: abs(u) <= 0.6 and abs(v) <= 0.6,
    "play": lambda u, v: -0.5 <= u <= 0.7 and abs(v) <= (0.7 - u) * 0.6,
    "sync-alt": lambda u, v: (ring(u, v, 0.6, 0.1) and not (20 < angle(u, v) < 70 or 200 < angle(u, v) < 250))
    or seg(u, v, 0.62, -0.5, 0.62, -0.1, 0.1) or seg(u, v, -0.62, 0.5, -0.62, 0.1, 0.1),
    "check": lambda u, v: seg(u, v, -0.7, 0.0, -0.2, 0.5, 0.13) or seg(u, v, -0.2, 0.5, 0.7, -0.5, 0.13),
}

SATELLITE = lambda u, v: (abs(u) <= 0.22 and abs(v) <= 0.22) or (0.3 <= abs(u) <= 0.92 and abs(v) <= 0.16) \
    or seg(u, v, 0, -0.22, 0, -0.55, 0.05) or math.hypot(u, v + 0.62) <= 0.1

def both(path, shape, colour):
    png(path + ".png", render(shape, colour))
    png(path + "@2x.png", render(shape, colour, 2 * SIZE))


if __name__ == "__main__":
    here = os.path.join(os.path.dirname(__file__), "..", "radcfg", "icons")
    for name, shape in SHAPES.items():
        both(os.path.join(here, "fa", name + ".svg"), shape, (0x33, 0x4A, 0x5E))
    both(os.path.join(here, "radcfg"), SATELLITE, (0x1F, 0x6F, 0xB2))
    os.makedirs(os.path.join(here, "app"), exist_ok=True)
    for size in APP_SIZES:
        png(os.path.join(here, "app", "radcfg-%d.png" % size), render(SATELLITE, (0x1F, 0x6F, 0xB2), size))
