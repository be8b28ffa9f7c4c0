"""Random .x mesh files for the loader oracle: text, binary and
MSZIP-compressed text ("tzip") and binary ("bzip"); frames with transforms,
nested and side by side; several meshes; materials inline, by reference,
declared at the top and inside frames; faces of 3 to 6 corners, concave
ones among them; normals absent, per vertex or indexed apart from the
positions; texture coordinates; vertex colours; with and without template
declarations. The same seed gives the same file.

Cases where Wine's d3dx9 is known to differ from Windows are avoided, so
that the files judge what Wine gets right: every mesh but the last is a
soup of triangles with three vertices each (Wine offsets the indices of a
further mesh by 3 x the faces before it), and below a frame whose matrix is
not a translation no frame has a matrix of its own (Wine multiplies nested
frames in the wrong order). Meshes with normals mostly avoid translated
frames; where not, the comparison leaves their normals out."""

import math
import random
import struct
import zlib

TEMPLATES = """template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433>
 FLOAT x; FLOAT y; FLOAT z; }
template Coords2d { <F6F23F44-7686-11CF-8F52-0040333594A3> FLOAT u; FLOAT v; }
template Matrix4x4 { <F6F23F45-7686-11CF-8F52-0040333594A3>
 array FLOAT matrix[16]; }
template ColorRGBA { <35FF44E0-6C7C-11CF-8F52-0040333594A3>
 FLOAT red; FLOAT green; FLOAT blue; FLOAT alpha; }
template ColorRGB { <D3E16E81-7835-11CF-8F52-0040333594A3>
 FLOAT red; FLOAT green; FLOAT blue; }
template IndexedColor { <1630B820-7842-11CF-8F52-0040333594A3>
 DWORD index; ColorRGBA indexColor; }
template TextureFilename { <A42790E1-7810-11CF-8F52-0040333594A3>
 STRING filename; }
template Material { <3D82AB4D-62DA-11CF-AB39-0020AF71E433>
 ColorRGBA faceColor; FLOAT power; ColorRGB specularColor;
 ColorRGB emissiveColor; [...] }
template MeshFace { <3D82AB5F-62DA-11CF-AB39-0020AF71E433>
 DWORD nFaceVertexIndices; array DWORD faceVertexIndices[nFaceVertexIndices]; }
template MeshTextureCoords { <F6F23F40-7686-11CF-8F52-0040333594A3>
 DWORD nTextureCoords; array Coords2d textureCoords[nTextureCoords]; }
template MeshMaterialList { <F6F23F42-7686-11CF-8F52-0040333594A3>
 DWORD nMaterials; DWORD nFaceIndexes; array DWORD faceIndexes[nFaceIndexes];
 [Material] }
template MeshNormals { <F6F23F43-7686-11CF-8F52-0040333594A3>
 DWORD nNormals; array Vector normals[nNormals]; DWORD nFaceNormals;
 array MeshFace faceNormals[nFaceNormals]; }
template MeshVertexColors { <1630B821-7842-11CF-8F52-0040333594A3>
 DWORD nVertexColors; array IndexedColor vertexColors[nVertexColors]; }
template Mesh { <3D82AB44-62DA-11CF-AB39-0020AF71E433>
 DWORD nVertices; array Vector vertices[nVertices]; DWORD nFaces;
 array MeshFace faces[nFaces]; [...] }
template FrameTransformMatrix { <F6F23F41-7686-11CF-8F52-0040333594A3>
 Matrix4x4 frameMatrix; }
template Frame { <3D82AB46-62DA-11CF-AB39-0020AF71E433> [...] }
"""


# ------------------------------------------------------------- the model

class Obj:
    """A data object: its template, name, data (a list of members) and
    children (objects, or names for references)."""

    def __init__(self, kind, name, data, children=()):
        self.kind, self.name, self.data = kind, name, data
        self.children = list(children)


def dwords(*values):
    return [("d", v) for v in values]


def floats(*values):
    return [("f", v) for v in values]


def struct_(*members):
    return ("s", list(members))


def array(elements):
    return ("a", list(elements))


# --------------------------------------------------------------- writing

def _text_value(value):
    kind, v = value
    if kind == "d":
        return "%d" % v
    if kind == "f":
        return "%.6f" % v
    if kind == "t":
        return '"%s"' % v
    if kind == "s":
        return "".join(_text_value(m) + ";" for m in v)
    return ",".join(_text_value(e) for e in v)


