#pragma once

#include "device/device.h"
#include "layers/layer_states.h"
#include "metaballs/blob_field.h"
#include "script/show.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// What a BLOB layer holds: its environment-map texture, the vertex buffer
// a frame's triangles go into, and its metaballs.
struct BlobLayerResources final : LayerResources {
  std::unique_ptr<Texture> texture;
  std::unique_ptr<VertexBuffer> vertices;
  std::unique_ptr<BlobField> field;
};

void loadBlobLayer(Layer &layer, const LoadContext &load);
// The field set up with the layer's blobs.
void setupBlobField(BlobField &field, const Layer &layer);
// Rebuilds the surface with two readings of `ticks` and draws it.
void renderBlobLayer(Layer &layer, std::uint32_t t, Device &device,
                     TickSource &ticks);

} // namespace korvane
