"""Random shows for the conformance check: every layer kind, every layer
setting and every device state it reaches, state carried from layer to
layer and part to part. The same seed gives the same show.

A show is kept as plain values (see `Show`) so that the reduction can drop
pieces of it and write it again."""

import os
import random
import shutil
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
MODELS = "/usr/share/assimp/models/X"

# Blend names by Direct3D value. BOTHSRCALPHA and BOTHINVSRCALPHA mean
# nothing as a destination in Direct3D 8, so the shows never ask for it.
BLENDS = ["ZERO", "ONE", "SRCCOLOR", "INVSRCCOLOR", "SRCALPHA", "INVSRCALPHA",
          "DESTALPHA", "INVDESTALPHA", "DESTCOLOR", "INVDESTCOLOR",
          "SRCALPHASAT", "BOTHSRCALPHA", "BOTHINVSRCALPHA"]
DESTINATIONS = BLENDS[:11]
SHAPES = ["SPHERE", "CUBE", "TORUS"]


class Layer:
    def __init__(self, kind):
        self.kind = kind
        self.settings = []  # (keyword, value text), one line each
        self.shadows = []   # each a list of (keyword, value text)
        self.blobs = []     # lines of the <blobs> block
        self.timeline = []  # "TIME channel values", or ("loop", p, n, keys)


class Part:
    def __init__(self, length, background):
        self.length, self.background = length, background
        self.layers = []
        self.times = []  # part times to compare at


class Show:
    def __init__(self):
        self.settings = []  # demo settings, (keyword, value text)
        self.parts = []

    def times(self):
        """Show times of every part's compare times, in order."""
        out, start = [], 0
        for part in self.parts:
            out += [start + t for t in part.times]
            start += part.length
        return out

    def script(self):
        lines = ["<demo>"] + ["%s %s" % s for s in self.settings]
        for part in self.parts:
            lines += ["<part>", "length %d" % part.length,
                      "backgroundcolor %d %d %d" % part.background]
            for layer in part.layers:
                lines += _layer_lines(layer)
            lines.append("</part>")
        return "\n".join(lines) + "\n"

    def write(self, folder, assets):
        data = os.path.join(folder, "Data")
        if os.path.isdir(folder):
            shutil.rmtree(folder)
        os.makedirs(data)
        # Hard links, not symbolic ones: a show reads nothing through a
        # link that leads out of its folder.
        for name in os.listdir(assets):
            source = os.path.join(assets, name)
            try:
                os.link(source, os.path.join(data, name))
            except OSError:
                shutil.copy(source, os.path.join(data, name))
        with open(os.path.join(data, "mirl .script"), "w") as f:
            f.write(self.script())


def _layer_lines(layer):
    lines = ["<layer>", "  type " + layer.kind]
    lines += ["  %s %s" % s for s in layer.settings]
    for shadow in layer.shadows:
        lines += ["  <shadow>"] + ["    %s %s" % s for s in shadow]
        lines.append("  </shadow>")
    if layer.blobs:
        lines += ["  <blobs>"] + ["    " + b for b in layer.blobs]
        lines.append("  </blobs>")
    if layer.timeline:
        lines.append("  <timeline>")
        for item in layer.timeline:
            if isinstance(item, tuple):
                _, period, repeats, keys = item
                lines.append("    <loop> %d %d" % (period, repeats))
                lines += ["      " + k for k in keys]
                lines.append("    </loop>")
            else:
                lines.append("    " + item)
        lines.append("  </timeline>")
    lines.append("</layer>")
    return lines


# ---------------------------------------------------------------- assets

def _pixels(width, height, seed):
    """RGBA rows of a picture with edges, gradients and alpha."""
    rng = random.Random(seed)
    a, b = [rng.randrange(256) for _ in range(4)], [rng.randrange(256) for _ in range(4)]
    cell = rng.choice([2, 4, 8])
    out = bytearray()
    for y in range(height):
        for x in range(width):
            c = a if ((x // cell) + (y // cell)) % 2 else b
            out += bytes([c[0], (c[1] + 4 * x) & 255, (c[2] + 4 * y) & 255,
                          (c[3] + 3 * (x + y)) & 255])
    return out


def _png(path, w, h, rgba):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + rgba[y * 4 * w:(y + 1) * 4 * w] for y in range(h))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" +
                chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def _bmp(path, w, h, rgba):
    stride = (3 * w + 3) & ~3
    rows = b""
    for y in reversed(range(h)):
        row = b"".join(bytes([rgba[4 * (y * w + x) + 2], rgba[4 * (y * w + x) + 1],
                              rgba[4 * (y * w + x)]]) for x in range(w))
        rows += row + b"\0" * (stride - 3 * w)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835,
                       2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + rows)