def text_object(obj, indent=""):
    head = indent + obj.kind + (" " + obj.name if obj.name else "") + " {\n"
    body = ""
    if obj.data:
        body = indent + " " + "".join(_text_value(m) + ";"
                                      for m in obj.data) + "\n"
    for child in obj.children:
        body += (indent + " { %s }\n" % child if isinstance(child, str)
                 else text_object(child, indent + " "))
    return head + body + indent + "}\n"


def _scalars(value, out):
    kind, v = value
    if kind in "dft":
        out.append(value)
    else:
        for m in v:
            _scalars(m, out)


TOKEN = {"name": 1, "string": 2, "integer_list": 6, "float_list": 7,
         "{": 10, "}": 11, ";": 20}


def _name(text):
    return struct.pack("<HI", TOKEN["name"], len(text)) + text.encode()


def binary_object(obj):
    out = _name(obj.kind) + (_name(obj.name) if obj.name else b"")
    out += struct.pack("<H", TOKEN["{"])
    flat = []
    for m in obj.data:
        _scalars(m, flat)
    i = 0
    while i < len(flat):
        kind = flat[i][0]
        j = i
        while j < len(flat) and flat[j][0] == kind and kind != "t":
            j += 1
        if kind == "t":
            text = flat[i][1].encode()
            out += struct.pack("<HI", TOKEN["string"], len(text)) + text + \
                struct.pack("<H", TOKEN[";"])
            i += 1
            continue
        run = [v for _, v in flat[i:j]]
        out += struct.pack("<HI", TOKEN["integer_list" if kind == "d"
                                        else "float_list"], len(run))
        out += struct.pack("<%d%s" % (len(run), "I" if kind == "d" else "f"),
                           *run)
        i = j
    for child in obj.children:
        if isinstance(child, str):
            out += struct.pack("<H", TOKEN["{"]) + _name(child) + \
                struct.pack("<H", TOKEN["}"])
        else:
            out += binary_object(child)
    return out + struct.pack("<H", TOKEN["}"])


def mszip(header, body):
    """The compressed form: the header, the whole size, then blocks of at
    most 32 KiB, each a deflate stream of its own after "CK"."""
    out = header + struct.pack("<I", 16 + len(body))
    for start in range(0, len(body), 32768):
        chunk = body[start:start + 32768]
        squeeze = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = b"CK" + squeeze.compress(chunk) + squeeze.flush()
        out += struct.pack("<HH", len(chunk), len(packed)) + packed
    return out


def write(objects, encoding, templates):
    """The file's bytes: `encoding` is txt, bin, tzip or bzip."""
    if encoding in ("txt", "tzip"):
        body = (TEMPLATES if templates else "") + "".join(
            text_object(o) for o in objects)
        body = body.encode()
    else:
        body = b"".join(binary_object(o) for o in objects)
    header = b"xof 0303" + encoding.ljust(4).encode() + b"0032"
    if encoding in ("tzip", "bzip"):
        return mszip(header, body)
    return header + (b"\n" if encoding == "txt" else b"") + body


# ------------------------------------------------------------ generation

def _polygon(rng, corners, concave):
    """2D corners, counter-clockwise: on a circle, or with one corner
    pulled inward past the centre line of its neighbours."""
    angles = sorted(rng.uniform(0, 2 * math.pi) for _ in range(corners))
    points = [(math.cos(a) * rng.uniform(0.6, 1.0),
               math.sin(a) * rng.uniform(0.6, 1.0)) for a in angles]
    if concave and corners >= 4:
        k = rng.randrange(1, corners)
        points[k] = (points[k][0] * 0.15, points[k][1] * 0.15)
    if rng.random() < 0.5:
        points.reverse()  # the other winding
    return points


def _place(rng, points):
    """The polygon on a random plane at a random place."""
    ax, ay = rng.uniform(0, math.pi), rng.uniform(0, 2 * math.pi)
    u = (math.cos(ay), math.sin(ay), 0.0)
    v = (-math.sin(ay) * math.cos(ax), math.cos(ay) * math.cos(ax),
         math.sin(ax))
    scale = rng.uniform(0.5, 3.0)
    centre = [rng.uniform(-5, 5) for _ in range(3)]
    return [tuple(centre[i] + scale * (x * u[i] + y * v[i]) for i in range(3))
            for x, y in points]


def _unit(rng):
    while True:
        v = [rng.uniform(-1, 1) for _ in range(3)]
        n = math.sqrt(sum(c * c for c in v))
        if n > 0.1:
            return [c / n for c in v]


