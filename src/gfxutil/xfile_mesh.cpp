#include "gfxutil/xfile_mesh.h"

#include "base/math3d.h"
#include "device/vertex_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korvane {
namespace {

// An object's numbers, taken in order; every count is checked against
// what is left before anything is allocated for it.
class Numbers {
public:
  explicit Numbers(const std::vector<double> &values) : values(values) {}
  std::size_t left() const { return values.size() - at; }
  bool integer(std::uint32_t &out) {
    if (at == values.size())
      return false;
    const double v = values[at++];
    if (!(v >= 0 && v <= 4294967295.0) || v != std::floor(v))
      return false;
    out = static_cast<std::uint32_t>(v);
    return true;
  }
  float real() { return static_cast<float>(values[at++]); }
  Vec3 vector() {
    Vec3 v;
    v.x = real();
    v.y = real();
    v.z = real();
    return v;
  }

private:
  const std::vector<double> &values;
  std::size_t at = 0;
};

// One Mesh object as the library loads it on its own.
struct Part {
  std::uint32_t fvf = D3DFVF_XYZ;
  std::vector<Vec3> positions;
  std::vector<std::uint32_t> corners; // every polygon's corners in turn
  std::vector<std::uint32_t> sides;   // corners per polygon
  std::vector<Vec3> normals;
  std::vector<std::uint32_t> normalcorners; // one per corner
  std::vector<float> texcoords;             // two per position
  std::vector<std::uint32_t> colors;        // one per position
  std::vector<std::uint32_t> facematerials; // one per polygon
  std::vector<MeshMaterial> materials;
  Matrix transform = matrixIdentity();
};

bool fail(std::string &error, const std::string &why) {
  error = why;
  return false;
}

// `faces` polygons of corner indices below `limit`; their corner counts
// go to `sides`, or must equal those already there when `match`.
bool readFaces(Numbers &in, std::uint32_t faces, std::uint32_t limit,
               std::vector<std::uint32_t> &corners,
               std::vector<std::uint32_t> &sides, bool match,
               std::string &error) {
  if (faces > in.left())
    return fail(error, "a face list is cut short");
  for (std::uint32_t f = 0; f < faces; ++f) {
    std::uint32_t count = 0;
    if (!in.integer(count) || count > in.left())
      return fail(error, "a face list is cut short");
    if (match ? count != sides[f] : count < 3)
      return fail(error, match ? "a face's normals do not match its corners"
                               : "a face has fewer than three corners");
    if (!match)
      sides.push_back(count);
    for (std::uint32_t k = 0; k < count; ++k) {
      std::uint32_t index = 0;
      if (!in.integer(index) || index >= limit)
        return fail(error, "a face names a vertex or normal that is not there");
      corners.push_back(index);
    }
  }
  return true;
}

bool readNormals(const XObject &object, Part &part, std::string &error) {
  Numbers in(object.numbers);
  std::uint32_t count = 0, faces = 0;
  if (!in.integer(count) || std::uint64_t(count) * 3 > in.left())
    return fail(error, "a MeshNormals is cut short");
  part.normals.resize(count);
  for (Vec3 &n : part.normals)
    n = vec3Normalize(in.vector());
  if (!in.integer(faces) || faces != part.sides.size())
    return fail(error, "a MeshNormals has another number of faces");
  part.normalcorners.clear();
  part.normalcorners.reserve(part.corners.size());
  if (!readFaces(in, faces, count, part.normalcorners, part.sides, true, error))
    return false;
  part.fvf |= D3DFVF_NORMAL;
  return true;
}

bool readTexcoords(const XObject &object, Part &part, std::string &error) {
  Numbers in(object.numbers);
  std::uint32_t count = 0;
  if (!in.integer(count) || count != part.positions.size() ||
      std::uint64_t(count) * 2 > in.left())
    return fail(error, "a MeshTextureCoords does not have one pair a vertex");
  part.texcoords.resize(std::size_t(count) * 2);
  for (float &t : part.texcoords)
    t = in.real();
  part.fvf |= D3DFVF_TEX1;
  return true;
}

bool readColors(const XObject &object, Part &part, std::string &error) {
  Numbers in(object.numbers);
  std::uint32_t count = 0;
  if (!in.integer(count) || std::uint64_t(count) * 5 > in.left())
    return fail(error, "a MeshVertexColors is cut short");
  // Vertices it does not name are white with no alpha.
  part.colors.assign(part.positions.size(), 0x00FFFFFFu);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t index = 0;
    if (!in.integer(index) || index >= part.positions.size())
      return fail(error, "a vertex colour names a vertex that is not there");
    std::uint32_t channel[4];
    for (std::uint32_t &c : channel)
      c = static_cast<std::uint8_t>(std::clamp(in.real(), 0.0f, 1.0f) * 255.0f +
                                    0.5f);
    part.colors[index] =
        channel[3] << 24 | channel[0] << 16 | channel[1] << 8 | channel[2];
  }
  part.fvf |= D3DFVF_DIFFUSE;
  return true;
}

