#pragma once

// The layout of one vertex of a flexible vertex format: where each
// component sits and how large the vertex is. The device, the mesh code and
// the GL backend all read vertices through this one decoder.

#include <cstdint>

namespace korvane {

struct VertexLayout {
  bool pretransformed = false; // x, y, z, rhw in screen pixels
  int position = -1;           // bytes from the vertex's start; -1: none
  int normal = -1;
  int diffuse = -1;
  int specular = -1;
  int texcoord[8] = {-1, -1, -1, -1, -1, -1, -1, -1}; // two floats each
  int texcoordsets = 0;
  std::uint32_t size = 0;
};

VertexLayout vertexLayout(std::uint32_t fvf);

// Size in bytes of one vertex of a flexible vertex format.
inline std::uint32_t vertexSize(std::uint32_t fvf) {
  return vertexLayout(fvf).size;
}

} // namespace korvane
