#include "playback/compose.h"

#include "animation/layer_transform.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace korvane {
namespace {

const char *layerTypeName(std::int32_t type) {
  switch (type) {
  case LAYER_XFILE:
    return "XFILE";
  case LAYER_KTRFILE:
    return "KTRFILE";
  case LAYER_PICTURE:
    return "PICTURE";
  case LAYER_AVIPICTURE:
    return "AVIPICTURE";
  case LAYER_BLOB:
    return "BLOB";
  default:
    return "NONE";
  }
}

// While a layer is left out: the part's number, then a line for each of
// its layers (number, kind, file), the muted ones marked.
void drawLayerList(FrameTools &tools, const FrameRequest &frame,
                   const Part &part, std::size_t index) {
  TextureFont *font = tools.font;
  if (!font || !frame.mutes.any())
    return;
  float y = 64.0f;
  const std::string title = "part " + std::to_string(index + 1);
  font->drawString(2.0f, y, 0xFFFFFFFFu, title.c_str(), 0);
  const std::span<const Layer> layers = part.layersParsed();
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const bool muted = frame.mutes.muted(index, i);
    const std::string line = std::to_string(i + 1) + " " +
                             layerTypeName(layers[i].type) + " " +
                             layers[i].filename + (muted ? "  (muted)" : "");
    y += 16.0f;
    font->drawString(2.0f, y, muted ? 0xFF60C0FFu : 0xFFFFFFFFu, line.c_str(),
                     0);
  }
}

// Draws the layer's pass where loading made something of it.
void drawPass(const LoadedShow &loaded, const Layer &layer, std::size_t part,
              std::size_t index, LayerPose &pose, int pass) {
  LoadedLayer *drawn = loaded.layer(part, index);
  if (!drawn)
    return;
  pose.pass = pass;
  pose.matrix = buildLayerTransform(layer, pose.partTime, pass);
  drawn->draw(layer, pose);
}

void composePart(const LoadedShow &loaded, FrameTools &tools,
                 const FrameRequest &frame, int index, std::uint32_t partTime) {
  const Show &show = loaded.show;
  const Part &part = show.parts[index];
  const std::uint32_t color =
      0xFF000000u | std::uint32_t(part.backgroundcolor[0]) << 16 |
      std::uint32_t(part.backgroundcolor[1]) << 8 | part.backgroundcolor[2];
  tools.device.clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
  tools.device.beginScene();
  setDefaultTransforms(tools.device);

  const auto p = static_cast<std::size_t>(index);
  const std::span<const Layer> layers = part.layersParsed();
  std::array<LayerPose, maxLayers> poses;
  for (std::size_t i = 0; i < layers.size(); ++i) {
    if (frame.mutes.muted(p, i))
      continue;
    poses[i].partTime = partTime;
    poses[i].showTime = frame.showTime;
    poses[i].color = layerColor(layers[i], partTime);
    drawPass(loaded, layers[i], p, i, poses[i], 0);
  }
  // Shadows after every layer, in layer order and shadow order.
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const LoadedLayer *drawn = loaded.layer(p, i);
    if (!drawn || frame.mutes.muted(p, i))
      continue;
    const int passes = drawn->shadowPasses(layers[i]);
    for (int n = 1; n <= passes; ++n)
      drawPass(loaded, layers[i], p, i, poses[i], n);
  }
  drawLayerList(tools, frame, part, p);
  const bool forced = frame.overlaytexts >= 0;
  endFrame(tools, frame, forced ? frame.overlaytexts > 0 : show.showfps != 0,
           forced ? frame.overlaytexts > 0 : show.showtime != 0,
           static_cast<std::int32_t>(
               static_cast<std::uint32_t>(part.starttime) + partTime),
           static_cast<std::int32_t>(partTime));
}

} // namespace

