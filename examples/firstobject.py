#!/usr/bin/env python3
"""Draws the art of examples/firstobject.omk into a folder (standard library only):

    python3 examples/firstobject.py <folder>

lamp.tga and lamp.bmp: a sprite of four views (one sheet row of 4 columns);
ball.tga and ball.bmp: a sprite of one view (1 column, symmetry radial).
Each TGA is 32-bit, its alpha channel the depth (255: nothing there); the 8-bit BMP of the
same name holds the colour indices and the palette.
"""
import struct
import sys

SIZES = (64, 32, 16)  # cell sizes of <sizes>: lwidth = lheight = 64, mwidth = mheight = 32, ...
PALETTE = [(0, 0, 255), (220, 40, 40), (40, 170, 40), (230, 200, 60), (60, 60, 220)]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))  # index 0 is the background


def draw(columns):
    """One sheet row: for each view (column) a disc of colour 1 + view in its large, medium
    and small cell. The large cells come first, then the medium ones, then the small ones."""
    width, height = columns * sum(SIZES), SIZES[0]
    index = [[0] * width for _ in range(height)]
    depth = [[255] * width for _ in range(height)]
    left = 0
    for size in SIZES:
        for view in range(columns):
            radius = size * 0.4
            for y in range(size):
                for x in range(size):
                    dx, dy = x + 0.5 - size / 2, y + 0.5 - size / 2
                    if dx * dx + dy * dy <= radius * radius:
                        index[y][left + view * size + x] = 1 + view
                        depth[y][left + view * size + x] = int(120 + 100 * dy / radius)
        left += columns * size
    return index, depth


def write_tga(path, index, depth):
    width, height = len(index[0]), len(index)
    # Uncompressed true colour, 32 bits, 8 alpha bits, rows stored top first (0x28).
    data = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 0x28)
    for row, zrow in zip(index, depth):
        for i, z in zip(row, zrow):
            r, g, b = PALETTE[i]
            data += bytes((b, g, r, z))
    open(path, "wb").write(data)


def write_bmp(path, index):
    width, height = len(index[0]), len(index)
    stride = (width + 3) & ~3
    offset = 14 + 40 + 256 * 4
    data = b"BM" + struct.pack("<IHHI", offset + stride * height, 0, 0, offset)
    data += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, stride * height, 0, 0, 256, 0)
    data += b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    for row in reversed(index):  # bottom row first
        data += bytes(row) + bytes(stride - width)
    open(path, "wb").write(data)


if __name__ == "__main__":
    folder = sys.argv[1]
    for name, columns in (("lamp", 4), ("ball", 1)):
        index, depth = draw(columns)
        write_tga(f"{folder}/{name}.tga", index, depth)
        write_bmp(f"{folder}/{name}.bmp", index)
