#!/usr/bin/env python3
"""Writes the seed corpus: tiny PNGs of every colour type, bit depth and interlace, with and
without colour chunks, plus a JPEG made by ImageMagick when it is installed."""
import os
import struct
import subprocess
import zlib

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus")


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, color_type, depth, interlace=0, extra=b"", rows=None):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    row_bytes = (width * channels * depth + 7) // 8
    if rows is None:
        rows = [bytes((x * 37 + y * 11) & 0xFF for x in range(row_bytes)) for y in range(height)]
    raw = b""
    if interlace:
        # Adam7 pass sizes for tiny images: emit every pass with filter 0 and pattern data.
        starts = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4),
                  (1, 0, 2, 2), (0, 1, 1, 2)]
        for x0, y0, dx, dy in starts:
            pw = (width - x0 + dx - 1) // dx if width > x0 else 0
            ph = (height - y0 + dy - 1) // dy if height > y0 else 0
            if pw and ph:
                rb = (pw * channels * depth + 7) // 8
                for y in range(ph):
                    raw += b"\x00" + bytes((i * 13 + y) & 0xFF for i in range(rb))
    else:
        for i, r in enumerate(rows):
            raw += bytes([i % 5]) + r
    ihdr = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, interlace)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    os.makedirs(out, exist_ok=True)
    palette = chunk(b"PLTE", bytes(range(48)))
    files = {
        "rgba8.png": png(4, 3, 6, 8, extra=chunk(b"sRGB", b"\x00")),
        "rgb8.png": png(5, 2, 2, 8),
        "rgb16.png": png(3, 3, 2, 16, extra=chunk(b"gAMA", struct.pack(">I", 100000))),
        "rgba16.png": png(2, 2, 6, 16),
        "gray1.png": png(9, 2, 0, 1),
        "gray4.png": png(3, 3, 0, 4, extra=chunk(b"tRNS", b"\x00\x03")),
        "gray16.png": png(2, 2, 0, 16),
        "graya8.png": png(3, 2, 4, 8),
        "palette2.png": png(6, 2, 3, 2, extra=palette + chunk(b"tRNS", b"\x00\x80")),
        "palette8.png": png(2, 2, 3, 8, extra=palette,
                            rows=[bytes([0, 15]), bytes([3, 7])]),
        "interlaced.png": png(9, 9, 6, 8, interlace=1),
        "chrm.png": png(2, 2, 2, 8, extra=chunk(b"gAMA", struct.pack(">I", 45455)) +
                        chunk(b"cHRM", struct.pack(">8I", 31270, 32900, 68000, 32000, 26500,
                                                    69000, 15000, 6000))),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    try:
        subprocess.run(["convert", "-size", "16x8", "gradient:red-blue", "-quality", "80",
                        os.path.join(out, "gradient.jpg")], check=True)
        subprocess.run(["convert", "-size", "8x8", "plasma:", "-interlace", "JPEG",
                        os.path.join(out, "progressive.jpg")], check=True)
    except (OSError, subprocess.CalledProcessError):
        pass


if __name__ == "__main__":
    main()
