#!/usr/bin/env python3
"""Makes the media of the conformance show in tests/conformance/Data: a
picture with an alpha gradient, a short 256 x 256 video, and copies of the
bundled show's meshes and textures. Needs ffmpeg (mjpeg) for the video.

usage: tests/conformance/make_assets.py
"""

import os
import shutil
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "Data")
BUNDLED = os.path.join(HERE, "..", "..", "show", "Data")


def png_rgba(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(max(0, min(255, int(c))) for c in pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return (struct.pack(">I", len(data)) + body +
                struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(bytes(rows), 9)) +
                  chunk(b"IEND", b""))


def main():
    os.makedirs(DATA, exist_ok=True)
    # Colour across, alpha falling from the top left to the bottom right.
    png_rgba(os.path.join(DATA, "alpha.png"), 64, 64,
             lambda x, y: (x * 4, y * 4, 255 - x * 2, 250 - (x + y) * 2))
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi",
                    "-i", "testsrc=size=256x256:rate=10:duration=1.2",
                    "-c:v", "mjpeg", "-q:v", "5", "-pix_fmt", "yuvj420p",
                    os.path.join(DATA, "bars.avi")],
                   check=True, stdin=subprocess.DEVNULL)
    for name in ("gem.x", "floor.x", "env.png", "shadow.png", "checker.png",
                 "copper.jpg", "tri.ktr"):
        shutil.copyfile(os.path.join(BUNDLED, name), os.path.join(DATA, name))


if __name__ == "__main__":
    main()