def _material(rng, name=None):
    colour = [round(rng.random(), 3) for _ in range(3)]
    children = []
    if rng.random() < 0.4:
        children.append(Obj("TextureFilename", None, [
            ("t", "tex_%d.%s" % (rng.randrange(100), rng.choice(
                ["bmp", "png", "jpg", "tga"])))]))
    return Obj("Material", name, [
        struct_(*floats(*colour, round(rng.uniform(0.2, 1), 3))),
        ("f", round(rng.uniform(0, 60), 2)),
        struct_(*floats(*[round(rng.random(), 3) for _ in range(3)])),
        struct_(*floats(*[round(rng.random() * 0.5, 3) for _ in range(3)]))],
        children)


def _faces(rng, soup):
    """(positions, faces as index lists)."""
    positions, faces = [], []
    for _ in range(rng.randint(1, 6)):
        corners = 3 if soup else rng.choice([3, 3, 4, 4, 5, 6])
        concave = not soup and rng.random() < 0.4
        first = len(positions)
        positions += _place(rng, _polygon(rng, corners, concave))
        faces.append(list(range(first, first + corners)))
    if not soup and len(positions) >= 3 and rng.random() < 0.5:
        # A triangle over corners of other faces, sharing their vertices.
        faces.append(rng.sample(range(len(positions)), 3))
    if not soup and rng.random() < 0.15:
        positions.append(tuple(rng.uniform(-5, 5) for _ in range(3)))
    return positions, faces


def _mesh(rng, name, soup, normals_ok, materials_known):
    positions, faces = _faces(rng, soup)
    children = []
    normals = rng.choice(["none", "vertex", "apart"])
    if normals == "apart" and soup:
        normals = "vertex"
    if not normals_ok and rng.random() < 0.7:
        normals = "none"
    if normals == "vertex":
        children.append(Obj("MeshNormals", None, [
            ("d", len(positions)),
            array(struct_(*floats(*_unit(rng))) for _ in positions),
            ("d", len(faces)),
            array(struct_(("d", len(f)), array(dwords(*f))) for f in faces)]))
    elif normals == "apart":
        # One normal per face, so corners shared by faces get several.
        children.append(Obj("MeshNormals", None, [
            ("d", len(faces)),
            array(struct_(*floats(*_unit(rng))) for _ in faces),
            ("d", len(faces)),
            array(struct_(("d", len(f)), array(dwords(*[k] * len(f))))
                  for k, f in enumerate(faces))]))
    if rng.random() < 0.6:
        children.append(Obj("MeshTextureCoords", None, [
            ("d", len(positions)),
            array(struct_(*floats(round(rng.uniform(-1, 2), 4),
                                  round(rng.uniform(-1, 2), 4)))
                  for _ in positions)]))
    if rng.random() < 0.35:
        order = list(range(len(positions)))
        rng.shuffle(order)
        children.append(Obj("MeshVertexColors", None, [
            ("d", len(order)),
            array(struct_(("d", k), struct_(*floats(
                *[round(rng.random(), 3) for _ in range(4)])))
                for k in order)]))
    if rng.random() < 0.8:
        count = rng.randint(1, 3)
        slots = []
        for _ in range(count):
            if materials_known and rng.random() < 0.5:
                slots.append(rng.choice(materials_known))
            else:
                slots.append(_material(rng))
        children.append(Obj("MeshMaterialList", None, [
            ("d", count), ("d", len(faces)),
            array(dwords(*[rng.randrange(count) for _ in faces]))], slots))
    rng.shuffle(children)
    return Obj("Mesh", name, [
        ("d", len(positions)),
        array(struct_(*floats(*p)) for p in positions),
        ("d", len(faces)),
        array(struct_(("d", len(f)), array(dwords(*f))) for f in faces)],
        children)


def _matrix(rng, kind):
    """A row-major matrix: a translation, or a rotation with a uniform
    scale (and a translation when `kind` is "full")."""
    m = [1.0 if i % 5 == 0 else 0.0 for i in range(16)]
    if kind in ("rotation", "full"):
        axis, angle = _unit(rng), rng.uniform(-math.pi, math.pi)
        c, s, scale = math.cos(angle), math.sin(angle), rng.uniform(0.5, 2.0)
        x, y, z = axis
        rotation = [[c + x * x * (1 - c), x * y * (1 - c) + z * s,
                     x * z * (1 - c) - y * s],
                    [y * x * (1 - c) - z * s, c + y * y * (1 - c),
                     y * z * (1 - c) + x * s],
                    [z * x * (1 - c) + y * s, z * y * (1 - c) - x * s,
                     c + z * z * (1 - c)]]
        for r in range(3):
            for k in range(3):
                m[4 * r + k] = round(scale * rotation[r][k], 6)
    if kind in ("translation", "full"):
        for k in range(3):
            m[12 + k] = round(rng.uniform(-4, 4), 4)
    return Obj("FrameTransformMatrix", None, [
        struct_(array(floats(*m)))])


