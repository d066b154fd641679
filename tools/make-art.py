#!/usr/bin/env python3
"""Makes the installer's pictures in app/res: the banner (banner.jpg, 225 x 80 JPEG), the window
icon (formicon.ico, 32 x 32, 16 colours with mask: a computer beside a software box) and the
application icon (mainicon.ico, 32 x 32, 32 bits with alpha: a kestrel's head on a dark red disc).
Needs Python 3 and ImageMagick's convert (for the JPEG). Run again to remake them:
    python3 tools/make-art.py
"""
import math
import os
import struct
import subprocess
import sys
import tempfile

RES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app", "res")
COLOUR_KEY = (0, 128, 128)  # the window's transparent colour: no picture may use it

DARK_RED = (128, 0, 0)
DARK_GREY = (64, 64, 64)
BLUE = (0, 64, 160)


# --- icons -----------------------------------------------------------------------------------

def ico(images):
    """images: list of (width, height, bitcount, palette, xor_rows_bottom_up, and_rows_bottom_up)."""
    head = struct.pack("<HHH", 0, 1, len(images))
    blobs = []
    for w, h, bits, palette, xor, mask in images:
        bih = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, len(xor) + len(mask), 0, 0,
                          len(palette) // 4 if palette else 0, 0)
        blobs.append(bih + palette + xor + mask)
    offset = 6 + 16 * len(images)
    entries = b""
    for (w, h, bits, palette, _, _), blob in zip(images, blobs):
        colours = 16 if bits == 4 else 0
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, colours, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    return head + entries + b"".join(blobs)


