#pragma once

#include "device/device.h"
#include "layers/picture/avi_stream.h"
#include "playback/layer_kind.h"
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

// A picture or video layer as loaded: its texture, the quad it is drawn
// on, and for a video the stream that feeds the texture.
struct PictureLayer final : LoadedLayer {
  explicit PictureLayer(Device &device) : device(device) {}
  ~PictureLayer() override { closeAviStream(avistream); }
  PictureLayer(const PictureLayer &) = delete;
  PictureLayer &operator=(const PictureLayer &) = delete;
  void draw(const Layer &layer, const LayerPose &pose) override;

  Device &device;
  std::unique_ptr<Texture> picturetexture;
  std::unique_ptr<VertexBuffer> picturevertices;
  AviStream avistream;
};

std::unique_ptr<PictureLayer> loadPictureLayer(const Layer &layer,
                                               const LoadContext &load);
// The video time a part time `t` shows at `speed`: t x speed in single
// precision, truncated toward zero, modulo 2^32; 0 for NaN and for what
// 64 bits cannot hold.
std::uint32_t aviTime(std::uint32_t t, float speed);

} // namespace korvane
