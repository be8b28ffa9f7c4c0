#include "gfxutil/mesh.h"

#include "device/device.h"
#include "gfxutil/xfile_mesh.h"
#include "gfxutil/xfile_parse.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace korvane {
namespace {

// Faces in subset order, and the subset table.
void groupSubsets(Mesh &mesh) {
  const std::uint32_t faces = mesh.faceCount();
  std::vector<std::uint32_t> order(faces);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) {
                     return mesh.attributes[a] < mesh.attributes[b];
                   });
  std::vector<std::uint32_t> indices(mesh.indices.size()), attributes(faces);
  for (std::uint32_t f = 0; f < faces; ++f) {
    std::memcpy(&indices[3 * f], &mesh.indices[3 * order[f]], 12);
    attributes[f] = mesh.attributes[order[f]];
  }
  mesh.indices = std::move(indices);
  mesh.attributes = std::move(attributes);
  std::uint32_t count = 0;
  for (std::uint32_t a : mesh.attributes)
    count = std::max(count, a + 1);
  mesh.subsets.assign(std::max<std::size_t>(count, mesh.subsets.size()), {});
  for (std::uint32_t f = 0; f < faces; ++f) {
    Mesh::Subset &subset = mesh.subsets[mesh.attributes[f]];
    if (subset.facecount == 0)
      subset.firstface = f;
    ++subset.facecount;
  }
}

// The mesh must be one the renderers can draw; then faces are grouped by
// material, as the library's attribute sort does.
bool finishMesh(Mesh &mesh, const std::vector<MeshMaterial> &materials,
                std::string &error) {
  bool whole =
      mesh.stride == vertexSize(mesh.fvf) && mesh.stride != 0 &&
      mesh.vertices.size() == std::size_t(mesh.vertexcount) * mesh.stride &&
      mesh.indices.size() % 3 == 0 &&
      mesh.attributes.size() == mesh.indices.size() / 3 &&
      !mesh.indices.empty();
  for (std::size_t i = 0; whole && i < mesh.indices.size(); ++i)
    whole = mesh.indices[i] < mesh.vertexcount;
  if (!whole) {
    error = "the loaded mesh is inconsistent";
    return false;
  }
  // Faces may name a material past the list (a mesh without one after
  // meshes with): their subset is never drawn, as with the library.
  mesh.subsets.assign(materials.size(), {});
  groupSubsets(mesh);
  return true;
}

} // namespace

bool loadMeshFromX(const std::string &name, Mesh &mesh,
                   std::vector<MeshMaterial> &materials, std::string &error,
                   const ShowFiles &files) {
  mesh = Mesh{};
  materials.clear();
  std::string bytes;
  if (!files.read(name, bytes, error))
    return false;
  XFile file;
  if (!readXFile(reinterpret_cast<const std::uint8_t *>(bytes.data()),
                 bytes.size(), file, error) ||
      !buildXMesh(file, mesh, materials, error) ||
      !finishMesh(mesh, materials, error)) {
    mesh = Mesh{};
    materials.clear();
    return false;
  }
  return true;
}

Mesh optimizeMesh(const Mesh &source) {
  Mesh out = source;
  for (const Mesh::Subset &subset : out.subsets) {
    if (subset.facecount == 0)
      continue;
    std::uint32_t *indices = out.indices.data() + 3 * subset.firstface;
    std::vector<std::uint32_t> copy(indices, indices + 3 * subset.facecount);
    meshopt_optimizeVertexCache(indices, copy.data(), copy.size(),
                                out.vertexcount);
  }
  if (out.vertexcount > 0 && !out.indices.empty()) {
    std::vector<std::uint8_t> vertices(out.vertices.size());
    const std::size_t used = meshopt_optimizeVertexFetch(
        vertices.data(), out.indices.data(), out.indices.size(),
        out.vertices.data(), out.vertexcount, out.stride);
    vertices.resize(used * out.stride);
    out.vertices = std::move(vertices);
    out.vertexcount = static_cast<std::uint32_t>(used);
  }
  return out;
}

Mesh cloneMesh(const Mesh &source, std::uint32_t fvf) {
  Mesh out = source;
  out.fvf = fvf;
  out.stride = vertexSize(fvf);
  out.vertices.assign(std::size_t(out.vertexcount) * out.stride, 0);
  const VertexLayout from = vertexLayout(source.fvf), to = vertexLayout(fvf);
  for (std::uint32_t v = 0; v < out.vertexcount; ++v) {
    const std::uint8_t *in =
        source.vertices.data() + std::size_t(v) * source.stride;
    std::uint8_t *dst = out.vertices.data() + std::size_t(v) * out.stride;
    auto copy = [&](int a, int b, int bytes) {
      if (a >= 0 && b >= 0)
        std::memcpy(dst + b, in + a, static_cast<std::size_t>(bytes));
    };
    copy(from.position, to.position, 12);
    copy(from.normal, to.normal, 12);
    copy(from.diffuse, to.diffuse, 4);
    copy(from.texcoord[0], to.texcoord[0], 8);
    copy(from.texcoord[1], to.texcoord[1], 8);
  }
  return out;
}

} // namespace korvane
