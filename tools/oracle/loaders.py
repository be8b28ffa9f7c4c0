"""Korvane's loaders against the Direct3D utility library's: each .x mesh
and picture is loaded by Wine's d3dx9 (tools/oracle/load) and by
korvane-loaddump, and the two results compared.

Meshes: the vertex counts the log prints, the vertex format, the vertices as
a set, the triangles as a set (each one's three corners' data, rotated but
with the winding kept, since the optimiser's order is not ours to match),
each triangle's material, the material list, and the triangles of the
optimised mesh and of the 0x212 clone. Positions, normals and texture
coordinates agree within 1e-4 (relative beyond 1), colours exactly.

Pictures: the picture decoded at its own size, the texture's size and level
count, and each level's texels, compared in the oracle's texel format
(Korvane's 8-bit channels rounded to its bits). Exact where no filter runs;
DXT within 2 (decoders round the interpolated colours differently) and JPEG
within 1 (IDCT rounding). Levels D3DX makes with its box filter are held
against the 2x2 average of the level above as Korvane made it, within 1:
D3DX averages in floating point and dithers to 8 bits.

Where Wine's d3dx9 is known to differ from Windows the file, or the part
of it, is "left out" with the reason (see WINE_DIFFERS)."""

import json
import os
import re
import struct
import subprocess
from collections import defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
LOADDUMP = os.path.join(ROOT, "build", "korvane-loaddump")

TOLERANCE = 1e-4
LIMIT_DXT, LIMIT_JPEG, LIMIT_BOX = 2, 1, 1

# Why a case is left out; /work notes and the README list the evidence.
WINE_DIFFERS = {
    "offsets": "Wine offsets the indices of each further mesh by 3 x the "
               "faces before it, not by their vertices",
    "order": "Wine multiplies a nested frame's transform on the wrong side",
    "normals": "Wine moves normals by the frame's translation",
    "refuses": "Wine's d3dx9 refuses the file",
    "filter": "Wine point-samples where Windows filters (FIXME Unhandled "
              "filter)",
    "bmp-packed": "Wine decodes 1- and 4-bit BMPs wrongly",
    "chroma": "JPEG chroma upsampling differs between decoders, and "
              "Windows' own is not known here",
    "default": "d3dx9 gives a file without material lists one default "
               "material; nothing shows D3DX 8 did",
}

# What d3dx9 returns for a file whose meshes have no material list.
DEFAULT_MATERIAL = {"diffuse": [0.5, 0.5, 0.5, 0.0],
                    "specular": [0.5, 0.5, 0.5, 0.0],
                    "emissive": [0.0, 0.0, 0.0, 0.0], "power": 0.0,
                    "texture": None}

FVF_XYZ, FVF_NORMAL, FVF_DIFFUSE, FVF_SPECULAR = 0x002, 0x010, 0x040, 0x080
DXT = {0x31545844: 1, 0x32545844: 3, 0x33545844: 3, 0x34545844: 5,
       0x35545844: 5}
JPEG_FILE = 1  # D3DXIFF_JPG
DDS_FILE = 4


class Failure(Exception):
    """The oracle or the dump could not be run."""


# ------------------------------------------------------------------ meshes

class Vertex:
    __slots__ = ("position", "normal", "colour", "uv")

    def __init__(self, position, normal, colour, uv):
        self.position, self.normal, self.colour, self.uv = (
            position, normal, colour, uv)


def _layout(fvf):
    """Offsets of position, normal, diffuse and the texture coordinate
    sets (with their float counts) in a vertex of `fvf`."""
    offset = {0x002: 12, 0x004: 16, 0x006: 16, 0x008: 20, 0x00A: 24,
              0x00C: 28, 0x00E: 32}.get(fvf & 0x00E, 12)
    normal = diffuse = None
    if fvf & FVF_NORMAL:
        normal, offset = offset, offset + 12
    if fvf & 0x020:
        offset += 4
    if fvf & FVF_DIFFUSE:
        diffuse, offset = offset, offset + 4
    if fvf & FVF_SPECULAR:
        offset += 4
    sets = []
    for i in range((fvf >> 8) & 0xF):
        size = (2, 3, 4, 1)[(fvf >> (16 + 2 * i)) & 3]
        sets.append((offset, size))
        offset += 4 * size
    return normal, diffuse, sets