bool readMaterial(const XFile &file, const XObject &object, MeshMaterial &out,
                  std::string &error) {
  if (object.numbers.size() != 11)
    return fail(error, "a Material does not have eleven numbers");
  Numbers in(object.numbers);
  Material &m = out.material;
  m.diffuse = {in.real(), in.real(), in.real(), in.real()};
  m.power = in.real();
  m.specular = {in.real(), in.real(), in.real(), 1.0f};
  m.emissive = {in.real(), in.real(), in.real(), 1.0f};
  m.ambient = {0.0f, 0.0f, 0.0f, 1.0f};
  for (std::size_t child : object.children) {
    const XObject &texture = file.objects[child];
    if (isType(texture, "TextureFilename"))
      out.texturefile =
          texture.strings.empty() ? std::string() : texture.strings.front();
  }
  return true;
}

bool readMaterialList(const XFile &file, const XObject &object, Part &part,
                      std::string &error) {
  part.materials.clear();
  part.facematerials.clear();
  Numbers in(object.numbers);
  std::uint32_t count = 0, faces = 0;
  if (!in.integer(count))
    return fail(error, "a MeshMaterialList is cut short");
  if (count == 0)
    return true;
  if (!in.integer(faces) || faces != part.sides.size() || faces > in.left())
    return fail(error, "a MeshMaterialList has another number of faces");
  part.facematerials.resize(faces);
  for (std::uint32_t &f : part.facematerials)
    if (!in.integer(f) || f >= count)
      return fail(error, "a face names a material that is not there");
  for (std::size_t child : object.children) {
    const XObject &material = file.objects[child];
    if (!isType(material, "Material"))
      continue;
    if (part.materials.size() == count)
      return fail(error, "a MeshMaterialList has more materials than it says");
    part.materials.emplace_back();
    if (!readMaterial(file, material, part.materials.back(), error))
      return false;
  }
  if (part.materials.size() != count)
    return fail(error, "a MeshMaterialList has fewer materials than it says");
  return true;
}

bool readPart(const XFile &file, const XObject &object, Part &part,
              std::string &error) {
  Numbers in(object.numbers);
  std::uint32_t count = 0, faces = 0;
  if (!in.integer(count) || std::uint64_t(count) * 3 > in.left())
    return fail(error, "a Mesh's vertices are cut short");
  part.positions.resize(count);
  for (Vec3 &p : part.positions)
    p = in.vector();
  if (!in.integer(faces))
    return fail(error, "a Mesh's faces are cut short");
  if (!readFaces(in, faces, count, part.corners, part.sides, false, error))
    return false;
  // A later child of a kind takes the place of an earlier one.
  for (std::size_t child : object.children) {
    const XObject &data = file.objects[child];
    bool ok = true;
    if (isType(data, "MeshNormals"))
      ok = readNormals(data, part, error);
    else if (isType(data, "MeshTextureCoords"))
      ok = readTexcoords(data, part, error);
    else if (isType(data, "MeshVertexColors"))
      ok = readColors(data, part, error);
    else if (isType(data, "MeshMaterialList"))
      ok = readMaterialList(file, data, part, error);
    if (!ok)
      return false;
  }
  return true;
}

