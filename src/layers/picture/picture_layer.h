#pragma once

#include "device/device.h"
#include "layers/picture/avi_stream.h"
#include "script/show.h"

#include <cstdint>
#include <memory>

namespace korvane {

// One corner of a picture quad.
struct PictureVertex {
  float x, y, z;
  std::uint32_t color;
  float u, v;
};

struct PictureLayerResources final : LayerResources {
  std::unique_ptr<Texture> picturetexture;
  std::unique_ptr<VertexBuffer> picturevertices;
  AviStream avistream;
  ~PictureLayerResources() override { closeAviStream(avistream); }
};

bool loadPictureLayer(Layer &layer, Device &device);
bool renderPictureLayer(Layer &layer, std::uint32_t t, Device &device);

} // namespace korvane
