#pragma once

#include "device/device.h"
#include "gfxutil/mesh.h"
#include "layers/layer_states.h"
#include "playback/layer_kind.h"
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

// A mesh layer as loaded: the file's mesh, the meshes drawn, and the
// materials with their textures.
struct MeshLayer final : LoadedLayer {
  explicit MeshLayer(Device &device) : device(device) {}
  void draw(const Layer &layer, const LayerPose &pose) override;
  // One pass for each shadow block, drawn only where its switch is on.
  int shadowPasses(const Layer &layer) const override {
    return static_cast<int>(shadowsOf(layer).size());
  }

  Device &device;
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

// Never null: a mesh that cannot be loaded still sets the layer's states
// when drawn, and draws nothing.
std::unique_ptr<MeshLayer> loadMeshLayer(const Layer &layer,
                                         const LoadContext &load);
// Writes a KTR mesh file's whole content to the log.
void dumpKtrFile(const Layer &layer, const LoadContext &load);

} // namespace korvane