// Where a corner's normal differs from the one its vertex already has, the
// corner gets a copy of the vertex: the first copy with an equal normal, or
// a new one after all the others. `normalof`: each vertex's normal index.
std::vector<std::uint32_t> splitByNormal(Part &part,
                                         std::vector<std::uint32_t> &normalof,
                                         std::vector<std::uint32_t> &copyof) {
  const std::uint32_t none = 0xFFFFFFFFu;
  const std::uint32_t count = static_cast<std::uint32_t>(part.positions.size());
  normalof.assign(count, none);
  copyof.resize(count);
  for (std::uint32_t v = 0; v < count; ++v)
    copyof[v] = v;
  std::vector<std::uint32_t> next(count, none); // the chain of copies
  std::vector<std::uint32_t> corners = part.corners;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    std::uint32_t v = corners[i];
    const std::uint32_t normal = part.normalcorners[i];
    if (normalof[v] == none) {
      normalof[v] = normal;
      continue;
    }
    const Vec3 &want = part.normals[normal];
    for (;;) {
      const Vec3 &have = part.normals[normalof[v]];
      if (have.x == want.x && have.y == want.y && have.z == want.z)
        break;
      if (next[v] == none) {
        next[v] = static_cast<std::uint32_t>(normalof.size());
        normalof.push_back(normal);
        copyof.push_back(copyof[v]);
        next.push_back(none);
        v = next[v];
        break;
      }
      v = next[v];
    }
    corners[i] = v;
  }
  return corners;
}

// Appends the part, placed by its transform, to `mesh` (vertex format
// already chosen for all parts), its faces' materials after `materialbase`.
void appendPart(Part &part, std::uint32_t materialbase, Mesh &mesh) {
  std::vector<std::uint32_t> normalof, copyof;
  std::vector<std::uint32_t> corners = part.corners;
  if (part.fvf & D3DFVF_NORMAL) {
    corners = splitByNormal(part, normalof, copyof);
  } else {
    copyof.resize(part.positions.size());
    for (std::uint32_t v = 0; v < copyof.size(); ++v)
      copyof[v] = v;
  }
  const VertexLayout layout = vertexLayout(mesh.fvf);
  const std::uint32_t base = mesh.vertexcount;
  mesh.vertexcount += static_cast<std::uint32_t>(copyof.size());
  mesh.vertices.resize(std::size_t(mesh.vertexcount) * mesh.stride, 0);
  const Matrix &m = part.transform;
  for (std::size_t v = 0; v < copyof.size(); ++v) {
    const std::uint32_t from = copyof[v];
    std::uint8_t *out = mesh.vertices.data() + (base + v) * mesh.stride;
    const Vec3 p = vec3TransformCoord(part.positions[from], m);
    std::memcpy(out + layout.position, &p, 12);
    if ((part.fvf & D3DFVF_NORMAL) && normalof[v] != 0xFFFFFFFFu) {
      // Directions turn with the frame but do not move with it.
      const Vec3 &n = part.normals[normalof[v]];
      const Vec3 t{n.x * m.m[0][0] + n.y * m.m[1][0] + n.z * m.m[2][0],
                   n.x * m.m[0][1] + n.y * m.m[1][1] + n.z * m.m[2][1],
                   n.x * m.m[0][2] + n.y * m.m[1][2] + n.z * m.m[2][2]};
      std::memcpy(out + layout.normal, &t, 12);
    }
    if (part.fvf & D3DFVF_DIFFUSE)
      std::memcpy(out + layout.diffuse, &part.colors[from], 4);
    if (part.fvf & D3DFVF_TEX1)
      std::memcpy(out + layout.texcoord[0], &part.texcoords[2 * from], 8);
  }
  // Each polygon a fan from its first corner.
  std::size_t at = 0;
  for (std::size_t f = 0; f < part.sides.size(); ++f) {
    const std::uint32_t attribute =
        materialbase + (part.facematerials.empty() ? 0 : part.facematerials[f]);
    for (std::uint32_t k = 1; k + 1 < part.sides[f]; ++k) {
      mesh.indices.push_back(base + corners[at]);
      mesh.indices.push_back(base + corners[at + k]);
      mesh.indices.push_back(base + corners[at + k + 1]);
      mesh.attributes.push_back(attribute);
    }
    at += part.sides[f];
  }
}