def vertices(data):
    """The vertices of one mesh of a dump."""
    raw = bytes.fromhex(data.get("vertices", ""))
    stride, fvf = data["stride"], data["fvf"]
    normal, diffuse, sets = _layout(fvf)
    out = []
    for start in range(0, len(raw) - stride + 1, stride):
        v = raw[start:start + stride]
        out.append(Vertex(
            struct.unpack_from("<3f", v, 0),
            struct.unpack_from("<3f", v, normal) if normal is not None else None,
            struct.unpack_from("<I", v, diffuse)[0] if diffuse is not None else None,
            tuple(struct.unpack_from("<%df" % n, v, o) for o, n in sets)))
    return out


def _close(a, b):
    return all(abs(x - y) <= TOLERANCE * max(1.0, abs(x), abs(y))
               for x, y in zip(a, b))


def same_vertex(a, b, normals=True):
    """Equal in what both have; a component only one has is the format's
    difference, reported apart. Normals are left aside unless `normals`."""
    if not _close(a.position, b.position):
        return False
    if normals and a.normal is not None and b.normal is not None and \
            not _close(a.normal, b.normal):
        return False
    if a.colour is not None and b.colour is not None and a.colour != b.colour:
        return False
    return all(_close(x, y) for x, y in zip(a.uv, b.uv))


