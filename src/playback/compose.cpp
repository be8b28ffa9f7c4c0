#include "playback/compose.h"

#include <cstdio>

namespace korvane {
namespace {

// The first part whose [starttime, endtime) holds the show time, or -1.
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

void composePart(Show &show, FrameContext &frame, int index,
                 std::uint32_t partTime) {
  Part &part = show.parts[index];
  const std::uint32_t color =
      0xFF000000u | std::uint32_t(part.backgroundcolor[0]) << 16 |
      std::uint32_t(part.backgroundcolor[1]) << 8 | part.backgroundcolor[2];
  frame.device.clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
  frame.device.beginScene();
  setDefaultTransforms(frame.device);

  for (Layer &layer : part.layersParsed()) {
    const LayerKind *kind = frame.kinds.of(layer);
    if (kind && kind->draw)
      kind->draw(layer, partTime, 0);
  }
  // Shadows after every layer, in layer order and shadow order.
  for (Layer &layer : part.layersParsed()) {
    const LayerKind *kind = frame.kinds.of(layer);
    if (!kind || !kind->draw || !kind->shadowPasses)
      continue;
    const int passes = kind->shadowPasses(layer);
    for (int n = 1; n <= passes; ++n)
      kind->draw(layer, partTime, n);
  }
  const bool forced = frame.overlaytexts >= 0;
  endFrame(frame, forced ? frame.overlaytexts > 0 : show.showfps != 0,
           forced ? frame.overlaytexts > 0 : show.showtime != 0,
           static_cast<std::int32_t>(
               static_cast<std::uint32_t>(part.starttime) + partTime),
           static_cast<std::int32_t>(partTime));
}

} // namespace

Matrix showProjection() {
  return matrixPerspectiveFovLH(0.7853982f, 1.333f, 1.0f, 10000.0f);
}

void setDefaultTransforms(Device &device) {
  device.setTransform(D3DTS_WORLD, matrixIdentity());
  device.setTransform(D3DTS_PROJECTION, showProjection());
  device.setTransform(D3DTS_VIEW,
                      matrixLookAtLH({0, 0, 0}, {0, 0, 0}, {0, 1, 0}));
}

bool renderFrame(Show &show, FrameContext &frame, std::uint32_t elapsed) {
  const std::uint32_t showTime = frame.playhead.showTime(elapsed);
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
  frame.device.endScene();
  if (frame.present)
    frame.device.present();
}

} // namespace korvane
