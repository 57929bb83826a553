#!/usr/bin/env python3
"""Draws the demo show's images (our own artwork) into examples/demo/.

Writes BMP files by hand (24-bit with the magenta colour key, 32-bit with
premultiplied per-pixel alpha) and one PNG with zlib; only the standard library
is used, so the pictures can be made again anywhere.
"""
import math
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "demo")
MAGENTA = (255, 0, 255)


def write_bmp24(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b); rows stored bottom-up, padded to 4 bytes."""
    row_bytes = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_bmp32(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a) unpremultiplied; stored premultiplied, bottom-up."""
    data = bytearray()
    for y in range(height - 1, -1, -1):
        for x in range(width):
            r, g, b, a = pixel(x, y)
            data += bytes((b * a // 255, g * a // 255, r * a // 255, a))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b); an 8-bit RGB PNG."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# Seven-segment digits: which of the segments a b c d e f g each digit lights.
SEGMENTS = {0: "abcdef", 1: "bc", 2: "abdeg", 3: "abcdg", 4: "bcfg", 5: "acdfg", 6: "acdefg",
            7: "abc", 8: "abcdefg", 9: "abcdfg"}


def digit_pixel(digit):
    lit = SEGMENTS[digit]
    w, h, t = 20, 32, 4  # size and segment thickness

    def on_segment(x, y):
        boxes = {
            "a": (3, 1, w - 4, 1 + t), "g": (3, h // 2 - t // 2, w - 4, h // 2 + t // 2),
            "d": (3, h - 1 - t, w - 4, h - 1), "f": (1, 3, 1 + t, h // 2 - 1),
            "b": (w - 1 - t, 3, w - 1, h // 2 - 1), "e": (1, h // 2 + 1, 1 + t, h - 4),
            "c": (w - 1 - t, h // 2 + 1, w - 1, h - 4)}
        for s in lit:
            x0, y0, x1, y1 = boxes[s]
            if x0 <= x < x1 and y0 <= y < y1:
                return True
        return False

    def pixel(x, y):
        if on_segment(x, y):
            shade = 255 - 3 * y
            return (255, shade, 120)
        # a one-pixel dark rim around lit segments keeps them readable on any screen
        for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            if on_segment(x + dx, y + dy):
                return (40, 20, 10)
        return MAGENTA

    return pixel


def star_sheet_pixel(x, y):
    """Four 32x32 frames, 2 by 2, of a five-pointed star turning by 18 degrees."""
    frame = (y // 32) * 2 + (x // 32)
    cx, cy = x % 32 - 15.5, y % 32 - 15.5
    r = math.hypot(cx, cy)
    a = math.atan2(cy, cx) - math.radians(18 * frame)
    # the star's outline radius at this angle: between 6 (inner) and 15 (tips)
    k = (math.cos(5 * a) + 1) / 2
    edge = 6 + 9 * k ** 2
    if r > edge + 1:
        return (0, 0, 0, 0)
    alpha = 255 if r <= edge else int(255 * (edge + 1 - r))
    glow = max(0.0, 1 - r / 15)
    return (255, int(170 + 85 * glow), int(40 + 180 * glow ** 2), alpha)


def spark_pixel(x, y):
    r = math.hypot(x - 7.5, y - 7.5) / 8
    a = max(0.0, 1 - r) ** 1.6
    return (255, 230, 255, int(255 * a))


def banner_pixel(x, y):
    """A 96x24 panel with rounded corners (the corners in the key colour)."""
    w, h, rad = 96, 24, 8
    cx = min(max(x, rad), w - 1 - rad)
    cy = min(max(y, rad), h - 1 - rad)
    if math.hypot(x - cx, y - cy) > rad:
        return MAGENTA
    t = y / (h - 1)
    return (int(30 + 40 * t), int(90 + 60 * t), int(170 + 60 * t))


def main():
    os.makedirs(OUT, exist_ok=True)
    for d in range(10):
        write_bmp24(os.path.join(OUT, "digit%d.bmp" % d), 20, 32, digit_pixel(d))
    write_bmp32(os.path.join(OUT, "star_sheet.bmp"), 64, 64, star_sheet_pixel)
    write_bmp32(os.path.join(OUT, "spark.bmp"), 16, 16, spark_pixel)
    write_png(os.path.join(OUT, "banner.png"), 96, 24, banner_pixel)


if __name__ == "__main__":
    main()