class Grid:
    """Cells a little larger than the tolerance, to find close positions
    among a cell's neighbours."""

    def __init__(self, *meshes):
        scale = max([1.0] + [abs(c) for m in meshes for v in m if v
                             for c in v.position])
        self.size = 4 * TOLERANCE * scale

    def key(self, p):
        return tuple(int(c // self.size) for c in p)

    def near(self, p):
        x, y, z = self.key(p)
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for dz in (-1, 0, 1):
                    yield (x + dx, y + dy, z + dz)


def unmatched_vertices(ours, theirs, normals=True):
    """How many of `ours` have no equal among `theirs`."""
    grid, index = Grid(ours, theirs), defaultdict(list)
    for v in theirs:
        index[grid.key(v.position)].append(v)
    return sum(1 for v in ours
               if not any(same_vertex(v, w, normals) for key in grid.near(v.position)
                          for w in index.get(key, ())))


def triangles(data, materials):
    """[(three corners, material)] of one mesh of a dump; a corner outside
    the vertices is None."""
    corners = vertices(data)
    indices, attributes = data.get("indices", []), data.get("attributes", [])
    out = []
    for f in range(len(indices) // 3):
        three = tuple(corners[i] if i < len(corners) else None
                      for i in indices[3 * f:3 * f + 3])
        attribute = attributes[f] if f < len(attributes) else None
        material = materials[attribute] if attribute is not None and \
            attribute < len(materials) else None
        out.append((three, material))
    return out


def match_triangles(ours, theirs, normals=True):
    """(pairs (i, j) of equal triangles, the rest of ours, the rest of
    theirs): corners equal in order up to a rotation."""
    grid = Grid([c for t, _ in ours for c in t], [c for t, _ in theirs for c in t])
    index = defaultdict(list)
    for j, (three, _) in enumerate(theirs):
        if None in three:
            continue
        for r in range(3):
            index[grid.key(three[r].position)].append((j, r))
    used, pairs, rest = set(), [], []
    for i, (three, _) in enumerate(ours):
        found = None
        if None not in three:
            for key in grid.near(three[0].position):
                for j, r in index.get(key, ()):
                    other = theirs[j][0]
                    if j not in used and all(
                            same_vertex(three[k], other[(r + k) % 3], normals)
                            for k in range(3)):
                        found = j
                        break
                if found is not None:
                    break
        if found is None:
            rest.append(i)
        else:
            used.add(found)
            pairs.append((i, found))
    return pairs, rest, [j for j in range(len(theirs)) if j not in used]


def _texture(name):
    """A texture name as Windows opens it: runs of separators are one."""
    return re.sub(r"[\\/]+", "\\\\", name) if name else name


def same_material(a, b):
    """Ambient is left aside: the mesh layer sets it to the diffuse."""
    if a is None or b is None:
        return a is b
    for key in ("diffuse", "specular", "emissive"):
        if not _close(a[key], b[key]):
            return False
    return _close([a["power"]], [b["power"]]) and \
        _texture(a.get("texture")) == _texture(b.get("texture"))


def compare_mesh_data(name, oracle, ours, rows, normals=True):
    """Rows for one of the loaded, optimised or cloned meshes."""
    if oracle is None or ours is None:
        rows.append((name, "differs" if (oracle is None) != (ours is None)
                     else "ok", "%s has none" % ("D3DX" if oracle is None
                                                 else "Korvane")))
        return None
    theirs_m, ours_m = oracle["_materials"], ours["_materials"]
    a, b = triangles(oracle, theirs_m), triangles(ours, ours_m)
    pairs, only_a, only_b = match_triangles(a, b, normals)
    wrong = sum(1 for i, j in pairs if not same_material(a[i][1], b[j][1]))
    fvf = "" if oracle["fvf"] == ours["fvf"] else \
        "format %#x, Korvane %#x; " % (oracle["fvf"], ours["fvf"])
    detail = "%s%d of %d D3DX triangles not in Korvane's, %d of %d " \
             "Korvane's not in D3DX's; %d with another material" % (
                 fvf, len(only_a), len(a), len(only_b), len(b), wrong)
    bad = fvf or only_a or only_b or wrong
    rows.append((name, "differs" if bad else "ok", detail))
    return a, b, pairs


def compare_mesh(oracle, ours, reasons=()):
    """[(aspect, "ok" | "differs" | "left out", detail)]; `reasons`, keys of
    WINE_DIFFERS, leave out what Wine's merging of the parts gets wrong."""
    rows = []
    for side in (oracle, ours):
        for stage in ("loaded", "optimized", "clone"):
            if side.get(stage):
                side[stage]["_materials"] = side.get("materials", [])
    load = oracle["loaded"]
    counts = (load["vertexcount"], load["facecount"])
    logged = (ours["logvertexcount"], ours["logfacecount"])
    rows.append(("log counts", "ok" if counts == logged else "differs",
                 "D3DX %d vertices, %d faces; Korvane's log %d, %d "
                 "(its mesh %d vertices)" % (counts + logged + (
                     ours["loaded"]["vertexcount"],))))
    theirs_m, ours_m = oracle.get("materials", []), ours.get("materials", [])
    if not ours_m and len(theirs_m) == 1 and \
            same_material(theirs_m[0], DEFAULT_MATERIAL):
        # Korvane keeps a file without material lists materialless (the
        # README says why); its faces then carry no material on either side.
        for stage in ("loaded", "optimized", "clone"):
            if oracle.get(stage):
                oracle[stage]["_materials"] = []
        rows.append(("materials", "ok", "D3DX's default material, Korvane "
                     "none: decided, " + WINE_DIFFERS["default"]))
    else:
        differ = sum(1 for x, y in zip(theirs_m, ours_m)
                     if not same_material(x, y))
        differ += abs(len(theirs_m) - len(ours_m))
        rows.append(("materials", "differs" if differ else "ok",
                     "D3DX %d, Korvane %d; %d differ in order (ambient aside)"
                     % (len(theirs_m), len(ours_m), differ)))
    normals = "normals" not in reasons
    aside = "" if normals else " (normals left out)"
    if "order" in reasons:
        rows.append(("geometry", "left out", WINE_DIFFERS["order"]))
        return rows
    a, b = vertices(load), vertices(ours["loaded"])
    missing = unmatched_vertices(a, b, normals)
    extra = unmatched_vertices(b, a, normals)
    rows.append(("vertices", "differs" if missing or extra else "ok",
                 "%d of %d D3DX vertices not in Korvane's, %d of %d "
                 "Korvane's not in D3DX's%s" % (missing, len(a), extra, len(b),
                                                aside)))
    if "offsets" in reasons:
        rows.append(("triangles", "left out", WINE_DIFFERS["offsets"]))
        return rows
    compare_mesh_data("triangles", load, ours["loaded"], rows, normals)
    compare_mesh_data("optimised", oracle.get("optimized"),
                      ours.get("optimized"), rows, normals)
    compare_mesh_data("clone 0x212", oracle.get("clone"), ours.get("clone"),
                      rows, normals)
    if aside:
        rows[-3:] = [(n, st, d + aside) for n, st, d in rows[-3:]]
    return rows


def _translation(m):
    return any(abs(c) > 1e-6 for c in m[12:15])


def wine_mesh_reasons(oracle):
    """The keys of WINE_DIFFERS whose case this file is, from its parts."""
    parts = [p for p in oracle.get("parts", []) if p.get("loaded")]
    reasons = []
    offset_wine = offset_right = 0
    for p in parts[:-1]:
        offset_wine += 3 * p["facecount"]
        offset_right += p["vertexcount"]
        if offset_wine != offset_right:
            reasons.append("offsets")
            break
    if any(not _close(p["library"], p["nested"]) for p in parts):
        reasons.append("order")
    if any(p["fvf"] & FVF_NORMAL and _translation(p["library"])
           for p in parts):
        reasons.append("normals")
    return reasons


# ---------------------------------------------------------------- pictures

def _expand(value, bits):
    return (value * 255 + (1 << bits) // 2 - 1) // ((1 << bits) - 1) \
        if bits else 255


# format: [(channel, shift, bits)] for r, g, b, a; a missing channel is 255
# (alpha) or the luminance (grey).
PACKED = {
    21: (4, ((16, 8), (8, 8), (0, 8), (24, 8))),
    22: (4, ((16, 8), (8, 8), (0, 8), None)),
    20: (3, ((16, 8), (8, 8), (0, 8), None)),
    23: (2, ((11, 5), (5, 6), (0, 5), None)),
    24: (2, ((10, 5), (5, 5), (0, 5), None)),
    25: (2, ((10, 5), (5, 5), (0, 5), (15, 1))),
    26: (2, ((8, 4), (4, 4), (0, 4), (12, 4))),
    30: (2, ((8, 4), (4, 4), (0, 4), None)),
    27: (1, ((5, 3), (2, 3), (0, 2), None)),
    28: (1, (None, None, None, (0, 8))),
    50: (1, ((0, 8), (0, 8), (0, 8), None)),
    51: (2, ((0, 8), (0, 8), (0, 8), (8, 8))),
}


def bits_of(fmt):
    """Bits of r, g, b, a in `fmt` (0: not held), or None if unknown."""
    if fmt in DXT:
        return (8, 8, 8, 8)  # interpolated colours hold more than 5:6:5
    if fmt not in PACKED:
        return None
    return tuple(c[1] if c else 0 for c in PACKED[fmt][1])


def _dxt_colours(block, alpha_mode):
    c0, c1 = struct.unpack_from("<HH", block, 0)

    def rgb(c):
        return (_expand(c >> 11, 5), _expand((c >> 5) & 63, 6),
                _expand(c & 31, 5))
    a, b = rgb(c0), rgb(c1)
    if c0 > c1 or alpha_mode != 1:
        return [a + (255,), b + (255,),
                tuple((2 * x + y + 1) // 3 for x, y in zip(a, b)) + (255,),
                tuple((x + 2 * y + 1) // 3 for x, y in zip(a, b)) + (255,)]
    return [a + (255,), b + (255,),
            tuple((x + y) // 2 for x, y in zip(a, b)) + (255,), (0, 0, 0, 0)]


def _dxt_alpha(block, kind):
    if kind == 3:
        bits = int.from_bytes(block[:8], "little")
        return [_expand((bits >> (4 * i)) & 15, 4) for i in range(16)]
    a0, a1 = block[0], block[1]
    table = [a0, a1] + ([((7 - i) * a0 + i * a1 + 3) // 7 for i in range(1, 7)]
                        if a0 > a1 else
                        [((5 - i) * a0 + i * a1 + 2) // 5 for i in range(1, 5)]
                        + [0, 255])
    bits = int.from_bytes(block[2:8], "little")
    return [table[(bits >> (3 * i)) & 7] for i in range(16)]


def texels_rgba(level):
    """[(r, g, b, a)] row by row of a dumped level, or None for a format
    this comparison does not read."""
    fmt, w, h = level["format"], level["width"], level["height"]
    raw = bytes.fromhex(level.get("texels") or "")
    if fmt in DXT:
        kind, size = DXT[fmt], 8 if DXT[fmt] == 1 else 16
        out = [(0, 0, 0, 0)] * (w * h)
        bw = (w + 3) // 4
        for n in range(len(raw) // size):
            block = raw[n * size:(n + 1) * size]
            colour = block if kind == 1 else block[8:]
            table = _dxt_colours(colour, kind)
            alpha = None if kind == 1 else _dxt_alpha(block[:8], kind)
            codes = struct.unpack_from("<I", colour, 4)[0]
            bx, by = n % bw, n // bw
            for i in range(16):
                x, y = 4 * bx + i % 4, 4 * by + i // 4
                if x < w and y < h:
                    c = table[(codes >> (2 * i)) & 3]
                    out[y * w + x] = c if alpha is None else c[:3] + (alpha[i],)
        return out
    if fmt not in PACKED:
        return None
    size, channels = PACKED[fmt]
    out = []
    for i in range(0, min(len(raw), size * w * h), size):
        value = int.from_bytes(raw[i:i + size], "little")
        out.append(tuple(
            _expand((value >> c[0]) & ((1 << c[1]) - 1), c[1]) if c else
            (255 if k == 3 else 0) for k, c in enumerate(channels)))
    return out


def _quantise(value, bits):
    return _expand((value * ((1 << bits) - 1) + 127) // 255, bits)


def texel_difference(theirs, ours, bits):
    """(largest channel difference, texels differing) with `ours` in the
    precision `bits` of the oracle's format. Alpha is compared where the
    oracle's format holds it; where it does not, ours must be opaque."""
    largest = count = 0
    for a, b in zip(theirs, ours):
        worst = 0
        for k in range(3):
            if bits[k]:
                worst = max(worst, abs(a[k] - _quantise(b[k], bits[k])))
        alpha = abs(a[3] - _quantise(b[3], bits[3])) if bits[3] else \
            255 - b[3]
        worst = max(worst, alpha)
        largest = max(largest, worst)
        count += worst > 0
    return largest, count


def box_level(above, aw, ah, w, h):
    """The w x h level that the 2x2 average makes of the aw x ah one."""
    out = []
    for y in range(h):
        for x in range(w):
            xs = sorted({min(2 * x, aw - 1), min(2 * x + 1, aw - 1)})
            ys = sorted({min(2 * y, ah - 1), min(2 * y + 1, ah - 1)})
            group = [above[j * aw + i] for j in ys for i in xs]
            out.append(tuple((sum(c[k] for c in group) + len(group) // 2) //
                             len(group) for k in range(4)))
    return out


def _pot(n):
    return n & (n - 1) == 0


def compare_picture(oracle, ours, reasons):
    """[(aspect, state, detail)] for a picture; `reasons` gathers the keys
    of WINE_DIFFERS that leave parts of it out."""
    rows = []
    info = oracle.get("file", {})
    exact = LIMIT_JPEG if info.get("filetype") == JPEG_FILE else 0
    src_a, src_b = oracle.get("source"), ours.get("source")
    if src_a and src_b:
        if (src_a["width"], src_a["height"]) != (src_b["width"],
                                                 src_b["height"]):
            rows.append(("decoded", "differs", "%dx%d, Korvane %dx%d" % (
                src_a["width"], src_a["height"], src_b["width"],
                src_b["height"])))
        else:
            largest, count = texel_difference(
                texels_rgba(src_a), texels_rgba(src_b), (8, 8, 8, 8))
            rows.append(("decoded", "differs" if largest > exact else "ok",
                         "%d texels differ, largest %d (limit %d)" % (
                             count, largest, exact)))
    levels_a, levels_b = oracle.get("levels", []), ours.get("levels", [])
    size_a = [(l["width"], l["height"]) for l in levels_a]
    size_b = [(l["width"], l["height"]) for l in levels_b]
    rows.append(("levels", "ok" if size_a == size_b else "differs",
                 "D3DX %s, Korvane %s" % (
                     "%dx%d in %d" % (size_a[0] + (len(size_a),)) if size_a
                     else "none",
                     "%dx%d in %d" % (size_b[0] + (len(size_b),)) if size_b
                     else "none")))
    if not size_a or not size_b or size_a[0] != size_b[0]:
        return rows
    w, h = info.get("width", 0), info.get("height", 0)
    own_levels = info.get("filetype") == DDS_FILE and info.get("levels", 1) > 1
    resized = not (_pot(w) and _pot(h)) or size_a[0] != (w, h)
    for n, (a, b) in enumerate(zip(levels_a, levels_b)):
        if size_a[n] != size_b[n]:
            break
        bits = bits_of(a["format"])
        theirs, mine = texels_rgba(a), texels_rgba(b)
        name = "level %d" % n
        if bits is None or theirs is None or mine is None:
            rows.append((name, "differs", "format %d not read" % a["format"]))
            continue
        limit = LIMIT_DXT if a["format"] in DXT else exact
        # The file's own levels are each filtered onto a resized texture.
        if resized and (n == 0 or (own_levels and n < info["levels"])):
            if "filter" not in reasons:
                reasons.append("filter")
            rows.append((name, "left out", WINE_DIFFERS["filter"]))
            continue
        if n > 0 and not (own_levels and n < info["levels"]):
            # D3DX's box filter; Wine's levels are point samples.
            theirs = box_level(texels_rgba(levels_b[n - 1]),
                               *(size_b[n - 1] + size_b[n]))
            bits, limit = (8, 8, 8, 8), LIMIT_BOX
        largest, count = texel_difference(theirs, mine, bits)
        rows.append((name, "differs" if largest > limit else "ok",
                     "%d texels differ, largest %d (limit %d%s)" % (
                         count, largest, limit,
                         ", against the box filter of the level above"
                         if limit == LIMIT_BOX and n else "")))
    return rows


def _jpeg_subsampled(data):
    """True when a JPEG frame's components differ in sampling factors."""
    i = 2
    while i + 4 <= len(data) and data[i] == 0xFF:
        marker, length = data[i + 1], struct.unpack_from(">H", data, i + 2)[0]
        if marker in (0xC0, 0xC1, 0xC2):
            count = data[i + 9]
            factors = {data[i + 11 + 3 * k] for k in range(count)}
            return len(factors) > 1
        i += 2 + length
    return False


def picture_file_reasons(path):
    """Keys of WINE_DIFFERS that the file's header alone tells."""
    try:
        with open(path, "rb") as f:
            data = f.read(1 << 16)
    except OSError:
        return []
    if data[:2] == b"BM" and len(data) >= 30 and \
            struct.unpack_from("<H", data, 28)[0] in (1, 4):
        return ["bmp-packed"]
    if data[:2] == b"\xff\xd8" and _jpeg_subsampled(data):
        return ["chroma"]
    return []


# ------------------------------------------------------------------ running

def _name(i, path):
    return "%04d-%s.json" % (i, re.sub(r"[^A-Za-z0-9._-]", "_",
                                       os.path.basename(path)))


def kind_of(path):
    return "mesh" if path.lower().endswith(".x") else "picture"


def load_both(files, work):
    """{path: (oracle's dump, Korvane's dump, the runtime's messages)}."""
    os.makedirs(os.path.join(work, "oracle"), exist_ok=True)
    os.makedirs(os.path.join(work, "korvane"), exist_ok=True)
    lines = {"oracle": [], "korvane": []}
    for i, path in enumerate(files):
        for side in lines:
            lines[side].append("%s\t%s\t%s\n" % (
                kind_of(path), path, os.path.join(work, side, _name(i, path))))
    for side in lines:
        with open(os.path.join(work, side + ".list"), "w") as f:
            f.writelines(lines[side])
    load = subprocess.run(
        [os.path.join(HERE, "load"), os.path.join(work, "oracle.list"), work],
        stdin=subprocess.DEVNULL, capture_output=True, text=True,
        errors="replace")
    if load.returncode != 0:
        raise Failure("the loader oracle failed:\n" + load.stderr[-2000:])
    dump = subprocess.run([LOADDUMP, os.path.join(work, "korvane.list")],
                          stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, errors="replace")
    if dump.returncode != 0:
        raise Failure("korvane-loaddump failed:\n" + dump.stderr[-2000:])
    messages, current = defaultdict(list), None
    for line in load.stderr.splitlines():
        if line.startswith("loader: "):
            current = line[len("loader: "):]
        elif current and (":err:" in line or ":fixme:" in line):
            messages[current].append(line.split(":", 3)[-1].strip())
    out = {}
    for i, path in enumerate(files):
        docs = []
        for side in ("oracle", "korvane"):
            with open(os.path.join(work, side, _name(i, path))) as f:
                docs.append(json.load(f))
        out[path] = (docs[0], docs[1], messages.get(path, []))
    return out


def verdict(oracle, ours, messages, path):
    """(verdict, [(aspect, state, detail)]) for one file. A verdict is
    "same", "differs", "both refuse" or "left out: ..."."""
    refused_a, refused_b = oracle.get("error"), ours.get("error")
    if refused_a and refused_b:
        return "both refuse", []
    if refused_a:
        why = "; ".join(sorted(set(messages))[:2]) or \
            "error %#x" % refused_a
        return "left out: %s (%s)" % (WINE_DIFFERS["refuses"], why), []
    if refused_b:
        return "differs", [("load", "differs", "Korvane refuses: %s" %
                            refused_b)]
    if oracle["kind"] == "mesh":
        reasons = wine_mesh_reasons(oracle)
        rows = compare_mesh(oracle, ours, reasons)
    else:
        reasons = picture_file_reasons(path)
        if reasons:
            return "left out: " + WINE_DIFFERS[reasons[0]], []
        rows = compare_picture(oracle, ours, reasons)
    if any(state == "differs" for _, state, _ in rows):
        return "differs", rows
    if reasons:
        return "same, in part: " + "; ".join(
            WINE_DIFFERS[r] for r in sorted(set(reasons))), rows
    return "same", rows


def compare_files(files, work):
    """[(path, verdict, rows)] for each file."""
    loaded = load_both(files, work)
    return [(path,) + verdict(*loaded[path], path) for path in files]