class PartCollector {
public:
  PartCollector(const XFile &file, std::vector<Part> &parts, std::string &error)
      : file(file), parts(parts), error(error) {}

  bool mesh(const XObject &object, const Matrix &transform) {
    Part part;
    if (!readPart(file, object, part, error))
      return false;
    if (part.positions.empty())
      return true; // the library makes no mesh of it and goes on
    if (part.sides.empty())
      return fail(error, "a Mesh has vertices but no faces");
    // References may name one mesh many times over: bounded, so that a
    // small file cannot claim all memory.
    size += part.positions.size() + part.corners.size() + partCost;
    if (size > largest)
      return fail(error, "the file's meshes are too large");
    part.transform = transform;
    parts.push_back(std::move(part));
    return true;
  }

  // A frame's transforms apply to what follows them in the frame, in file
  // order, and before those of the frames around it.
  bool frame(const XObject &object, const Matrix &parent, int depth) {
    Matrix local = matrixIdentity(), transform = parent;
    if (depth > 64 || ++visits > largest)
      return fail(error, "frames are nested too deeply or refer to each other");
    for (std::size_t child : object.children) {
      const XObject &data = file.objects[child];
      bool ok = true;
      if (isType(data, "Mesh")) {
        ok = mesh(data, transform);
      } else if (isType(data, "FrameTransformMatrix")) {
        if (data.numbers.size() != 16)
          return fail(error, "a FrameTransformMatrix does not have 16 numbers");
        Matrix step;
        for (int i = 0; i < 16; ++i)
          step.m[i / 4][i % 4] = static_cast<float>(data.numbers[i]);
        local = matrixMultiply(local, step);
        transform = matrixMultiply(local, parent);
      } else if (isType(data, "Frame")) {
        ok = frame(data, transform, depth + 1);
      }
      if (!ok)
        return false;
    }
    return true;
  }

private:
  static constexpr std::uint64_t largest = std::uint64_t(1) << 24;
  static constexpr std::uint64_t partCost = 256; // a part's own bookkeeping
  const XFile &file;
  std::vector<Part> &parts;
  std::string &error;
  std::uint64_t size = 0, visits = 0;
};

} // namespace

bool buildXMesh(const XFile &file, Mesh &mesh,
                std::vector<MeshMaterial> &materials, std::string &error) {
  mesh = Mesh{};
  materials.clear();
  std::vector<Part> parts;
  PartCollector collect(file, parts, error);
  for (std::size_t top : file.top) {
    const XObject &object = file.objects[top];
    bool ok = true;
    if (isType(object, "Mesh"))
      ok = collect.mesh(object, matrixIdentity());
    else if (isType(object, "Frame"))
      ok = collect.frame(object, matrixIdentity(), 0);
    if (!ok)
      return false;
  }
  if (parts.empty())
    return fail(error, "the file has no mesh");
  mesh.fvf = D3DFVF_XYZ;
  std::uint64_t corners = 0;
  for (const Part &part : parts) {
    mesh.fvf |= part.fvf;
    corners += part.corners.size();
  }
  mesh.stride = vertexSize(mesh.fvf);
  if (corners > 0xFFFFFFFFu / 3)
    return fail(error, "the file has more faces than can be counted");
  for (Part &part : parts) {
    appendPart(part, static_cast<std::uint32_t>(materials.size()), mesh);
    materials.insert(materials.end(), part.materials.begin(),
                     part.materials.end());
  }
  if (mesh.indices.empty())
    return fail(error, "the file's meshes have no faces");
  return true;
}

} // namespace korvane
