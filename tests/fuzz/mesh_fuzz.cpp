// The .x loader over arbitrary bytes (text, binary and compressed files),
// then the optimiser and the clone a mesh layer runs on what it loaded.
// Whatever loads must be a mesh the renderers can draw safely.

#include "device/d3d_types.h"
#include "fuzz/fuzz_entry.h"
#include "fuzz/fuzz_file.h"
#include "gfxutil/mesh.h"

namespace {

void checkDrawable(const korvane::Mesh &mesh) {
  if (mesh.indices.size() % 3 != 0 ||
      mesh.attributes.size() != mesh.faceCount() ||
      mesh.vertices.size() != std::size_t(mesh.vertexcount) * mesh.stride)
    __builtin_trap();
  for (std::uint32_t index : mesh.indices)
    if (index >= mesh.vertexcount)
      __builtin_trap();
  for (const auto &subset : mesh.subsets)
    if (std::uint64_t(subset.firstface) + subset.facecount > mesh.faceCount())
      __builtin_trap();
}

} // namespace

int fuzzMesh(const std::uint8_t *data, std::size_t size) {
  static const korvane::fuzz::InputFile input(".x");
  if (!input.write(data, size))
    return 0;
  korvane::Mesh mesh;
  std::vector<korvane::MeshMaterial> materials;
  std::string error;
  if (!korvane::loadMeshFromX(input.path, mesh, materials, error))
    return 0;
  checkDrawable(mesh);
  checkDrawable(korvane::optimizeMesh(mesh));
  checkDrawable(korvane::cloneMesh(mesh, korvane::D3DFVF_XYZ |
                                             korvane::D3DFVF_NORMAL |
                                             korvane::D3DFVF_TEX2));
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzMesh)