def _tga(path, w, h, rgba):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, w, h, 32, 8)
    body = b"".join(bytes([rgba[4 * (y * w + x) + 2], rgba[4 * (y * w + x) + 1],
                           rgba[4 * (y * w + x)], rgba[4 * (y * w + x) + 3]])
                    for y in reversed(range(h)) for x in range(w))
    with open(path, "wb") as f:
        f.write(header + body)


def _ppm(path, w, h, rgba):
    body = b"".join(rgba[i:i + 3] for i in range(0, len(rgba), 4))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + body)


def _dds(path, w, h, rgba, fourcc):
    """DXT1 or DXT5 (two colours per block, alpha from the first pixel), or
    uncompressed 32-bit A8R8G8B8 when fourcc is None."""
    def r565(p):
        return ((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3)
    if fourcc is None:
        flags, pf = 0x100F, struct.pack("<IIIIIIII", 32, 0x41, 0, 32, 0xFF0000,
                                        0xFF00, 0xFF, 0xFF000000)
        body = b"".join(bytes([rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]])
                        for i in range(0, len(rgba), 4))
    else:
        flags, pf = 0x81007, struct.pack("<II4sIIIII", 32, 4, fourcc, 0, 0, 0,
                                         0, 0)
        body = b""
        for by in range(0, h, 4):
            for bx in range(0, w, 4):
                first = rgba[4 * (by * w + bx):4 * (by * w + bx) + 4]
                last = rgba[4 * ((by + 3) * w + bx + 3):4 * ((by + 3) * w + bx + 3) + 4]
                c0, c1 = max(r565(first), r565(last)), min(r565(first), r565(last))
                if c0 == c1:
                    c0 = min(0xFFFF, c0 + 1)
                colour = struct.pack("<HHI", c0, c1, 0x1B1B1B1B)
                if fourcc == b"DXT5":
                    body += struct.pack("<BB6s", first[3], 255 - first[3],
                                        b"\x49\x92\x24\x49\x92\x24")
                body += colour
    header = struct.pack("<4sIIIIIII44s", b"DDS ", 124, flags, h, w, 0, 0, 0,
                         b"\0" * 44)
    caps = struct.pack("<IIIII", 0x1000, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header + pf + caps + body)


def make_assets(folder):
    """Pictures in every format read, the project's meshes, videos and
    mesh file, and the .x models of assimp-testmodels; once per folder."""
    stamp = os.path.join(folder, ".made")
    if os.path.isfile(stamp):
        return
    os.makedirs(folder, exist_ok=True)
    for source in ("show/Data", "tests/conformance/Data"):
        for name in os.listdir(os.path.join(ROOT, source)):
            if not name.endswith(".script"):
                shutil.copy(os.path.join(ROOT, source, name), folder)
    if os.path.isdir(MODELS):
        for name in sorted(os.listdir(MODELS)):
            if name.lower().endswith(".x"):
                shutil.copy(os.path.join(MODELS, name),
                            os.path.join(folder, "model_" + name.lower()))
    writers = {"png": _png, "bmp": _bmp, "tga": _tga, "ppm": _ppm}
    for index, (w, h) in enumerate([(64, 64), (32, 16), (48, 40)]):
        rgba = _pixels(w, h, index)
        for ext, writer in writers.items():
            writer(os.path.join(folder, "pic%d.%s" % (index, ext)), w, h, rgba)
        if w % 4 == 0 and h % 4 == 0:
            for fourcc in (b"DXT1", b"DXT5", None):
                name = "pic%d_%s.dds" % (index, (fourcc or b"rgba").decode().lower())
                _dds(os.path.join(folder, name), w, h, rgba, fourcc)
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i",
                    os.path.join(folder, "pic0.png"),
                    os.path.join(folder, "pic0.jpg")], check=True)
    open(stamp, "w").close()


def _files(assets, *exts):
    return sorted(n for n in os.listdir(assets)
                  if n.lower().endswith(exts) and not n.startswith("."))


# ---------------------------------------------------------------- shows

def _num(rng, low, high):
    return "%.2f" % rng.uniform(low, high)


def _vec(rng, low, high):
    return " ".join(_num(rng, low, high) for _ in range(3))


def _color(rng):
    return "%d %d %d %d" % tuple(rng.randrange(256) for _ in range(4))


def _depth(rng, layer):
    for keyword in ("ztest", "zwrite", "cull"):
        choice = rng.choice([None, "ENABLE", "DISABLE"])
        if choice:
            layer.settings.append((keyword, choice))
    if rng.random() < 0.7:
        layer.settings.append(("blend", "%s %s" % (rng.choice(BLENDS),
                                                   rng.choice(DESTINATIONS))))


def _placement(rng, layer, spin=True):
    layer.settings.append(("position", "%s %s %s" % (
        _num(rng, -2, 2), _num(rng, -1.4, 1.4), _num(rng, 2.5, 8))))
    layer.settings.append(("scale", _vec(rng, 0.4, 1.5)))
    if spin and rng.random() < 0.6:
        layer.settings.append(("rotation", _vec(rng, -2, 2)))
    if rng.random() < 0.5:
        layer.settings.append(("rotationadd", _vec(rng, -90, 90)))


