#!/usr/bin/env python3
"""Writes the engine's style and texture files into resources/VAva.bundle/VAva3D.bundle.

The format of both is described in docs/engine-resources.md. Run again after changing a colour;
the output is the same byte for byte on every machine.
"""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(__file__), "..", "resources", "VAva.bundle", "VAva3D.bundle")

# Colour roles of a style, in the order the engine knows them.
BACKGROUND, LAND, WATER, LABEL = 0, 1, 2, 3

STYLES = {
    # standard (style types 0 and 1)
    "style_1_6_1437557915": {BACKGROUND: (243, 241, 236), LAND: (224, 232, 208),
                             WATER: (179, 206, 233), LABEL: (51, 51, 51)},
    # satellite (style type 2)
    "style_3_6_1434940538": {BACKGROUND: (46, 59, 42), LAND: (70, 86, 60),
                             WATER: (30, 50, 80), LABEL: (255, 255, 255)},
    # style type 3
    "style_4_6_1434940785": {BACKGROUND: (236, 236, 236), LAND: (214, 222, 204),
                             WATER: (170, 196, 224), LABEL: (40, 40, 40)},
    # night (style type 4)
    "style_5_6_1434940825": {BACKGROUND: (27, 34, 51), LAND: (38, 48, 70),
                             WATER: (20, 28, 45), LABEL: (200, 210, 230)},
    # style types 5 and 6
    "style_6_6_1435142215": {BACKGROUND: (250, 245, 230), LAND: (230, 236, 214),
                             WATER: (186, 210, 236), LABEL: (60, 60, 60)},
}

TEXTURES = [
    "icons_1_6_1437392382", "icons_2_6_1434795022", "icons_3_6_1435140626",
    "icons_4_6_1437480571", "bktile_1", "bktile_2", "roadarrow", "lineround", "dash", "dash_tq",
    "dash_cd", "tgl", "tgl_n", "tgl_l", "tyl", "tyl_n", "tyl_l", "trl", "trl_n", "trl_l", "tbl",
    "tbl_n", "tbl_l", "tnl", "tnl_n", "tnl_l", "1001_1", "1001_2", "1002_1", "1002_2", "1003_1",
    "1003_2", "1004_1", "1004_2", "1005_1", "1005_2", "1006_1", "1006_2", "1007_1", "1007_2",
    "1020_1", "1020_2", "3d_sky_1", "3d_sky_2",
]


def style_bytes(colours):
    table = b"VMST" + bytes([1, len(colours)])
    for role, (r, g, b) in sorted(colours.items()):
        table += bytes([role, 255, r, g, b])
    return zlib.compress(table, 9)


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(side, rgba):
    rows = b"".join(b"\x00" + bytes(rgba) * side for _ in range(side))
    header = struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(rows, 9)) + png_chunk(b"IEND", b""))


def texture_colour(index):
    # Distinct per type, so that a texture can be told from another by its bytes.
    return ((index * 53) % 256, (index * 97 + 40) % 256, (index * 151 + 80) % 256, 255)


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, colours in STYLES.items():
        with open(os.path.join(OUT, name + ".data"), "wb") as f:
            f.write(style_bytes(colours))
    for index, name in enumerate(TEXTURES):
        with open(os.path.join(OUT, name + ".data"), "wb") as f:
            f.write(png_bytes(8, texture_colour(index)))


if __name__ == "__main__":
    main()