def and_mask(opaque, w, h):
    stride = ((w + 31) // 32) * 4
    out = b""
    for y in reversed(range(h)):
        row = bytearray(stride)
        for x in range(w):
            if not opaque[y][x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += bytes(row)
    return out


# The 16 colours of the classic palette (index 3, the colour key, is never drawn).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

FORM_ICON = [  # . transparent; k black; g dark grey; s silver; w white; b navy; B blue;
               # r maroon; R red; y yellow
    "................................",
    "................................",
    "..kkkkkkkkkkkkkkkkkk............",
    "..kssssssssssssssssk............",
    "..kskkkkkkkkkkkkkksk............",
    "..kskbbbbbbbbbbbbksk............",
    "..kskbBBBBBBBBBBbksk............",
    "..kskbBwwwwBBBBBbksk....kkkkkkk.",
    "..kskbBBBBBBBBBBbksk...krrrrrrkk",
    "..kskbBwwwwwwBBBbksk..krrrrrrkRk",
    "..kskbBBBBBBBBBBbksk.kkkkkkkkRRk",
    "..kskbBwwwBBBBBBbksk.kyyyyyykRRk",
    "..kskbBBBBBBBBBBbksk.kyrrrryyRRk",
    "..kskbbbbbbbbbbbbksk.kyrwwryyRRk",
    "..kskkkkkkkkkkkkkksk.kyrwwryyRRk",
    "..kssssssssssssssssk.kyrrrryyRRk",
    "..ksssssssssssssgRsk.kyyyyyykRRk",
    "..kkkkkkkkkkkkkkkkkk.kyyyyyykRRk",
    "........kssssk.......kyykkyykRRk",
    "........kssssk.......kyyyyyykRRk",
    "......kkkkkkkkkk.....kyyyyyykRk.",
    ".....kssssssssssk....kyyyyyykk..",
    "....kssssssssssssk...kkkkkkkk...",
    "...kkkkkkkkkkkkkkkk.............",
    "...ksgsgsgsgsgsgsgsk............",
    "...kgsgsgsgsgsgsgsgk............",
    "...kkkkkkkkkkkkkkkkk............",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
]
FORM_KEYS = {"k": 0, "r": 1, "s": 7, "g": 8, "b": 4, "B": 12, "w": 15, "R": 9, "y": 11}


def form_icon():
    w = h = 32
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    opaque = [[c != "." for c in row] for row in FORM_ICON]
    xor = b""
    for y in reversed(range(h)):
        row = bytearray(16)
        for x in range(w):
            c = FORM_ICON[y][x]
            idx = FORM_KEYS.get(c, 0)
            assert VGA[idx] != COLOUR_KEY
            row[x // 2] |= idx << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
    return ico([(w, h, 4, palette, xor, and_mask(opaque, w, h))])


def coverage(inside, x, y, n=4):
    hits = 0
    for i in range(n):
        for j in range(n):
            if inside(x + (i + 0.5) / n, y + (j + 0.5) / n):
                hits += 1
    return hits / (n * n)


def kestrel_head(px, py):
    """A stylised falcon's head looking left, in a 32 x 32 frame."""
    cx, cy = px - 16, py - 16
    head = (cx / 8.5) ** 2 + ((cy + 1) / 9.5) ** 2 <= 1
    beak = -13 <= cx <= -6 and -3 <= cy <= 3 and cy >= (cx + 6) * 0.45 - 2 and cy <= -(cx + 13) * 0.6 + 3
    return head or beak


def mark(px, py):
    """The dark 'moustache' stripe below the eye and the eye itself."""
    cx, cy = px - 16, py - 16
    eye = (cx + 3) ** 2 + (cy + 3) ** 2 <= 3.2
    stripe = -4 <= cx <= -1 and -1 <= cy <= 6 and abs(cx + 2.5 - (cy - 1) * 0.1) <= 1.3
    return eye or stripe


def main_icon():
    w = h = 32
    disc = lambda x, y: (x - 16) ** 2 + (y - 16) ** 2 <= 15.5 ** 2
    xor = b""
    opaque = [[False] * w for _ in range(h)]
    pixels = {}
    for y in range(h):
        for x in range(w):
            a = coverage(disc, x, y)
            white = coverage(kestrel_head, x, y)
            dark = coverage(mark, x, y)
            r, g, b = DARK_RED
            r, g, b = [v * (1 - white) + 248 * white for v in (r, g, b)]
            r, g, b = [v * (1 - dark) + 40 * dark for v in (r, g, b)]
            pixels[(x, y)] = (int(round(r)), int(round(g)), int(round(b)), int(round(255 * a)))
            opaque[y][x] = a > 0
    for y in reversed(range(h)):
        for x in range(w):
            r, g, b, a = pixels[(x, y)]
            xor += struct.pack("<BBBB", b, g, r, a)
    return ico([(w, h, 32, b"", xor, and_mask(opaque, w, h))])


# --- banner ----------------------------------------------------------------------------------

def banner(path):
    """225 x 80 on white: the emblem, the name in dark red, a blue rule and a grey line of text.
    The window shows the top 60 rows only, so everything that matters lies there."""
    def rgb(c):
        return "rgb(%d,%d,%d)" % c
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "banner.png")
        subprocess.run([
            "convert", "-size", "225x80", "xc:white",
            "-fill", rgb(DARK_RED), "-draw", "circle 28,29 28,6",
            "-fill", "white", "-draw", "ellipse 30,28 10,12 0,360",
            "-fill", "white", "-draw", "polygon 12,26 21,23 21,33",
            "-fill", rgb(DARK_GREY), "-draw", "circle 27,25 27,27",
            "-fill", rgb(DARK_RED), "-font", "DejaVu-Sans-Bold", "-pointsize", "25",
            "-annotate", "+60+33", "Kestrel",
            "-fill", rgb(BLUE), "-draw", "rectangle 60,39 218,40",
            "-fill", rgb(DARK_GREY), "-font", "DejaVu-Sans", "-pointsize", "10",
            "-annotate", "+61+53", "Instalador da esta\u00e7\u00e3o",
            "-fill", rgb(BLUE), "-draw", "rectangle 0,66 224,67",
            src], check=True)
        subprocess.run(["convert", src, "-strip", "-sampling-factor", "2x2", "-quality", "72",
                        "-density", "72", "-units", "PixelsPerInch", "-interlace", "none",
                        "-type", "TrueColor", path], check=True)
        # The JPEG's artefacts must not hit the colour key.
        out = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                             capture_output=True).stdout
        for i in range(0, len(out), 3):
            assert tuple(out[i:i + 3]) != COLOUR_KEY, "banner pixel in the colour key"


def main():
    os.makedirs(RES, exist_ok=True)
    with open(os.path.join(RES, "formicon.ico"), "wb") as f:
        f.write(form_icon())
    with open(os.path.join(RES, "mainicon.ico"), "wb") as f:
        f.write(main_icon())
    banner(os.path.join(RES, "banner.jpg"))
    for name in ("banner.jpg", "formicon.ico", "mainicon.ico"):
        print(name, os.path.getsize(os.path.join(RES, name)), "bytes")


if __name__ == "__main__":
    sys.exit(main())
