#include "device/vertex_format.h"

#include "device/d3d_types.h"

namespace korvane {

VertexLayout vertexLayout(std::uint32_t fvf) {
  VertexLayout out;
  int offset = 0;
  if (fvf & D3DFVF_XYZRHW) {
    out.pretransformed = true;
    out.position = 0;
    offset = 16;
  } else if (fvf & D3DFVF_XYZ) {
    out.position = 0;
    offset = 12;
  }
  if (fvf & D3DFVF_NORMAL) {
    out.normal = offset;
    offset += 12;
  }
  if (fvf & D3DFVF_DIFFUSE) {
    out.diffuse = offset;
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    out.specular = offset;
    offset += 4;
  }
  out.texcoordsets = static_cast<int>((fvf >> 8) & 0xF);
  if (out.texcoordsets > 8)
    out.texcoordsets = 8;
  for (int set = 0; set < out.texcoordsets; ++set) {
    out.texcoord[set] = offset;
    offset += 8;
  }
  out.size = static_cast<std::uint32_t>(offset);
  return out;
}

} // namespace korvane
