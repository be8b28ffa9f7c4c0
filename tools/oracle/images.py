"""Pictures for the conformance check: binary PPM and 8-bit RGB PNG read
and written with the standard library, and the comparison of two frames."""

import struct
import zlib


class Picture:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, bytes(rgb)

    def at(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i:i + 3])


def _ppm_tokens(data, count):
    """The first `count` header tokens of a PPM and where its pixels start."""
    tokens, i = [], 0
    while len(tokens) < count:
        while i < len(data) and data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b"#":
            while i < len(data) and data[i:i + 1] not in b"\n":
                i += 1
            continue
        start = i
        while i < len(data) and not data[i:i + 1].isspace():
            i += 1
        if start == i:
            raise ValueError("the PPM header ends early")
        tokens.append(data[start:i])
    return tokens, i + 1


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    tokens, start = _ppm_tokens(data, 4)
    if tokens[0] != b"P6" or tokens[3] != b"255":
        raise ValueError(path + " is not an 8-bit binary PPM")
    width, height = int(tokens[1]), int(tokens[2])
    rgb = data[start:start + 3 * width * height]
    if len(rgb) != 3 * width * height:
        raise ValueError(path + " is shorter than its size says")
    return Picture(width, height, rgb)


def _chunk(kind, body):
    crc = zlib.crc32(kind + body) & 0xFFFFFFFF
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)


def write_png(path, picture):
    row = 3 * picture.width
    raw = b"".join(b"\0" + picture.rgb[y * row:(y + 1) * row]
                   for y in range(picture.height))
    header = struct.pack(">IIBBBBB", picture.width, picture.height, 8, 2,
                         0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header) +
                _chunk(b"IDAT", zlib.compress(raw, 6)) + _chunk(b"IEND", b""))


def _unfilter(kind, line, previous, bpp):
    out = bytearray(line)
    for i in range(len(out)):
        left = out[i - bpp] if i >= bpp else 0
        up = previous[i]
        corner = previous[i - bpp] if i >= bpp else 0
        if kind == 1:
            out[i] = (out[i] + left) & 255
        elif kind == 2:
            out[i] = (out[i] + up) & 255
        elif kind == 3:
            out[i] = (out[i] + (left + up) // 2) & 255
        elif kind == 4:
            p = left + up - corner
            pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
            pred = left if pa <= pb and pa <= pc else up if pb <= pc else corner
            out[i] = (out[i] + pred) & 255
    return out


def read_png(path):
    """An 8-bit RGB or RGBA PNG without interlacing, as RGB."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG")
    i, idat, header = 8, b"", None
    while i < len(data):
        length, kind = struct.unpack(">I4s", data[i:i + 8])
        body = data[i + 8:i + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        i += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(path + ": only 8-bit RGB or RGBA PNGs are read")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rgb, previous = bytearray(), bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        line = _unfilter(raw[start], raw[start + 1:start + 1 + stride],
                         previous, bpp)
        previous = line
        if bpp == 3:
            rgb += line
        else:
            for x in range(width):
                rgb += line[4 * x:4 * x + 3]
    return Picture(width, height, rgb)


def read(path):
    return read_ppm(path) if path.endswith(".ppm") else read_png(path)


def compare(a, b, threshold=8):
    """(per cent of pixels whose largest channel difference exceeds
    `threshold`, the largest difference, a difference picture x4)."""
    if (a.width, a.height) != (b.width, b.height):
        raise ValueError("the frames differ in size: %dx%d and %dx%d" %
                         (a.width, a.height, b.width, b.height))
    over, largest = 0, 0
    diff = bytearray(len(a.rgb))
    for p in range(0, len(a.rgb), 3):
        d0 = abs(a.rgb[p] - b.rgb[p])
        d1 = abs(a.rgb[p + 1] - b.rgb[p + 1])
        d2 = abs(a.rgb[p + 2] - b.rgb[p + 2])
        worst = max(d0, d1, d2)
        if worst > threshold:
            over += 1
        if worst > largest:
            largest = worst
        diff[p], diff[p + 1], diff[p + 2] = (min(255, 4 * d0), min(255, 4 * d1),
                                             min(255, 4 * d2))
    pixels = a.width * a.height
    return 100.0 * over / pixels, largest, Picture(a.width, a.height, diff)
