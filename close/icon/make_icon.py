#!/usr/bin/env python3
"""Draws the CloseKorvessa icon and writes it as a two-image .ico plus enlarged PNGs.

The icon is a Pocket PC with the Korvessa mark on its screen and a blue power button over its
lower-right corner. Both sizes are drawn from shapes tuned for their own pixel grid, so the
16 x 16 image stays sharp instead of being a shrunken 32 x 32.

Only the standard library is used, and nothing depends on the time or on chance: running the
script twice gives the same bytes, which is what lets a check regenerate and compare.

    make_icon.py                      write the committed files in this repository
    make_icon.py --root DIR           write the same files under DIR instead
    make_icon.py --ico F --png-32 F --png-16 F   choose each file
"""

import argparse
import math
import os
import struct
import sys
import zlib

REPO = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
ICO_PATH = os.path.join("close", "CloseKorvessa.ico")
PNG_32_PATH = os.path.join("docs", "images", "closekorvessa-icon-32.png")
PNG_16_PATH = os.path.join("docs", "images", "closekorvessa-icon-16.png")


def hex_colour(text):
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16))


# The colours the artwork is painted with; they open the palette, after the black of entry 0.
INK = {
    "outline": hex_colour("0b0d11"),
    "body": hex_colour("2e333c"),
    "body_light": hex_colour("505867"),
    "body_dark": hex_colour("1f232a"),
    "bezel": hex_colour("080a0d"),
    "screen_top": hex_colour("e4f3fa"),
    "screen_bottom": hex_colour("a9d3e6"),
    "mark": hex_colour("f07a12"),
    "mark_dark": hex_colour("b8500a"),
    "button": hex_colour("6b7484"),
    "button_light": hex_colour("9aa3b2"),
    "button_dark": hex_colour("3b414c"),
    "power_rim": hex_colour("0a2a66"),
    "power_top": hex_colour("5aa6ff"),
    "power_bottom": hex_colour("1550c4"),
    "glyph": hex_colour("ffffff"),
    "glint": hex_colour("a8d0ff"),
}


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def build_palette(canvases):
    """Black, the inks, then every blended edge and gradient colour the drawings use, in the order
    they are first met, then a grey ramp as filler.

    Edges and gradients keep their exact colours this way; matching them against a generic cube
    turned the dark body's anti-aliased corners blue and purple.
    """
    # Entry 0 is black: transparent pixels point at it, as resource editors expect.
    palette = [(0, 0, 0)] + list(INK.values())
    seen = set(palette)
    for canvas in canvases:
        for row in canvas.rgb:
            for colour in row:
                if colour is not None and colour not in seen:
                    seen.add(colour)
                    palette.append(colour)
    if len(palette) > 256:
        raise SystemExit(f"the artwork uses {len(palette)} colours; an 8-bit icon holds 256")
    free = 256 - len(palette)
    for step in range(free):
        grey = (255 * (step + 1)) // (free + 1)
        palette.append((grey, grey, grey))
    return palette


# Shapes are predicates over continuous coordinates: pixel (x, y) covers [x, x+1) x [y, y+1).


def rounded_rect(x0, y0, x1, y1, radius):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

    return inside


def disc(cx, cy, radius):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else ((x - ax) * dx + (y - ay) * dy) / length2
        t = min(max(t, 0.0), 1.0)
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width

    return inside


def power_ring(cx, cy, radius, half_width, gap_degrees):
    """The ring of the power symbol, open at the top where the bar comes in."""

    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - radius) > half_width:
            return False
        from_top = math.degrees(math.atan2(abs(x - cx), cy - y))
        return from_top > gap_degrees

    return inside


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


