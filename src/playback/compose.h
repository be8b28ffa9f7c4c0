#pragma once

// playback: frame composition (the part for the show time, the layers by
// kind through a table, the shadows after them, the overlay) and the layer
// transform with timeline sampling. It knows script/, device/ and base/.

#include "base/frame_timer.h"
#include "device/device.h"
#include "device/texture_font.h"
#include "script/show.h"

#include <cstdint>
#include <functional>
#include <string>

namespace korvane {

// Draws one layer at a part time. Filled by whoever owns the layer kinds;
// an empty entry draws nothing.
using LayerRenderer = std::function<void(Layer &, std::uint32_t)>;
struct LayerRenderers {
  LayerRenderer byType[layerTypeCount];
};

// The frame-rate measurement of the overlay.
struct OverlayState {
  std::uint32_t frames = 0;
  float lastupdate = 0.0f;
  float rate = 0.0f;
};

struct FrameContext {
  Device &device;
  TextureFont *font;
  FrameTimer &timer;
  OverlayState &overlay;
  const LayerRenderers &renderers;
  // False draws the frame for the states it leaves, without showing it.
  bool present = true;
  // Both overlay texts: -1 as the script says, 0 hidden, 1 shown.
  int overlaytexts = -1;
  // A line for the people watching (a reload that failed); empty for none.
  std::string notice = {};
};

// Draws the frame for `elapsed` ms since the start tick; true when no part
// holds the show time (the show has ended), and nothing was drawn.
bool renderFrame(Show &show, FrameContext &frame, std::uint32_t elapsed);
// Moves the show time to the end of the part it is in now.
void skipToNextPart(Show &show, std::uint32_t elapsed);
// World identity, the fixed projection and the default view.
void setDefaultTransforms(Device &device);
// The overlay texts, then the end of the scene and the present.
void endFrame(FrameContext &frame, bool showfps, bool showtime,
              std::int32_t showTime, std::int32_t partTime);

// The show's one projection: pi/4 vertically, aspect 1.333, depth 1..10000.
Matrix showProjection();

} // namespace korvane
