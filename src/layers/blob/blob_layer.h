#pragma once

#include "device/device.h"
#include "layers/layer_states.h"
#include "metaballs/blob_field.h"
#include "playback/layer_kind.h"
#include "script/show.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// What a BLOB layer holds: its environment-map texture, the vertex buffer
// a frame's triangles go into, and its metaballs.
struct BlobLayer final : LoadedLayer {
  explicit BlobLayer(Device &device) : device(device) {}
  // The surface moved to the pose's show time.
  void draw(const Layer &layer, const LayerPose &pose) override;
  // Rebuilds the surface with two readings of `ticks` and draws it.
  void draw(const Layer &layer, const LayerPose &pose, TickSource &ticks);

  Device &device;
  std::unique_ptr<Texture> texture;
  std::unique_ptr<VertexBuffer> vertices;
  std::unique_ptr<BlobField> field;
};

std::unique_ptr<BlobLayer> loadBlobLayer(const Layer &layer,
                                         const LoadContext &load);
// The field set up with the layer's blobs.
void setupBlobField(BlobField &field, const Layer &layer);

} // namespace korvane