def vertical(top, bottom, y0, y1):
    """A paint that runs from one colour to another between rows y0 and y1."""

    def paint(x, y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return mix(top, bottom, t)

    return paint


class Canvas:
    """An RGB image with a one-bit alpha, painted shape by shape.

    With samples > 1 a shape that partly covers an already painted pixel is blended into it, which
    smooths curves inside the icon; its outer edge stays hard because the ICO mask is one bit.
    """

    def __init__(self, size, samples):
        self.size = size
        self.samples = samples
        self.rgb = [[None] * size for _ in range(size)]

    def coverage(self, shape, px, py):
        n = self.samples
        if n == 1:
            return 1.0 if shape(px + 0.5, py + 0.5) else 0.0
        hits = 0
        for sy in range(n):
            for sx in range(n):
                if shape(px + (sx + 0.5) / n, py + (sy + 0.5) / n):
                    hits += 1
        return hits / (n * n)

    def fill(self, shape, paint):
        if isinstance(paint, tuple):
            colour = paint
            paint = lambda x, y: colour
        for py in range(self.size):
            for px in range(self.size):
                cover = self.coverage(shape, px, py)
                if cover == 0.0:
                    continue
                colour = paint(px + 0.5, py + 0.5)
                below = self.rgb[py][px]
                if below is None:
                    if cover >= 0.5:
                        self.rgb[py][px] = colour
                else:
                    self.rgb[py][px] = mix(below, colour, cover)

    def indices(self, palette):
        """Palette indices, top row first; None marks a transparent pixel."""
        lookup = {colour: index for index, colour in reversed(list(enumerate(palette)))}
        return [[None if c is None else lookup[c] for c in row] for row in self.rgb]


def draw_32():
    c = Canvas(32, 4)
    # The device: a dark rounded body, lit from the top left.
    c.fill(rounded_rect(4, 1, 25, 31, 4), INK["outline"])
    c.fill(rounded_rect(5, 2, 24, 30, 3), INK["body_light"])
    c.fill(rounded_rect(6, 3, 24, 30, 3), INK["body_dark"])
    c.fill(rounded_rect(6, 3, 23, 29, 2.5), INK["body"])
    # Speaker slot above the screen.
    c.fill(rounded_rect(12, 4, 17, 5, 0.5), INK["outline"])
    # Screen in a black bezel.
    c.fill(rounded_rect(7, 6, 22, 22, 1), INK["bezel"])
    c.fill(
        rounded_rect(8, 7, 21, 21, 0.5),
        vertical(INK["screen_top"], INK["screen_bottom"], 7, 20),
    )
    # The Korvessa mark: a bold orange K, its lower arm a shade darker as if folded behind.
    c.fill(rounded_rect(9.5, 8, 12, 18, 0.6), INK["mark"])
    c.fill(segment(13.6, 12.6, 17.8, 8.8, 1.15), INK["mark"])
    c.fill(segment(13.6, 13.4, 17.8, 17.2, 1.15), INK["mark_dark"])
    # Hardware buttons under the screen: an application key and the navigation pad.
    c.fill(disc(9, 25.5, 2.2), INK["outline"])
    c.fill(disc(9, 25.5, 1.6), INK["button"])
    c.fill(disc(8.6, 25.1, 0.8), INK["button_light"])
    c.fill(disc(14.5, 25.5, 2.9), INK["outline"])
    c.fill(disc(14.5, 25.5, 2.3), INK["button"])
    c.fill(disc(14.1, 25.1, 1.1), INK["button_light"])
    # The power button over the lower-right corner.
    cx, cy = 24.5, 24.5
    c.fill(disc(cx, cy, 7.5), INK["power_rim"])
    c.fill(disc(cx, cy, 6.4), vertical(INK["power_top"], INK["power_bottom"], 18, 31))
    c.fill(minus(disc(cx - 1.6, cy - 2.6, 3.6), disc(cx, cy + 1.0, 5.6)), INK["glint"])
    c.fill(power_ring(cx, cy + 0.6, 3.6, 0.85, 38), INK["glyph"])
    c.fill(segment(cx, cy - 4.3, cx, cy - 0.2, 0.85), INK["glyph"])
    return c


def draw_16():
    # Sampled at pixel centres: at this size every shape is tuned to land on whole pixels.
    c = Canvas(16, 1)
    c.fill(rounded_rect(2, 0, 13, 16, 2), INK["outline"])
    c.fill(rounded_rect(3, 1, 12, 15, 1), INK["body"])
    c.fill(rounded_rect(3, 1, 4, 14, 0), INK["body_light"])
    c.fill(rounded_rect(4, 2, 11, 10, 0), vertical(INK["screen_top"], INK["screen_bottom"], 2, 10))
    # The K, four pixels wide and five high: any wider and its lower arm hides under the badge.
    c.fill(rounded_rect(5, 3, 6, 8, 0), INK["mark"])
    c.fill(segment(6.5, 5.5, 8.5, 3.5, 0.5), INK["mark"])
    c.fill(segment(6.5, 5.5, 8.5, 7.5, 0.5), INK["mark"])
    c.fill(rounded_rect(4, 11, 7, 13, 0), INK["button_dark"])
    c.fill(rounded_rect(4, 11, 6, 12, 0), INK["button"])
    # Power button: nine pixels across, with a five by five glyph.
    c.fill(disc(11.5, 11.5, 4.6), INK["power_rim"])
    c.fill(disc(11.5, 11.5, 3.7), vertical(INK["power_top"], INK["power_bottom"], 8, 15))
    c.fill(power_ring(11.5, 11.5, 2.1, 0.45, 35), INK["glyph"])
    c.fill(segment(11.5, 9.5, 11.5, 11.5, 0.5), INK["glyph"])
    return c


def dib(indices, palette):
    """The image part of one icon entry: header, palette, colour rows, then the mask rows."""
    size = len(indices)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor_stride = (size + 3) & ~3
    and_stride = ((size + 31) // 32) * 4
    xor_rows, and_rows = [], []
    for row in reversed(indices):
        pixels = bytes(0 if i is None else i for i in row)
        xor_rows.append(pixels + bytes(xor_stride - size))
        mask = bytearray(and_stride)
        for x, i in enumerate(row):
            if i is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(mask))
    return header + colours + b"".join(xor_rows) + b"".join(and_rows)


def ico_bytes(images, palette):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, bodies = [], []
    for indices in images:
        size = len(indices)
        body = dib(indices, palette)
        entries.append(struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(body), offset))
        bodies.append(body)
        offset += len(body)
    return directory + b"".join(entries) + b"".join(bodies)


