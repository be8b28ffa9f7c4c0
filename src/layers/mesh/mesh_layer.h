#pragma once

#include "device/device.h"
#include "gfxutil/mesh.h"
#include "layers/layer_states.h"
#include "script/show.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// A mesh as the device draws it: its vertices in a buffer, its indices and
// subsets beside them.
struct DrawnMesh {
  Mesh mesh;
  std::unique_ptr<VertexBuffer> vertices;
};

struct MeshLayerResources final : LayerResources {
  Mesh mesh; // as loaded
  DrawnMesh optimizedmesh;
  DrawnMesh clonemesh; // SPHEREMAP2 only
  std::uint32_t materialnumber = 0;
  std::vector<std::unique_ptr<Texture>> textures;
  std::vector<Material> materials;
  std::vector<std::string> texturenames;
  std::unique_ptr<Texture> envmaptexture;
  std::unique_ptr<Texture> shadowtexture;
};

bool loadMeshLayer(Layer &layer, const LoadContext &load);
bool renderMeshLayer(Layer &layer, std::uint32_t t, int pass, Device &device);
// Writes a KTR mesh file's whole content to the log.
void dumpKtrFile(Layer &layer, const LoadContext &load);

} // namespace korvane
