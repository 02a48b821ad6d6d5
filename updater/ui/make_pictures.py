#!/usr/bin/env python3
"""Writes the updater window's pictures and the application icon.

    make_pictures.py OUT_FOLDER

Writes into OUT_FOLDER, the folder of the built program:
  background.png     320 x 235, 24-bit RGB: the window's diagonal gradient,
                     bilinear over the four corner colours below, so that each
                     corner pixel has its colour exactly
  logo.png           164 x 90, RGBA: an upward arrow in a ring beside three
                     bars of growing length, white and pale teal, transparent
                     elsewhere
  res/login_normal.png
                     76 x 36, RGBA: the button's single frame, a rounded teal
                     plate on which the caption sits 10 pixels above the bottom
  updater.ico        the application icon: the arrow in the ring on a rounded
                     gradient square, 16, 24, 32, 48 and 256 pixels

Every figure is a parameter below: change it and rebuild to regenerate.
"""

import os
import sys

from PIL import Image, ImageDraw

# Background: size and the colours of its corners (R, G, B).
BACKGROUND_SIZE = (320, 235)
UPPER_LEFT = (0x53, 0x3E, 0x79)
UPPER_RIGHT = (0x66, 0xA0, 0xAB)
LOWER_LEFT = (0x47, 0x00, 0x59)
LOWER_RIGHT = (0x5A, 0x62, 0x8B)

# Logo.
LOGO_SIZE = (164, 90)
LOGO_WHITE = (255, 255, 255, 255)
LOGO_TEAL = (0xA8, 0xE0, 0xE4, 255)

# Button picture: a plate in the done colour of the progress bar, a lighter rim.
BUTTON_SIZE = (76, 36)
BUTTON_FACE = (0x38, 0x68, 0x6A, 255)
BUTTON_RIM = (0x6F, 0xA9, 0xAC, 255)
BUTTON_RADIUS = 8

ICON_SIZES = (16, 24, 32, 48, 256)

# Shapes are drawn this many times larger and scaled down, for smooth edges.
OVERSAMPLE = 4


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def background():
    width, height = BACKGROUND_SIZE
    picture = Image.new("RGB", BACKGROUND_SIZE)
    pixels = picture.load()
    for y in range(height):
        v = y / (height - 1)
        left = lerp(UPPER_LEFT, LOWER_LEFT, v)
        right = lerp(UPPER_RIGHT, LOWER_RIGHT, v)
        for x in range(width):
            pixels[x, y] = tuple(round(c) for c in lerp(left, right, x / (width - 1)))
    return picture


def ring_and_arrow(draw, cx, cy, radius, colour, scale):
    """A ring of `radius` around (cx, cy) with an upward arrow inside it."""
    thickness = max(1, round(radius * 0.16))
    draw.ellipse((cx - radius, cy - radius, cx + radius, cy + radius), outline=colour, width=thickness)
    head = radius * 0.5
    top = cy - radius * 0.55
    draw.polygon([(cx, top), (cx + head, top + head), (cx - head, top + head)], fill=colour)
    shaft = radius * 0.16
    draw.rectangle((cx - shaft, top + head - scale, cx + shaft, cy + radius * 0.55), fill=colour)


def logo():
    s = OVERSAMPLE
    width, height = LOGO_SIZE
    big = Image.new("RGBA", (width * s, height * s), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    radius = 36 * s
    cx, cy = 44 * s, 45 * s
    ring_and_arrow(draw, cx, cy, radius, LOGO_WHITE, s)
    # Three bars, longer from top to bottom: progress towards the new version.
    bar_height = 12 * s
    left = 92 * s
    for row, length in enumerate((34, 50, 66)):
        top = (21 + row * 18) * s
        colour = LOGO_WHITE if row == 2 else LOGO_TEAL
        draw.rounded_rectangle((left, top, left + length * s, top + bar_height), radius=bar_height // 2, fill=colour)
    return big.resize(LOGO_SIZE, Image.LANCZOS)


def button():
    s = OVERSAMPLE
    width, height = BUTTON_SIZE
    big = Image.new("RGBA", (width * s, height * s), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    draw.rounded_rectangle((0, 0, width * s - 1, height * s - 1), radius=BUTTON_RADIUS * s, fill=BUTTON_FACE,
                           outline=BUTTON_RIM, width=s)
    return big.resize(BUTTON_SIZE, Image.LANCZOS)


def icon_image(size):
    s = OVERSAMPLE
    big = Image.new("RGBA", (size * s, size * s), (0, 0, 0, 0))
    gradient = background().resize((size * s, size * s), Image.BILINEAR).convert("RGBA")
    mask = Image.new("L", big.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, size * s - 1, size * s - 1), radius=size * s // 5, fill=255)
    big.paste(gradient, (0, 0), mask)
    draw = ImageDraw.Draw(big)
    c = size * s / 2
    ring_and_arrow(draw, c, c, size * s * 0.36, LOGO_WHITE, s)
    return big.resize((size, size), Image.LANCZOS)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    background().save(os.path.join(out, "background.png"))
    logo().save(os.path.join(out, "logo.png"))
    os.makedirs(os.path.join(out, "res"), exist_ok=True)
    button().save(os.path.join(out, "res", "login_normal.png"))
    largest = icon_image(max(ICON_SIZES))
    others = [icon_image(size) for size in ICON_SIZES if size != max(ICON_SIZES)]
    largest.save(os.path.join(out, "updater.ico"), sizes=[(s, s) for s in ICON_SIZES], append_images=others)


if __name__ == "__main__":
    main()