def _timeline(rng, layer, length, colour):
    channels = ["position", "rotation", "scale"] + (["color"] if colour else [])
    def keys(span, count):
        out = []
        for channel in rng.sample(channels, rng.randint(1, len(channels))):
            for t in sorted(rng.sample(range(0, span + 1), count)):
                value = (_color(rng) if channel == "color" else
                         "%s %s %s" % (_num(rng, -1.5, 1.5), _num(rng, -1, 1),
                                       _num(rng, 3, 7)) if channel == "position"
                         else _vec(rng, -2, 2) if channel == "rotation"
                         else _vec(rng, 0.4, 1.4))
                out.append("%d %s %s" % (t, channel, value))
        return out
    if rng.random() < 0.5:
        layer.timeline += keys(length, rng.randint(1, 3))
    else:
        period = rng.randint(100, max(101, length // 2))
        layer.timeline.append(("loop", period, rng.randint(1, 4),
                               keys(period, rng.randint(1, 3))))


def _shadow(rng, pictures):
    y = _num(rng, -1.6, -0.6)
    a, b, c = "0 %s 0" % y, "0 %s 1" % y, "1 %s 0" % y
    if rng.random() < 0.5:  # the other order: the plane faces the other way
        b, c = c, b
    return [("filename", rng.choice(pictures)), ("plane_a", a), ("plane_b", b),
            ("plane_c", c), ("light", "%s 1 %s" % (_num(rng, -0.5, 0.5),
                                                  _num(rng, -0.5, 0.5)))]


def _layer(rng, assets, length):
    pictures = _files(assets, ".png", ".jpg", ".bmp", ".tga", ".ppm", ".dds")
    kind = rng.choice(["XFILE", "XFILE", "PICTURE", "PICTURE", "AVIPICTURE",
                       "BLOB", "KTRFILE"])
    layer = Layer(kind)
    if kind == "KTRFILE":
        layer.settings.append(("filename", "tri.ktr"))
        return layer
    if kind == "XFILE":
        layer.settings.append(("filename", rng.choice(_files(assets, ".x"))))
        envmap = rng.choice(["NONE", "SPHEREMAP", "SPHEREMAP2", "CUBEMAP", None])
        if envmap == "SPHEREMAP2":
            envmap += " " + rng.choice(pictures)
        if envmap:
            layer.settings.append(("envmap", envmap))
        layer.shadows = [_shadow(rng, pictures)
                         for _ in range(rng.choice([0, 0, 1, 2]))]
    elif kind in ("PICTURE", "AVIPICTURE"):
        layer.settings.append(("filename", rng.choice(
            pictures if kind == "PICTURE" else _files(assets, ".avi"))))
        layer.settings.append(("size", "%s %s" % (_num(rng, 0.5, 3),
                                                  _num(rng, 0.5, 3))))
        if rng.random() < 0.5:
            layer.settings.append(("color", _color(rng)))
        if kind == "AVIPICTURE":
            layer.settings.append(("avispeed", _num(rng, 0.5, 2)))
    else:
        layer.settings.append(("filename", rng.choice(pictures)))
        count = rng.randint(1, 4)
        layer.settings.append(("blobsnum", str(count)))
        layer.blobs = ["mul %s type %s" % (_vec(rng, -0.5, 0.5), rng.choice(SHAPES))
                       for _ in range(count)]
    _placement(rng, layer)
    _depth(rng, layer)
    if rng.random() < 0.6:
        _timeline(rng, layer, length, kind in ("PICTURE", "AVIPICTURE"))
    return layer


def keep_defined(show):
    """Leaves out what Direct3D 8 leaves open. A shadow flattens its mesh
    onto one plane: with depth writes on, its faces fight at equal depths,
    which each rasterizer's precision settles its own way."""
    for part in show.parts:
        for layer in part.layers:
            if layer.shadows:
                layer.settings = [s for s in layer.settings if s[0] != "zwrite"]
                layer.settings.append(("zwrite", "DISABLE"))
    return show


def generate(seed, assets):
    rng = random.Random(seed)
    show = Show()
    show.settings = [("resolution", rng.choice(["320 240", "256 192"])),
                     ("fullscreen", "DISABLE"), ("music", "DISABLE"),
                     ("showfps", rng.choice(["ENABLE", "DISABLE"])),
                     ("showtime", rng.choice(["ENABLE", "DISABLE"]))]
    for _ in range(rng.randint(1, 3)):
        part = Part(rng.randrange(600, 3000, 100),
                    tuple(rng.randrange(256) for _ in range(3)))
        part.layers = [_layer(rng, assets, part.length)
                       for _ in range(rng.randint(1, 6))]
        part.times = sorted(rng.sample(range(20, part.length - 20),
                                       rng.randint(1, 3)))
        show.parts.append(part)
    return keep_defined(show)
