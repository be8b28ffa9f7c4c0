#!/usr/bin/env python3
"""Makes every asset of the bundled show: textures, meshes, a KTR file, the
video and the soundtrack. Deterministic: the same files every run.

usage: show/tools/generate.py [SHOWDIR]   (default: the show/ folder)
Needs ffmpeg (with libmp3lame and mjpeg) for the JPEG, the AVI and the MP3.
"""

import math
import os
import struct
import subprocess
import sys
import tempfile
import wave
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SHOW = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.dirname(HERE)
DATA = os.path.join(SHOW, "Data")


def png(path, width, height, pixel, alpha=False):
    """Writes a PNG; pixel(x, y) gives (r, g, b) or (r, g, b, a)."""
    channels = 4 if alpha else 3
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            value = pixel(x, y)
            rows.extend(max(0, min(255, int(c))) for c in value[:channels])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(
            ">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(bytes(rows), 9)) +
                  chunk(b"IEND", b""))


def ffmpeg(*args):
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", *args], check=True,
                   stdin=subprocess.DEVNULL)


def textures():
    # A chrome-like environment: sky above, warm ground below, a bright sun.
    def environment(x, y):
        u, v = x / 127.5 - 1, y / 127.5 - 1
        r2 = u * u + v * v
        sky = (40 + 120 * (1 - v) / 2, 90 + 110 * (1 - v) / 2, 200 + 55 * (1 - v) / 2)
        ground = (180 + 60 * v, 110 + 40 * v, 50)
        base = sky if v < 0.1 else ground
        sun = 255 * math.exp(-((u + 0.35) ** 2 + (v + 0.45) ** 2) * 40)
        rim = 60 * max(0.0, r2 - 0.7)
        return tuple(c + sun + rim for c in base)
    png(os.path.join(DATA, "env.png"), 256, 256, environment)

    def copper(x, y):
        u, v = x / 63.5 - 1, y / 63.5 - 1
        t = 0.5 + 0.5 * math.sin(6 * u + 4 * v * v)
        return (120 + 135 * t, 60 + 90 * t * t, 30 + 40 * t)
    png(os.path.join(DATA, "copper.png"), 128, 128, copper)
    ffmpeg("-i", os.path.join(DATA, "copper.png"), "-q:v", "3",
           os.path.join(DATA, "copper.jpg"))
    os.remove(os.path.join(DATA, "copper.png"))

    def checker(x, y):
        light = ((x // 16) + (y // 16)) % 2
        return (200, 205, 215) if light else (60, 70, 95)
    png(os.path.join(DATA, "checker.png"), 128, 128, checker)

    def shadow(x, y):
        return (20, 20, 35)
    png(os.path.join(DATA, "shadow.png"), 8, 8, shadow)

    # A glowing disc for flashes and a title bar with soft edges.
    def flash(x, y):
        d = math.hypot(x - 63.5, y - 63.5) / 64
        g = max(0.0, 1 - d) ** 2 * 255
        return (g, g * 0.9, g * 0.6)
    png(os.path.join(DATA, "flash.png"), 128, 128, flash)

    def title(x, y):
        # Five bars of different widths, like a logotype, fading at the rim.
        edge = min(x, 255 - x, y, 63 - y) / 8
        a = 255 * max(0.0, min(1.0, edge))
        bar = (x // 32) % 2 == 0 or 12 < y < 20 or 44 < y < 52
        return (255, 220 if bar else 120, 90 if bar else 200, a if bar else a * 0.5)
    png(os.path.join(DATA, "title.png"), 256, 64, title, alpha=True)


def mesh(path, name, vertices, normals, uvs, faces, texture):
    """Writes a text .x mesh with one material."""
    lines = ["xof 0303txt 0032", "Mesh %s {" % name, " %d;" % len(vertices)]
    lines += [" %.6f;%.6f;%.6f;%s" % (*v, "," if i + 1 < len(vertices) else ";")
              for i, v in enumerate(vertices)]
    lines.append(" %d;" % len(faces))
    lines += [" 3;%d,%d,%d;%s" % (*f, "," if i + 1 < len(faces) else ";")
              for i, f in enumerate(faces)]
    lines += [" MeshNormals {", "  %d;" % len(normals)]
    lines += ["  %.6f;%.6f;%.6f;%s" % (*n, "," if i + 1 < len(normals) else ";")
              for i, n in enumerate(normals)]
    lines.append("  %d;" % len(faces))
    lines += ["  3;%d,%d,%d;%s" % (*f, "," if i + 1 < len(faces) else ";")
              for i, f in enumerate(faces)]
    lines += [" }", " MeshTextureCoords {", "  %d;" % len(uvs)]
    lines += ["  %.6f;%.6f;%s" % (*t, "," if i + 1 < len(uvs) else ";")
              for i, t in enumerate(uvs)]
    lines += [" }", " MeshMaterialList {", "  1;", "  %d;" % len(faces)]
    lines += ["  0%s" % ("," if i + 1 < len(faces) else ";;") for i in range(len(faces))]
    lines += ["  Material {", "   1.0;1.0;1.0;1.0;;", "   20.0;", "   1.0;1.0;1.0;;",
              "   0.0;0.0;0.0;;", "   TextureFilename {", '    "%s";' % texture,
              "   }", "  }", " }", "}", ""]
    with open(path, "w") as out:
        out.write("\n".join(lines))


def normalize(v):
    length = math.sqrt(sum(c * c for c in v)) or 1.0
    return tuple(c / length for c in v)


def meshes():
    # A (2, 3) torus knot swept with a round tube.
    ring, tube = 160, 10
    verts, norms, uvs, faces = [], [], [], []

    def knot(t):
        r = 2 + math.cos(3 * t)
        return (r * math.cos(2 * t) * 0.3, math.sin(3 * t) * 0.3, r * math.sin(2 * t) * 0.3)

    for i in range(ring):
        t = 2 * math.pi * i / ring
        p, q = knot(t), knot(t + 0.001)
        tangent = normalize(tuple(b - a for a, b in zip(p, q)))
        side = normalize((tangent[1] * 0 - tangent[2] * 1, tangent[2] * 0 - tangent[0] * 0,
                          tangent[0] * 1 - tangent[1] * 0))
        up = (tangent[1] * side[2] - tangent[2] * side[1],
              tangent[2] * side[0] - tangent[0] * side[2],
              tangent[0] * side[1] - tangent[1] * side[0])
        for j in range(tube):
            a = 2 * math.pi * j / tube
            n = tuple(math.cos(a) * s + math.sin(a) * u for s, u in zip(side, up))
            verts.append(tuple(c + 0.12 * d for c, d in zip(p, n)))
            norms.append(n)
            uvs.append((i / ring * 8, j / tube))
    for i in range(ring):
        for j in range(tube):
            a = i * tube + j
            b = ((i + 1) % ring) * tube + j
            c = ((i + 1) % ring) * tube + (j + 1) % tube
            d = i * tube + (j + 1) % tube
            faces += [(a, b, c), (a, c, d)]
    mesh(os.path.join(DATA, "knot.x"), "knot", verts, norms, uvs, faces, "checker.png")

    # A faceted sphere: every triangle with its own flat normal.
    verts, norms, uvs, faces = [], [], [], []
    rings, segments = 8, 14
    for i in range(rings):
        for j in range(segments):
            corners = []
            for di, dj in ((0, 0), (0, 1), (1, 1), (1, 0)):
                th = math.pi * (i + di) / rings
                ph = 2 * math.pi * (j + dj) / segments
                corners.append((math.sin(th) * math.cos(ph), math.cos(th),
                                math.sin(th) * math.sin(ph)))
            for tri in ((0, 1, 2), (0, 2, 3)):
                pts = [corners[k] for k in tri]
                e1 = tuple(b - a for a, b in zip(pts[0], pts[1]))
                e2 = tuple(b - a for a, b in zip(pts[0], pts[2]))
                n = normalize((e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                               e1[0] * e2[1] - e1[1] * e2[0]))
                if sum(a * b for a, b in zip(n, pts[0])) < 0:
                    n = tuple(-c for c in n)
                    pts = [pts[0], pts[2], pts[1]]
                if sum(c * c for c in e1) < 1e-9 or sum(c * c for c in e2) < 1e-9:
                    continue
                base = len(verts)
                for p in pts:
                    verts.append(tuple(0.6 * c for c in p))
                    norms.append(n)
                    uvs.append((0.5 + 0.5 * p[0], 0.5 - 0.5 * p[1]))
                faces.append((base, base + 2, base + 1))
    mesh(os.path.join(DATA, "gem.x"), "gem", verts, norms, uvs, faces, "copper.jpg")

    # A floor plane, facing up, in a 4 x 4 grid.
    verts, norms, uvs, faces = [], [], [], []
    for i in range(5):
        for j in range(5):
            verts.append((-2 + i, 0.0, -2 + j))
            norms.append((0.0, 1.0, 0.0))
            uvs.append((i, j))
    for i in range(4):
        for j in range(4):
            a, b, c, d = i * 5 + j, (i + 1) * 5 + j, (i + 1) * 5 + j + 1, i * 5 + j + 1
            faces += [(a, d, c), (a, c, b)]
    mesh(os.path.join(DATA, "floor.x"), "floor", verts, norms, uvs, faces, "checker.png")


def ktr():
    n = 3
    with open(os.path.join(DATA, "tri.ktr"), "wb") as out:
        out.write(b"KORVANE KTR MESH HEADER 28B!")
        out.write(struct.pack("<I", n))
        for i in range(n):
            a = 2 * math.pi * i / n
            out.write(struct.pack("<3f", math.cos(a), math.sin(a), 0.0))
        for i in range(n):
            out.write(struct.pack("<2f", i / n, 1 - i / n))
        for i in range(4 * n):
            out.write(struct.pack("<iff", i, i * 0.25, -i * 0.5))


def video():
    # 50 frames of a moving plasma at 25 frames a second, 256 x 256.
    with tempfile.TemporaryDirectory() as folder:
        for f in range(50):
            t = f / 50 * 2 * math.pi

            def plasma(x, y, t=t):
                u, v = x / 40, y / 40
                s = math.sin(u + t) + math.sin(v * 1.3 - t) + math.sin((u + v) * 0.7 + 2 * t)
                return (128 + 120 * math.sin(s * 1.5), 128 + 120 * math.sin(s * 1.5 + 2),
                        128 + 120 * math.sin(s * 1.5 + 4))
            png(os.path.join(folder, "p%03d.png" % f), 256, 256, plasma)
        ffmpeg("-framerate", "25", "-i", os.path.join(folder, "p%03d.png"),
               "-c:v", "mjpeg", "-q:v", "4", "-pix_fmt", "yuvj420p",
               os.path.join(DATA, "plasma.avi"))


def music():
    # 80 seconds: a bass line, pads and a simple beat, in A minor.
    rate, seconds = 22050, 80
    beat = 60 / 112
    roots = [57, 53, 48, 55]  # A, F, C, G
    samples = bytearray()
    for n in range(rate * seconds):
        t = n / rate
        bar = int(t / (4 * beat)) % 4
        root = 440 * 2 ** ((roots[bar] - 69) / 12)
        step = t % beat
        bass = math.sin(2 * math.pi * root / 2 * t) * math.exp(-3 * step)
        pad = sum(math.sin(2 * math.pi * root * r * t) for r in (1, 1.2, 1.5)) / 3
        kick = math.sin(2 * math.pi * 60 * step * (1 - step)) * math.exp(-18 * step)
        hat = ((n * 1103515245 + 12345) >> 16 & 0xFF) / 128 - 1
        hat *= math.exp(-60 * ((t + beat / 2) % beat))
        fade = min(1.0, t / 2, (seconds - t) / 3)
        value = fade * (0.35 * bass + 0.18 * pad + 0.4 * kick + 0.06 * hat)
        s = int(max(-1.0, min(1.0, value)) * 30000)
        samples += struct.pack("<hh", s, s)
    with tempfile.TemporaryDirectory() as folder:
        wav = os.path.join(folder, "track.wav")
        with wave.open(wav, "wb") as out:
            out.setnchannels(2)
            out.setsampwidth(2)
            out.setframerate(rate)
            out.writeframes(bytes(samples))
        ffmpeg("-i", wav, "-c:a", "libmp3lame", "-b:a", "96k",
               os.path.join(SHOW, "mirl .mp3"))


def main():
    os.makedirs(DATA, exist_ok=True)
    textures()
    meshes()
    ktr()
    video()
    music()


if __name__ == "__main__":
    main()
