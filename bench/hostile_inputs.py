#!/usr/bin/env python3
"""Writes the hostile inputs that bench/hostile_peaks.sh measures with, into DIR:

  huge.png         16000 x 16000 RGB, every pixel black: a valid PNG of some 750 KB whose
                   canvas is 1 GiB
  huge-broken.png  the same length, but its deflate stream ends after half the rows and what
                   follows is not part of it (every chunk's CRC still right), so only inflating
                   it finds the damage
  frame.png        a 1250 x 800 RGB gradient: the frame the editor and the panel work on

usage: hostile_inputs.py DIR
"""
import os
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(width, height, rows, broken=False, idat_size=1 << 16):
    """PNG bytes of an 8-bit RGB image whose raw rows (filter byte included) `rows` yields.
    Broken: the deflate stream is final after half the rows, and the rest follows as data that
    belongs to no stream."""
    if broken:
        rows = list(rows)
        stream = bytearray(b"\x78\xda")
        for part in (rows[:height // 2], rows[height // 2:]):
            deflate = zlib.compressobj(9, zlib.DEFLATED, -15)
            for row in part:
                stream += deflate.compress(row)
            stream += deflate.flush()
        stream += bytes(4)
    else:
        deflate = zlib.compressobj(9)
        stream = bytearray()
        for row in rows:
            stream += deflate.compress(row)
        stream += deflate.flush()
    out = bytearray(b"\x89PNG\r\n\x1a\n")
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    for at in range(0, len(stream), idat_size):
        out += chunk(b"IDAT", bytes(stream[at:at + idat_size]))
    out += chunk(b"IEND", b"")
    return bytes(out)


def main():
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    row = bytes(1 + 16000 * 3)
    for name, broken in (("huge.png", False), ("huge-broken.png", True)):
        path = os.path.join(directory, name)
        if not os.path.exists(path):
            with open(path + ".part", "wb") as out:
                out.write(png(16000, 16000, (row for _ in range(16000)), broken))
            os.rename(path + ".part", path)
    gradient = (bytes([0]) + bytes((x * 255 // 1249, y * 255 // 799, 128)[c]
                                   for x in range(1250) for c in range(3))
                for y in range(800))
    with open(os.path.join(directory, "frame.png"), "wb") as out:
        out.write(png(1250, 800, gradient))


if __name__ == "__main__":
    main()