def png_bytes(indices, palette, scale, check=16):
    """An enlarged view for the README, with transparency shown as a light checkerboard so the
    dark device reads the same on light and dark page themes."""
    size = len(indices) * scale
    light, shade = (0xFF, 0xFF, 0xFF), (0xE4, 0xE7, 0xEB)
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        row = indices[y // scale]
        for x in range(size):
            i = row[x // scale]
            if i is None:
                raw.extend(light if (x // check + y // check) % 2 == 0 else shade)
            else:
                raw.extend(palette[i])

    def chunk(kind, data):
        crc = zlib.crc32(kind + data) & 0xFFFFFFFF
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)

    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
        # The one input from outside this script: zlib's compressor, stable across its releases
        # in practice. The .ico does not go through it.
        + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + chunk(b"IEND", b"")
    )


def write(path, data):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=REPO, help="write the usual files under this folder")
    parser.add_argument("--ico", help="where to write the icon")
    parser.add_argument("--png-32", help="where to write the enlarged 32 x 32 image")
    parser.add_argument("--png-16", help="where to write the enlarged 16 x 16 image")
    args = parser.parse_args(argv)

    canvases = [draw_32(), draw_16()]
    palette = build_palette(canvases)
    large, small = (canvas.indices(palette) for canvas in canvases)
    write(args.ico or os.path.join(args.root, ICO_PATH), ico_bytes([large, small], palette))
    write(args.png_32 or os.path.join(args.root, PNG_32_PATH), png_bytes(large, palette, 8))
    write(args.png_16 or os.path.join(args.root, PNG_16_PATH), png_bytes(small, palette, 16))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
