#pragma once

#include "base/show_files.h"

#include "device/d3d_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// A mesh the way the renderers draw it: vertices in a flexible vertex
// format, triangles as 32-bit indices, each face with the material
// (attribute) of its subset, faces of one subset side by side.
struct Mesh {
  std::uint32_t fvf = 0;
  std::uint32_t stride = 0;
  std::uint32_t vertexcount = 0;
  std::vector<std::uint8_t> vertices;
  std::vector<std::uint32_t> indices;    // three per face
  std::vector<std::uint32_t> attributes; // one per face
  struct Subset {
    std::uint32_t firstface = 0, facecount = 0;
  };
  std::vector<Subset> subsets; // indexed by attribute

  std::uint32_t faceCount() const {
    return static_cast<std::uint32_t>(indices.size() / 3);
  }
};

struct MeshMaterial {
  Material material;
  std::string texturefile; // as the file writes it; empty for none
};

// Loads a DirectX .x file (text, binary or compressed) as the utility
// library's mesh loader makes it (see xfile_mesh.h): its vertex and face
// counts are the loaded mesh's, `materials` those of its meshes in turn,
// empty when no mesh has a material list. False with `error` on failure.
// `files`: where the file lies, found by `name`.
bool loadMeshFromX(const std::string &name, Mesh &mesh,
                   std::vector<MeshMaterial> &materials, std::string &error,
                   const ShowFiles &files = diskFiles());

// The same triangles reordered for the vertex cache and the vertex fetch,
// within each subset; windings unchanged.
Mesh optimizeMesh(const Mesh &mesh);

// The mesh in another vertex format: components the source has are copied,
// new ones are zero.
Mesh cloneMesh(const Mesh &mesh, std::uint32_t fvf);

} // namespace korvane
