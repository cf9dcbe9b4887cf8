#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the ZEP4 logo bitmaps (40 x 40, 24-bit BMP) into src/branding/assets/, and the
desktop icon (the first logo's mark on a rounded tile, PNG with alpha) in the sizes of the
hicolor icon theme into data/icons/.

The mark is a ring with a bold "Z" inside and two small dots for the channels A and B,
drawn with 4 x 4 supersampling so the edges are smooth on the band colour.
Run from anywhere: python3 scripts/make_logo.py
"""
import math
import os
import struct
import zlib

SIZE = 40
SS = 4  # supersampling per axis

# Each brand row with a logo has its own file: (name, background, foreground)
LOGOS = [
    ("zep4logo2.bmp", 0x0080FF, 0xFFFFFF),
    ("zep4logo3.bmp", 0xFFFFFF, 0x0080FF),
    ("zep4logo4.bmp", 0x0080FF, 0xFFFFFF),
    ("zep4logo6.bmp", 0xFFFFFF, 0x808080),
]

ICON_NAME = "kvex-zep4.png"
ICON_SIZES = (48, 64, 128)
ICON_TILE, ICON_MARK = 0x0080FF, 0xFFFFFF  # the colours of zep4logo2.bmp
ICON_CORNER = 0.18  # corner radius of the tile, as a share of its side


def inside_mark(x, y):
    """True where the mark covers the point (x, y) in pixel units, origin top-left."""
    cx = cy = SIZE / 2.0
    r = math.hypot(x - cx, y - cy)
    if 16.0 <= r <= 19.0:  # ring
        return True
    # "Z": top bar, bottom bar, diagonal
    if 10.0 <= x <= 30.0 and (11.0 <= y <= 15.0 or 25.0 <= y <= 29.0):
        return True
    if 11.0 <= y <= 29.0:
        # diagonal from (30, 15) down to (10, 25); 4.5 px thick measured across the bar
        dx, dy = 10.0 - 30.0, 25.0 - 15.0
        t = ((x - 30.0) * dx + (y - 15.0) * dy) / (dx * dx + dy * dy)
        if 0.0 <= t <= 1.0:
            px, py = 30.0 + t * dx, 15.0 + t * dy
            if math.hypot(x - px, y - py) <= 2.6:
                return True
    # channel dots, left and right of the "Z" inside the ring
    for dx in (7.0, 33.0):
        if math.hypot(x - dx, y - cy) <= 1.8:
            return True
    return False


def blend(bg, fg, a):
    out = 0
    for shift in (16, 8, 0):
        b = (bg >> shift) & 0xFF
        f = (fg >> shift) & 0xFF
        out |= int(round(b + (f - b) * a)) << shift
    return out


def render(bg, fg):
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            hits = 0
            for sy in range(SS):
                for sx in range(SS):
                    if inside_mark(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                        hits += 1
            row.append(blend(bg, fg, hits / (SS * SS)))
        rows.append(row)
    return rows


def inside_tile(x, y, size):
    """True where the rounded tile of side `size` covers the point (x, y)."""
    r = ICON_CORNER * size
    cx = min(max(x, r), size - r)
    cy = min(max(y, r), size - r)
    return 0 <= x <= size and 0 <= y <= size and math.hypot(x - cx, y - cy) <= r


def render_icon(size):
    """Rows of (rgb, alpha): the mark scaled from its 40-pixel design onto the tile."""
    scale = SIZE / size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            tile = mark = 0
            for sy in range(SS):
                for sx in range(SS):
                    px, py = x + (sx + 0.5) / SS, y + (sy + 0.5) / SS
                    if inside_tile(px, py, size):
                        tile += 1
                        if inside_mark(px * scale, py * scale):
                            mark += 1
            alpha = tile / (SS * SS)
            colour = blend(ICON_TILE, ICON_MARK, mark / tile) if tile else 0
            row.append((colour, int(round(alpha * 255))))
        rows.append(row)
    return rows


def png_bytes(rows):
    h = len(rows)
    w = len(rows[0])
    raw = bytearray()
    for row in rows:
        raw += b"\0"  # filter: none
        for rgb, a in row:
            raw += bytes(((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def bmp_bytes(rows):
    h = len(rows)
    w = len(rows[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # BMP rows run bottom-up
        line = bytearray()
        for rgb in row:
            line += bytes(((rgb) & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF))
        line += b"\0" * (stride - len(line))
        pixels += line
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return file_header + info_header + bytes(pixels)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = os.path.join(root, "src", "branding", "assets")
    os.makedirs(out_dir, exist_ok=True)
    for name, bg, fg in LOGOS:
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(bmp_bytes(render(bg, fg)))
        print("wrote", os.path.join(out_dir, name))
    for size in ICON_SIZES:
        icon_dir = os.path.join(root, "data", "icons", "%dx%d" % (size, size))
        os.makedirs(icon_dir, exist_ok=True)
        with open(os.path.join(icon_dir, ICON_NAME), "wb") as f:
            f.write(png_bytes(render_icon(size)))
        print("wrote", os.path.join(icon_dir, ICON_NAME))


if __name__ == "__main__":
    main()
