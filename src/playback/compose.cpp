#include "playback/compose.h"

#include <algorithm>
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
void drawLayerList(FrameContext &frame, const Part &part, std::size_t index) {
  if (!frame.font || !frame.mutes.any())
    return;
  float y = 64.0f;
  const std::string title = "part " + std::to_string(index + 1);
  frame.font->drawString(2.0f, y, 0xFFFFFFFFu, title.c_str(), 0);
  const std::span<const Layer> layers = part.layersParsed();
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const bool muted = frame.mutes.muted(index, i);
    const std::string line = std::to_string(i + 1) + " " +
                             layerTypeName(layers[i].type) + " " +
                             layers[i].filename + (muted ? "  (muted)" : "");
    y += 16.0f;
    frame.font->drawString(2.0f, y, muted ? 0xFF60C0FFu : 0xFFFFFFFFu,
                           line.c_str(), 0);
  }
}

void composePart(Show &show, FrameContext &frame, int index,
                 std::uint32_t partTime) {
  Part &part = show.parts[index];
  const std::uint32_t color =
      0xFF000000u | std::uint32_t(part.backgroundcolor[0]) << 16 |
      std::uint32_t(part.backgroundcolor[1]) << 8 | part.backgroundcolor[2];
  frame.device.clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
  frame.device.beginScene();
  setDefaultTransforms(frame.device);

  const std::span<Layer> layers = part.layersParsed();
  const auto shown = [&frame, index](std::size_t i) {
    return !frame.mutes.muted(static_cast<std::size_t>(index), i);
  };
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const LayerKind *kind = frame.kinds.of(layers[i]);
    if (kind && kind->draw && shown(i))
      kind->draw(layers[i], partTime, 0);
  }
  // Shadows after every layer, in layer order and shadow order.
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const LayerKind *kind = frame.kinds.of(layers[i]);
    if (!kind || !kind->draw || !kind->shadowPasses || !shown(i))
      continue;
    const int passes = kind->shadowPasses(layers[i]);
    for (int n = 1; n <= passes; ++n)
      kind->draw(layers[i], partTime, n);
  }
  drawLayerList(frame, part, static_cast<std::size_t>(index));
  const bool forced = frame.overlaytexts >= 0;
  endFrame(frame, forced ? frame.overlaytexts > 0 : show.showfps != 0,
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

void drawWaitingFrame(FrameContext &frame) {
  frame.device.clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  frame.device.beginScene();
  endFrame(frame, false, false, 0, 0);
}

bool renderFrame(Show &show, FrameContext &frame, std::uint32_t elapsed) {
  const std::uint32_t showTime = frame.playhead.showTime(elapsed);
  frame.showtime = showTime;
  const int index = partAt(show, showTime);
  if (index < 0)
    return true;
  composePart(show, frame, index,
              showTime -
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

void endFrame(FrameContext &frame, bool showfps, bool showtime,
              std::int32_t showTime, std::int32_t partTime) {
  char text[80];
  if (showfps) {
    OverlayState &o = frame.overlay;
    const float now = static_cast<float>(frame.timer(TIMER_CLOCKTIME));
    if (o.lastframe != now)
      ++o.frames;
    o.lastframe = now;
    if (now - o.lastupdate > 1.0f) {
      o.rate = static_cast<float>(o.frames) / (now - o.lastupdate);
      o.frames = 0;
      o.lastupdate = now;
    }
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(o.rate));
    if (frame.font)
      frame.font->drawString(2.0f, 0.0f, 0xFFFFFF00u, text, 0);
  }
  if (showtime) {
    std::snprintf(text, sizeof text, "%d / %d", showTime, partTime);
    if (frame.font)
      frame.font->drawString(2.0f, 16.0f, 0xFFFFFF00u, text, 0);
  }
  if (!frame.notice.empty() && frame.font)
    frame.font->drawString(2.0f, 32.0f, 0xFFFF6040u, frame.notice.c_str(), 0);
  if (!frame.message.empty() && frame.font)
    frame.font->drawString(2.0f, 48.0f, 0xFFFFFFFFu, frame.message.c_str(), 0);
  frame.device.endScene();
  if (frame.present)
    frame.device.present();
}

} // namespace korvane