int partAt(const Show &show, std::uint32_t showTime) {
  const std::span<const Part> parts = show.partsParsed();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const Part &part = parts[i];
    if (static_cast<std::uint32_t>(part.starttime) <= showTime &&
        showTime < static_cast<std::uint32_t>(part.endtime))
      return static_cast<int>(i);
  }
  return -1;
}

bool LayerMutes::any() const {
  for (std::uint8_t bits : byPart)
    if (bits)
      return true;
  return false;
}

void LayerMutes::toggle(std::size_t part, std::size_t layer,
                        std::size_t layers) {
  if (layer >= std::min<std::size_t>(layers, 8))
    return;
  if (byPart.size() <= part)
    byPart.resize(part + 1);
  byPart[part] ^= static_cast<std::uint8_t>(1u << layer);
}

void LayerMutes::solo(std::size_t part, std::size_t layer, std::size_t layers) {
  const std::size_t count = std::min<std::size_t>(layers, 8);
  if (layer >= count)
    return;
  if (byPart.size() <= part)
    byPart.resize(part + 1);
  const auto others =
      static_cast<std::uint8_t>(((1u << count) - 1) & ~(1u << layer));
  byPart[part] = byPart[part] == others ? 0 : others;
}

Matrix showProjection() {
  return matrixPerspectiveFovLH(0.7853982f, 1.333f, 1.0f, 10000.0f);
}

void setDefaultTransforms(Device &device) {
  device.setTransform(D3DTS_WORLD, matrixIdentity());
  device.setTransform(D3DTS_PROJECTION, showProjection());
  device.setTransform(D3DTS_VIEW,
                      matrixLookAtLH({0, 0, 0}, {0, 0, 0}, {0, 1, 0}));
}

void drawWaitingFrame(FrameTools &tools, const FrameRequest &frame) {
  tools.device.clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  tools.device.beginScene();
  endFrame(tools, frame, false, false, 0, 0);
}

bool renderFrame(const LoadedShow &loaded, FrameTools &tools,
                 const FrameRequest &frame) {
  const Show &show = loaded.show;
  const int index = partAt(show, frame.showTime);
  if (index < 0)
    return true;
  composePart(loaded, tools, frame, index,
              frame.showTime -
                  static_cast<std::uint32_t>(show.parts[index].starttime));
  return false;
}

void skipToNextPart(const Show &show, Playhead &playhead,
                    std::uint32_t elapsed) {
  const int index = partAt(show, playhead.showTime(elapsed));
  if (index >= 0)
    playhead.skipoffset = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(show.parts[index].endtime) - elapsed);
}

void endFrame(FrameTools &tools, const FrameRequest &frame, bool showfps,
              bool showtime, std::int32_t showTime, std::int32_t partTime) {
  char text[80];
  TextureFont *font = tools.font;
  if (showfps) {
    OverlayState &o = tools.overlay;
    const float now = static_cast<float>(tools.timer(TIMER_CLOCKTIME));
    if (o.lastframe != now)
      ++o.frames;
    o.lastframe = now;
    if (now - o.lastupdate > 1.0f) {
      o.rate = static_cast<float>(o.frames) / (now - o.lastupdate);
      o.frames = 0;
      o.lastupdate = now;
    }
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(o.rate));
    if (font)
      font->drawString(2.0f, 0.0f, 0xFFFFFF00u, text, 0);
  }
  if (showtime) {
    std::snprintf(text, sizeof text, "%d / %d", showTime, partTime);
    if (font)
      font->drawString(2.0f, 16.0f, 0xFFFFFF00u, text, 0);
  }
  if (!frame.notice.empty() && font)
    font->drawString(2.0f, 32.0f, 0xFFFF6040u, frame.notice.c_str(), 0);
  if (!frame.message.empty() && font)
    font->drawString(2.0f, 48.0f, 0xFFFFFFFFu, frame.message.c_str(), 0);
  tools.device.endScene();
  if (frame.present)
    tools.device.present();
}

} // namespace korvane
