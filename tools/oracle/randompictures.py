"""Random picture files for the loader oracle: BMP (1, 4, 8, 16, 24 and
32 bits, RLE4 and RLE8, top-down and bottom-up), PNG (palette, grey, grey
with alpha, RGB, RGBA, interlaced), JPEG (baseline, progressive, grey), TGA
(plain and RLE, both origins), DDS (DXT1, DXT3, DXT5, A8R8G8B8 and
X8R8G8B8, with and without mip levels) and PPM, at sizes that are and are
not powers of two. The same seed gives the same file. Everything but JPEG
is written here; JPEG needs Pillow (python3-pil)."""

import io
import random
import struct
import zlib

SIZES_POT = [(1, 1), (2, 8), (8, 8), (16, 4), (32, 32), (64, 16), (64, 128)]
SIZES_NPOT = [(3, 5), (37, 21), (100, 60), (17, 64), (64, 33)]


def pixels(rng, w, h, alpha):
    """[(r, g, b, a)] row by row, top first: gradients, blocks and noise,
    so that a wrong row order, channel or filter shows."""
    kind = rng.randrange(3)
    base = [rng.randrange(256) for _ in range(4)]
    out = []
    for y in range(h):
        for x in range(w):
            if kind == 0:
                c = [(base[0] + 255 * x // max(1, w - 1)) % 256,
                     (base[1] + 255 * y // max(1, h - 1)) % 256,
                     (base[2] + 7 * (x ^ y)) % 256]
            elif kind == 1:
                block = ((x * 4) // max(1, w)) + 4 * ((y * 4) // max(1, h))
                c = [(base[k] + 53 * block * (k + 1)) % 256 for k in range(3)]
            else:
                c = [rng.randrange(256) for _ in range(3)]
            a = (base[3] + 16 * x + 8 * y) % 256 if alpha else 255
            out.append((c[0], c[1], c[2], a))
    return out


# -------------------------------------------------------------------- BMP

def _palette(rng, count):
    return [(rng.randrange(256), rng.randrange(256), rng.randrange(256), 255)
            for _ in range(count)]


def _rle8(rows):
    """Runs and literal stretches, each row ended by 0,0; the end 0,1."""
    out = bytearray()
    for row in rows:
        i = 0
        while i < len(row):
            run = 1
            while i + run < len(row) and run < 255 and row[i + run] == row[i]:
                run += 1
            if run >= 3 or len(row) - i < 3:
                out += bytes([run, row[i]])
                i += run
            else:
                n = min(255, len(row) - i)
                n = max(3, n)
                lit = row[i:i + n]
                out += bytes([0, n]) + bytes(lit) + (b"\0" if n % 2 else b"")
                i += n
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def _rle4(rows):
    out = bytearray()
    for row in rows:
        i = 0
        while i < len(row):
            run = 1
            while i + run < len(row) and run < 255 and row[i + run] == row[i]:
                run += 1
            if run >= 4 or len(row) - i < 3:
                out += bytes([run, row[i] << 4 | row[i]])
                i += run
            else:
                n = max(3, min(255, len(row) - i))
                lit = row[i:i + n] + [0]
                packed = bytes(lit[k] << 4 | lit[k + 1] for k in range(0, n, 2))
                out += bytes([0, n]) + packed + (b"\0" if len(packed) % 2
                                                 else b"")
                i += n
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def bmp(rng, w, h, bits, rle=False, topdown=False):
    colours = {1: 2, 4: 16, 8: 256}.get(bits, 0)
    palette = _palette(rng, colours)
    if colours:
        index = [rng.randrange(colours) if rng.random() < 0.3 else
                 (x * colours // max(1, w)) for y in range(h)
                 for x in range(w)]
        rows = [index[y * w:(y + 1) * w] for y in range(h)]
    else:
        rgba = pixels(rng, w, h, False)
        rows = [rgba[y * w:(y + 1) * w] for y in range(h)]
    stored = rows if topdown else rows[::-1]

    def packed(row):
        if bits in (1, 4):
            per = 8 // bits
            out = bytearray()
            for k in range(0, len(row), per):
                byte = 0
                for j in range(per):
                    value = row[k + j] if k + j < len(row) else 0
                    byte |= value << (8 - bits * (j + 1))
                out.append(byte)
            return bytes(out)
        if bits == 8:
            return bytes(row)
        if bits == 16:  # X1R5G5B5
            return b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 |
                                        b >> 3) for r, g, b, _ in row)
        if bits == 24:
            return b"".join(bytes((b, g, r)) for r, g, b, _ in row)
        return b"".join(bytes((b, g, r, 0)) for r, g, b, _ in row)
    if rle:
        data = (_rle8 if bits == 8 else _rle4)(stored)
        compression = 1 if bits == 8 else 2
    else:
        data = b"".join(packed(r) + b"\0" * (-len(packed(r)) % 4)
                        for r in stored)
        compression = 0
    table = b"".join(bytes((b, g, r, 0)) for r, g, b, _ in palette)
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, w, -h if topdown else h, 1, bits,
                       compression, len(data), 2835, 2835, colours, 0)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + \
        info + table + data


# -------------------------------------------------------------------- PNG

def _chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + \
        struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4),
         (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png(rng, w, h, colour, interlaced=False):
    """colour: 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA."""
    rgba = pixels(rng, w, h, colour in (4, 6))
    palette = None
    if colour == 3:
        palette = _palette(rng, 64)
        values = [rng.randrange(64) if rng.random() < 0.2 else
                  (x + y) % 64 for y in range(h) for x in range(w)]
        sample = [bytes([v]) for v in values]
    elif colour == 0:
        sample = [bytes([(r + g + b) // 3]) for r, g, b, _ in rgba]
    elif colour == 4:
        sample = [bytes([(r + g + b) // 3, a]) for r, g, b, a in rgba]
    elif colour == 2:
        sample = [bytes([r, g, b]) for r, g, b, _ in rgba]
    else:
        sample = [bytes(p) for p in rgba]
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    raw = bytearray()
    for x0, y0, dx, dy in passes:
        for y in range(y0, h, dy):
            line = b"".join(sample[y * w + x] for x in range(x0, w, dx))
            if line:
                raw += b"\0" + line
    head = struct.pack(">IIBBBBB", w, h, 8, colour, 0, 0, 1 if interlaced
                       else 0)
    out = b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", head)
    if palette:
        out += _chunk(b"PLTE", b"".join(bytes(c[:3]) for c in palette))
    return out + _chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + \
        _chunk(b"IEND", b"")


# ------------------------------------------------------------------- JPEG

def jpeg(rng, w, h, mode):
    """mode: baseline, progressive or grey."""
    from PIL import Image  # only JPEG needs it
    rgba = pixels(rng, w, h, False)
    picture = Image.new("RGB", (w, h))
    picture.putdata([p[:3] for p in rgba])
    if mode == "grey":
        picture = picture.convert("L")
    out = io.BytesIO()
    # Colour at full resolution: how chroma is upsampled differs from
    # decoder to decoder, and Windows' own is not known here.
    picture.save(out, "JPEG", quality=rng.choice([75, 90, 95]),
                 progressive=mode == "progressive", subsampling=0)
    return out.getvalue()


# -------------------------------------------------------------------- TGA

def tga(rng, w, h, bits, rle=False, topdown=False):
    rgba = pixels(rng, w, h, bits == 32)
    rows = [rgba[y * w:(y + 1) * w] for y in range(h)]
    stored = rows if topdown else rows[::-1]
    size = bits // 8

    def texel(p):
        return bytes((p[2], p[1], p[0]) + ((p[3],) if size == 4 else ()))
    data = bytearray()
    for row in stored:
        if not rle:
            data += b"".join(texel(p) for p in row)
            continue
        i = 0
        while i < len(row):
            run = 1
            while i + run < len(row) and run < 128 and row[i + run] == row[i]:
                run += 1
            if run > 1:
                data += bytes([0x80 | (run - 1)]) + texel(row[i])
                i += run
            else:
                n = 1
                while i + n < len(row) and n < 128 and \
                        row[i + n] != row[i + n - 1]:
                    n += 1
                data += bytes([n - 1]) + b"".join(texel(p)
                                                  for p in row[i:i + n])
                i += n
    descriptor = (8 if bits == 32 else 0) | (0x20 if topdown else 0)
    head = struct.pack("<BBBHHBHHHHBB", 0, 0, 10 if rle else 2, 0, 0, 0, 0,
                       0, w, h, bits, descriptor)
    return head + bytes(data)


# -------------------------------------------------------------------- DDS

def _565(c):
    return (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3


def _colour_block(block, four):
    """A DXT colour block: the extremes by brightness as ends, each texel
    the nearest of the four (or three) colours."""
    bright = sorted(block, key=lambda c: c[0] + c[1] + c[2])
    c0, c1 = _565(bright[-1]), _565(bright[0])
    if four and c0 < c1 or not four and c0 > c1:
        c0, c1 = c1, c0
    if c0 == c1:
        return struct.pack("<HHI", c0, c1, 0)

    def rgb(c):
        return ((c >> 11) * 255 // 31, ((c >> 5) & 63) * 255 // 63,
                (c & 31) * 255 // 31)
    a, b = rgb(c0), rgb(c1)
    if c0 > c1:
        table = [a, b, tuple((2 * x + y) // 3 for x, y in zip(a, b)),
                 tuple((x + 2 * y) // 3 for x, y in zip(a, b))]
    else:
        table = [a, b, tuple((x + y) // 2 for x, y in zip(a, b))]
    codes = 0
    for i, p in enumerate(block):
        best = min(range(len(table)), key=lambda k: sum(
            (p[j] - table[k][j]) ** 2 for j in range(3)))
        codes |= best << (2 * i)
    return struct.pack("<HHI", c0, c1, codes)


def _alpha_block(block, kind):
    if kind == 3:
        bits = 0
        for i, p in enumerate(block):
            bits |= (p[3] >> 4) << (4 * i)
        return struct.pack("<Q", bits)
    a0, a1 = max(p[3] for p in block), min(p[3] for p in block)
    if a0 == a1:
        return bytes([a0, a1]) + b"\0" * 6
    table = [a0, a1] + [((7 - i) * a0 + i * a1) // 7 for i in range(1, 7)]
    bits = 0
    for i, p in enumerate(block):
        best = min(range(8), key=lambda k: abs(p[3] - table[k]))
        bits |= best << (3 * i)
    return bytes([a0, a1]) + bits.to_bytes(6, "little")


def _dxt(rgba, w, h, kind):
    out = bytearray()
    for by in range(0, h, 4):
        for bx in range(0, w, 4):
            block = [rgba[min(by + i // 4, h - 1) * w + min(bx + i % 4, w - 1)]
                     for i in range(16)]
            if kind > 1:
                out += _alpha_block(block, kind)
            out += _colour_block(block, True)
    return bytes(out)


def dds(rng, w, h, kind, mips):
    """kind: 1, 3 or 5 (DXT), "argb" or "xrgb". Each mip level is a picture
    of its own, so that levels made from the first would show."""
    levels, lw, lh = [], w, h
    while True:
        rgba = pixels(rng, lw, lh, kind in (3, 5, "argb"))
        if kind in (1, 3, 5):
            levels.append(_dxt(rgba, lw, lh, kind))
        else:
            levels.append(b"".join(bytes((b, g, r, a if kind == "argb"
                                          else 255)) for r, g, b, a in rgba))
        if not mips or (lw, lh) == (1, 1):
            break
        lw, lh = max(1, lw // 2), max(1, lh // 2)
    flags = 0x1 | 0x2 | 0x4 | 0x1000 | (0x20000 if mips else 0)
    if kind in (1, 3, 5):
        pixel = struct.pack("<II4sIIIII", 32, 0x4, b"DXT%d" % kind, 0, 0, 0,
                            0, 0)
        flags |= 0x80000
        pitch = len(levels[0])
    else:
        alpha = kind == "argb"
        pixel = struct.pack("<II4sIIIII", 32, 0x40 | (0x1 if alpha else 0),
                            b"\0\0\0\0", 32, 0xFF0000, 0xFF00, 0xFF,
                            0xFF000000 if alpha else 0)
        flags |= 0x8
        pitch = 4 * w
    caps = 0x1000 | (0x400008 if mips else 0)
    head = struct.pack("<IIIIIII", 124, flags, h, w, pitch, 0,
                       len(levels) if mips else 0) + b"\0" * 44 + pixel + \
        struct.pack("<IIIII", caps, 0, 0, 0, 0)
    return b"DDS " + head + b"".join(levels)


# -------------------------------------------------------------------- PPM

def ppm(rng, w, h):
    rgba = pixels(rng, w, h, False)
    return b"P6\n%d %d\n255\n" % (w, h) + b"".join(bytes(p[:3])
                                                  for p in rgba)


# ----------------------------------------------------------------- choice

KINDS = [
    ("bmp1", "bmp", lambda r, w, h: bmp(r, w, h, 1)),
    ("bmp4", "bmp", lambda r, w, h: bmp(r, w, h, 4)),
    ("bmp8", "bmp", lambda r, w, h: bmp(r, w, h, 8)),
    ("bmp8-topdown", "bmp", lambda r, w, h: bmp(r, w, h, 8, topdown=True)),
    ("bmp16", "bmp", lambda r, w, h: bmp(r, w, h, 16)),
    ("bmp24", "bmp", lambda r, w, h: bmp(r, w, h, 24)),
    ("bmp24-topdown", "bmp", lambda r, w, h: bmp(r, w, h, 24, topdown=True)),
    ("bmp32", "bmp", lambda r, w, h: bmp(r, w, h, 32)),
    ("bmp-rle8", "bmp", lambda r, w, h: bmp(r, w, h, 8, rle=True)),
    ("bmp-rle4", "bmp", lambda r, w, h: bmp(r, w, h, 4, rle=True)),
    ("png-palette", "png", lambda r, w, h: png(r, w, h, 3)),
    ("png-grey", "png", lambda r, w, h: png(r, w, h, 0)),
    ("png-greyalpha", "png", lambda r, w, h: png(r, w, h, 4)),
    ("png-rgb", "png", lambda r, w, h: png(r, w, h, 2)),
    ("png-rgba", "png", lambda r, w, h: png(r, w, h, 6)),
    ("png-interlaced", "png", lambda r, w, h: png(r, w, h, r.choice([2, 6]),
                                                  True)),
    ("jpeg", "jpg", lambda r, w, h: jpeg(r, w, h, "baseline")),
    ("jpeg-progressive", "jpg", lambda r, w, h: jpeg(r, w, h, "progressive")),
    ("jpeg-grey", "jpg", lambda r, w, h: jpeg(r, w, h, "grey")),
    ("tga24", "tga", lambda r, w, h: tga(r, w, h, 24)),
    ("tga32-topdown", "tga", lambda r, w, h: tga(r, w, h, 32, topdown=True)),
    ("tga-rle", "tga", lambda r, w, h: tga(r, w, h, r.choice([24, 32]),
                                           rle=True)),
    ("dds-dxt1", "dds", lambda r, w, h: dds(r, w, h, 1, False)),
    ("dds-dxt3-mips", "dds", lambda r, w, h: dds(r, w, h, 3, True)),
    ("dds-dxt5", "dds", lambda r, w, h: dds(r, w, h, 5, r.random() < 0.5)),
    ("dds-dxt1-mips", "dds", lambda r, w, h: dds(r, w, h, 1, True)),
    ("dds-argb", "dds", lambda r, w, h: dds(r, w, h, "argb",
                                            r.random() < 0.5)),
    ("dds-xrgb-mips", "dds", lambda r, w, h: dds(r, w, h, "xrgb", True)),
    ("ppm", "ppm", lambda r, w, h: ppm(r, w, h)),
]


def generate(seed):
    """(file name, bytes) of the random picture of `seed`."""
    rng = random.Random("picture-%d" % seed)
    name, extension, make = KINDS[rng.randrange(len(KINDS))]
    w, h = rng.choice(SIZES_NPOT if rng.random() < 0.35 else SIZES_POT)
    if extension == "dds" and (w % 4 or h % 4):
        w, h = (w + 3) // 4 * 4, (h + 3) // 4 * 4  # whole blocks
    return "random-%d-%s-%dx%d.%s" % (seed, name, w, h, extension), \
        make(rng, w, h)
