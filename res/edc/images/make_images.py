#!/usr/bin/env python3
"""Draws the theme's images (white on transparent; the theme tints them) into this folder.

Run by hand after changing a shape: python3 make_images.py. The PNGs are kept in the
repository so that building needs no image tools.
"""
import math
import os
import struct
import zlib

SS = 4  # supersampling per axis, for smooth edges


def write_png(path, w, h, alpha):
    """alpha: list of rows of floats 0..1; colour is white."""
    raw = bytearray()
    for row in alpha:
        raw.append(0)
        for a in row:
            raw += bytes((255, 255, 255, max(0, min(255, int(round(a * 255))))))

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def render(w, h, inside):
    """inside(x, y) -> bool for a point in pixel units; returns coverage per pixel."""
    rows = []
    for py in range(h):
        row = []
        for px in range(w):
            n = 0
            for sy in range(SS):
                for sx in range(SS):
                    if inside(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS):
                        n += 1
            row.append(n / (SS * SS))
        rows.append(row)
    return rows


def ring(size, width):
    c = size / 2.0
    r_out, r_in = c - 1, c - 1 - width
    return render(size, size, lambda x, y: r_in * r_in <= (x - c) ** 2 + (y - c) ** 2 <= r_out * r_out)


def disc(size, radius):
    c = size / 2.0
    return render(size, size, lambda x, y: (x - c) ** 2 + (y - c) ** 2 <= radius * radius)


def rounded(size, radius):
    def inside(x, y):
        cx = min(max(x, radius), size - radius)
        cy = min(max(y, radius), size - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return render(size, size, inside)


def rounded_frame(size, radius, width):
    def inside_rr(x, y, inset):
        r = radius - inset
        lo, hi = inset + r, size - inset - r
        cx = min(max(x, lo), hi)
        cy = min(max(y, lo), hi)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return render(size, size, lambda x, y: inside_rr(x, y, 0) and not inside_rr(x, y, width))


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def strokes(size, segments, width):
    half = width / 2.0
    return render(size, size, lambda x, y: any(
        segment_distance(x, y, *[v * size for v in s]) <= half for s in segments))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = lambda name: os.path.join(here, name)
    write_png(out("radio_ring.png"), 64, 64, ring(64, 6))
    write_png(out("radio_dot.png"), 64, 64, disc(64, 15))
    write_png(out("round_fill.png"), 48, 48, rounded(48, 14))
    write_png(out("round_frame.png"), 48, 48, rounded_frame(48, 14, 5))
    write_png(out("icon_check.png"), 64, 64,
              strokes(64, [(0.18, 0.52, 0.40, 0.74), (0.40, 0.74, 0.82, 0.28)], 8))
    write_png(out("icon_cross.png"), 64, 64,
              strokes(64, [(0.24, 0.24, 0.76, 0.76), (0.76, 0.24, 0.24, 0.76)], 8))


if __name__ == "__main__":
    main()
