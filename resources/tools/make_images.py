#!/usr/bin/env python3
"""Makes the five background pictures of resources/Images (24-bit BMP, standard library only).

Run from anywhere:  python3 resources/tools/make_images.py
The pictures are stretched over tool bars and tree rows, so each is a small vertical gradient:
light enough for black text, the two item rows alternating gently, sub-items slightly tinted.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zvdraw import write_bmp24  # noqa: E402

IMAGES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "Images")

# name: (width, height, top colour, bottom colour)
PICTURES = {
    "toolsbarBackground.bmp": (16, 64, (0xFB, 0xFC, 0xFE), (0xDD, 0xE4, 0xEE)),
    "searchbarBackground.bmp": (16, 64, (0xE2, 0xE8, 0xF0), (0xF8, 0xF9, 0xFB)),
    "groupBackground.bmp": (16, 64, (0xF1, 0xF6, 0xFC), (0xE7, 0xEF, 0xF9)),
    "itemBackground0.bmp": (16, 64, (0xFF, 0xFF, 0xFF), (0xF7, 0xF8, 0xFA)),
    "itemBackground1.bmp": (16, 64, (0xF5, 0xF6, 0xF8), (0xEC, 0xEE, 0xF2)),
}


def gradient(height, top, bottom):
    def pixel(x, y):
        t = y / (height - 1)
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return pixel


def main():
    os.makedirs(IMAGES, exist_ok=True)
    for name, (w, h, top, bottom) in PICTURES.items():
        write_bmp24(os.path.join(IMAGES, name), w, h, gradient(h, top, bottom))
    print(f"{len(PICTURES)} background pictures written to {IMAGES}")


if __name__ == "__main__":
    main()
