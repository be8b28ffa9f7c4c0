#pragma once

#include "device/device.h"
#include "layers/picture/avi_stream.h"
#include "script/show.h"

#include <cstdint>
#include <memory>
#include <string>

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

void loadPictureLayer(Layer &layer, const LoadContext &load);
// The video time a part time `t` shows at `speed`: t x speed in single
// precision, truncated toward zero, modulo 2^32; 0 for NaN and for what
// 64 bits cannot hold.
std::uint32_t aviTime(std::uint32_t t, float speed);
void renderPictureLayer(Layer &layer, std::uint32_t t, Device &device);

} // namespace korvane