class _Scene:
    def __init__(self, rng):
        self.rng, self.meshes, self.count = rng, [], 0
        self.materials = []  # names declared so far

    def name(self, prefix):
        self.count += 1
        return "%s_%d" % (prefix, self.count)


def _frame(scene, chain, depth):
    """A frame; `chain` says what matrices lie above it: none, only
    translations, or one that is not ("fixed": none may follow)."""
    rng = scene.rng
    children, kinds = [], []
    if chain == "none":
        kinds = [rng.choice(["", "translation", "rotation", "full"])]
        if rng.random() < 0.2:
            kinds.append(rng.choice(["translation", "rotation"]))
    elif chain == "translations":
        kinds = [rng.choice(["", "translation"])]
    kinds = [k for k in kinds if k]
    below = "fixed" if any(k != "translation" for k in kinds) else \
        "translations" if kinds or chain == "translations" else chain
    if rng.random() < 0.3:
        name = scene.name("FrameMat")
        children.append(_material(rng, name))
        scene.materials.append(name)
    matrices = [_matrix(rng, k) for k in kinds]
    # The first matrix before everything; a second one may fall between
    # meshes, where it moves only the meshes after it.
    if matrices:
        children.append(matrices.pop(0))
    translated = chain == "translations" or any(
        k in ("translation", "full") for k in kinds)
    for _ in range(rng.randint(0, 2)):
        if rng.random() < 0.5 and depth < 3:
            children.append(_frame(scene, below, depth + 1))
        else:
            mesh = _mesh(rng, scene.name("Mesh"), True,
                         not translated, scene.materials)
            scene.meshes.append(mesh)
            children.append(mesh)
        if matrices:
            children.append(matrices.pop(0))
    children += matrices
    return Obj("Frame", scene.name("Frame"), [], children)


def generate(seed):
    """(file name, bytes) of the random .x file of `seed`."""
    rng = random.Random("x-%d" % seed)
    encoding = rng.choice(["txt", "txt", "bin", "tzip", "bzip"])
    templates = encoding in ("txt", "tzip") and rng.random() < 0.5
    scene = _Scene(rng)
    objects = []
    for _ in range(rng.randint(0, 2)):
        name = scene.name("Mat")
        objects.append(_material(rng, name))
        scene.materials.append(name)
    for _ in range(rng.randint(1, 3)):
        if rng.random() < 0.6:
            # A material declared inside a frame is found by references
            # within that frame's tree only (Wine refuses others).
            known = list(scene.materials)
            objects.append(_frame(scene, "none", 1))
            scene.materials = known
        else:
            mesh = _mesh(rng, scene.name("Mesh"), True, True,
                         scene.materials)
            scene.meshes.append(mesh)
            objects.append(mesh)
    last = scene.meshes[-1] if scene.meshes else None
    if last is None:
        last = _mesh(rng, scene.name("Mesh"), False, True, scene.materials)
        objects.append(last)
    else:
        # Only the last mesh of the file may be more than a soup: swap in a
        # full one in its place.
        full = _mesh(rng, last.name, False, _normals_allowed(objects, last),
                     scene.materials)
        _replace(objects, last, full)
    return "random-%d.x" % seed, write(objects, encoding, templates)


def _normals_allowed(objects, target, translated=False):
    """False when a translation lies above `target`."""
    for o in objects:
        if o is target:
            return not translated
        if isinstance(o, Obj) and o.kind == "Frame":
            here = translated
            for c in o.children:
                if isinstance(c, Obj) and c.kind == "FrameTransformMatrix":
                    here = here or any(abs(v) > 0 for _, v in
                                       c.data[0][1][0][1][12:15])
                if c is target:
                    return not here
                if isinstance(c, Obj) and c.kind == "Frame":
                    found = _normals_allowed([c], target, here)
                    if found is not None:
                        return found
    return None


def _replace(objects, old, new):
    for i, o in enumerate(objects):
        if o is old:
            objects[i] = new
            return True
        if isinstance(o, Obj) and _replace(o.children, old, new):
            return True
    return False
