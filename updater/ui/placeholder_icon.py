#!/usr/bin/env python3
"""Writes the updater's placeholder application icon (16 x 16 and 32 x 32, 32-bit).

    placeholder_icon.py OUT.ico

A rounded square with the window's diagonal gradient (dark purple at the lower
left to teal at the upper right) and a white upward arrow. Standard library only.
"""

import struct
import sys

LOWER_LEFT = (0x47, 0x00, 0x59)
UPPER_RIGHT = (0x66, 0xA0, 0xAB)


def pixel(x, y, size):
    """BGRA of one pixel; y counts from the top."""
    corner = size // 5
    # Rounded corners: farther than `corner` from the inner square is outside.
    cx = min(max(x, corner), size - 1 - corner)
    cy = min(max(y, corner), size - 1 - corner)
    if (x - cx) ** 2 + (y - cy) ** 2 > corner ** 2:
        return (0, 0, 0, 0)
    # The arrow: a triangle head over a shaft, centred.
    mid = (size - 1) / 2
    head_top, head_bottom = size * 0.2, size * 0.55
    if head_top <= y <= head_bottom and abs(x - mid) <= (y - head_top) * 0.9:
        return (255, 255, 255, 255)
    if head_bottom < y <= size * 0.8 and abs(x - mid) <= size * 0.12:
        return (255, 255, 255, 255)
    t = (x + (size - 1 - y)) / (2 * (size - 1))
    r, g, b = (round(a + (c - a) * t) for a, c in zip(LOWER_LEFT, UPPER_RIGHT))
    return (b, g, r, 255)


def image(size):
    """One icon image: a bottom-up 32-bit DIB and its (unused) AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            rows += bytes(pixel(x, y, size))
    mask_row = ((size + 31) // 32) * 4
    return header + bytes(rows) + bytes(mask_row * size)


def main():
    sizes = (16, 32)
    images = [image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
