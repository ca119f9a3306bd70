#!/usr/bin/env python3
"""Writes the icon and cursor files of Quorvane.rc from the pictures in Resources.cpp, so that
both platforms show the same pictures. Run after changing a picture there."""
import re
import struct
import sys
from pathlib import Path

here = Path(__file__).resolve().parent
source = (here / "Resources.cpp").read_text(encoding="utf-8")
palettes = dict(re.findall(r'const char\* const (k\w+Palette) = "([^"]*)";', source))


def images(kind):
    # {ID, w, h, hotX, hotY, kPalette, { "row", ... }}
    pattern = re.compile(r'\{(ID\w+), (\d+), (\d+), (\d+), (\d+), (k\w+Palette), \{\s*((?:"[^"]*",?\s*)+)\}\}')
    block = source[source.index("t.%s = {" % kind):]
    block = block[: block.index("};")]
    for m in pattern.finditer(block):
        rows = re.findall(r'"([^"]*)"', m.group(7))
        yield m.group(1), int(m.group(2)), int(m.group(3)), int(m.group(4)), int(m.group(5)), palettes[m.group(6)], rows


def colours(palette):
    out = {}
    for entry in palette.split():
        out[entry[0]] = tuple(int(entry[2 + 2 * i: 4 + 2 * i], 16) for i in range(3))
    return out


def icon_file(width, height, rows, palette, cursor=False, hot=(0, 0)):
    table = colours(palette)
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((width + 31) // 32) * 4
    for y in reversed(range(height)):  # bottom-up
        row = rows[y] if y < len(rows) else ""
        bits = bytearray(mask_stride)
        for x in range(width):
            ch = row[x] if x < len(row) else "."
            if ch in table:
                r, g, b = table[ch]
                xor += bytes((b, g, r, 255))
            else:
                xor += bytes((0, 0, 0, 0))
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    kind = 2 if cursor else 1
    planes, bits = (hot[0], hot[1]) if cursor else (1, 32)
    directory = struct.pack("<HHH", 0, kind, 1) + struct.pack(
        "<BBBBHHII", width % 256, height % 256, 0, 0, planes, bits, len(image), 22)
    return directory + image


names = {"IDI_MAIN": "quorvane.ico", "IDI_SMALL": "small.ico",
         "IDC_LINK_CURSOR": "link.cur", "IDC_GAME_CURSOR": "game.cur"}
for kind in ("icons", "cursors"):
    for ident, w, h, hx, hy, palette, rows in images(kind):
        data = icon_file(w, h, rows, palette, kind == "cursors", (hx, hy))
        (here / names[ident]).write_bytes(data)
        print("wrote", names[ident], len(data), "bytes", file=sys.stderr)
