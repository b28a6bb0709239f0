#!/usr/bin/env python3
"""Draws the GUI's two pictures and writes them under src/gui/resources/.

- icon 128 (firmhand-128.png): the window and desktop icon, 128 x 128 RGBA;
- GIF 130 (busy-130.gif): the busy animation, 32 x 32, 12 frames of 50 ms,
  disposal "leave in place", looping for ever.

Only the standard library is used (zlib for PNG, an LZW coder for GIF), so
the output is the same on every machine. Run it again after changing it and
commit the results.
"""
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "src", "gui", "resources")


# ---------------------------------------------------------------- PNG icon --

def write_png(path, width, height, rgba_rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def icon_colour(x, y):
    """Colour (r, g, b, a) of the icon at a point of the 128 x 128 square."""
    # Arrow: the upgrade sign, over everything else.
    if 78 <= y <= 118 and 84 <= x <= 104 and y >= 96:
        return (46, 160, 67, 255)
    if 74 <= y < 96 and abs(x - 94) <= (y - 74) * 1.0 + 1 and abs(x - 94) <= 23:
        return (46, 160, 67, 255)
    # Camera lens rings.
    d = math.hypot(x - 56, y - 62)
    if d <= 9:
        return (30, 60, 110, 255)
    if d <= 15:
        return (235, 240, 248, 255)
    if d <= 21:
        return (30, 60, 110, 255)
    # Camera body and viewfinder bump.
    if inside_round_rect(x, y, 18, 38, 94, 88, 8):
        return (235, 240, 248, 255)
    if inside_round_rect(x, y, 30, 28, 54, 42, 3):
        return (235, 240, 248, 255)
    # Blue tile.
    if inside_round_rect(x, y, 4, 4, 123, 123, 22):
        return (28, 92, 170, 255)
    return (0, 0, 0, 0)


def make_icon(path):
    size, ss = 128, 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(ss):
                for sx in range(ss):
                    c = icon_colour(x + (sx + 0.5) / ss, y + (sy + 0.5) / ss)
                    # Premultiply so that edges blend with transparency.
                    acc[0] += c[0] * c[3]
                    acc[1] += c[1] * c[3]
                    acc[2] += c[2] * c[3]
                    acc[3] += c[3]
            a = acc[3]
            if a == 0:
                row += [0, 0, 0, 0]
            else:
                row += [acc[0] // a, acc[1] // a, acc[2] // a, a // (ss * ss)]
        rows.append(row)
    write_png(path, size, size, rows)


# ------------------------------------------------------------ GIF animation --

def lzw_encode(indices, min_code_size):
    """Standard GIF LZW: variable-width codes, packed LSB first."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buf = 0
    bit_count = 0

    def emit(code, width):
        nonlocal bit_buf, bit_count
        bit_buf |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bit_buf & 0xFF)
            bit_buf >>= 8
            bit_count -= 8

    table = {(i,): i for i in range(clear)}
    next_code = end + 1
    width = min_code_size + 1
    emit(clear, width)
    prefix = ()
    for pixel in indices:
        candidate = prefix + (pixel,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix], width)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table = {(i,): i for i in range(clear)}
            next_code = end + 1
            width = min_code_size + 1
        prefix = (pixel,)
    if prefix:
        emit(table[prefix], width)
    emit(end, width)
    if bit_count:
        out.append(bit_buf & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        out.append(len(part))
        out += part
    out.append(0)
    return bytes(out)


def make_busy_gif(path):
    size, frames, dots = 32, 12, 12
    # Palette: 0 transparent, 1..12 shades from the head (dark) to the tail.
    palette = [(255, 255, 255)]
    for k in range(dots):
        t = k / (dots - 1)
        palette.append((int(28 + t * (205 - 28)), int(92 + t * (215 - 92)), int(170 + t * (232 - 170))))
    while len(palette) < 16:
        palette.append((0, 0, 0))

    centres = []
    for k in range(dots):
        angle = 2 * math.pi * k / dots - math.pi / 2
        centres.append((15.5 + 11.5 * math.cos(angle), 15.5 + 11.5 * math.sin(angle)))

    gif = bytearray(b"GIF89a")
    # Screen: 32 x 32, global table of 16 colours (size field 3), background 0.
    gif += struct.pack("<HHBBB", size, size, 0x80 | 0x70 | 0x03, 0, 0)
    for r, g, b in palette:
        gif += bytes((r, g, b))
    # Loop for ever.
    gif += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for f in range(frames):
        pixels = []
        for y in range(size):
            for x in range(size):
                index = 0
                for k, (cx, cy) in enumerate(centres):
                    if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= 2.4 ** 2:
                        # Distance behind the head, which moves clockwise.
                        index = 1 + (f - k) % dots
                        break
                pixels.append(index)
        # Graphic control: disposal 1 (leave), transparent index 0, delay 5.
        gif += b"\x21\xF9\x04" + bytes((0x04 | 0x01,)) + struct.pack("<H", 5) + b"\x00\x00"
        gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, size, size, 0)
        gif += b"\x04" + sub_blocks(lzw_encode(pixels, 4))
    gif += b"\x3B"
    with open(path, "wb") as f:
        f.write(gif)


def main():
    os.makedirs(OUT, exist_ok=True)
    make_icon(os.path.join(OUT, "firmhand-128.png"))
    make_busy_gif(os.path.join(OUT, "busy-130.gif"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
