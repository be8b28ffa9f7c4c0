#pragma once

// playback: frame composition (the part for the show time, each layer
// posed from its timeline and drawn by what loading made of it, the shadows
// after them, the overlay). It knows animation/, script/, device/ and base/.

#include "base/frame_timer.h"
#include "device/device.h"
#include "device/texture_font.h"
#include "playback/layer_kind.h"
#include "script/show.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The frame-rate measurement of the overlay.
struct OverlayState {
  std::uint32_t frames = 0;
  float lastupdate = 0.0f;
  float rate = 0.0f;
  // The clock at the last frame counted: frames drawn while it stands
  // still (paused) are not counted, or the first second after a pause
  // would show them all.
  std::optional<float> lastframe;
};

// Where the show is played: the show time is the ms since the start tick
// plus the offset that skips and seeks leave.
struct Playhead {
  std::int32_t skipoffset = 0;
  std::uint32_t showTime(std::uint32_t elapsed) const {
    return elapsed + static_cast<std::uint32_t>(skipoffset);
  }
};

// Layers left out of the picture, for authors finding which layer draws
// what: for each part, a bit for each of its first eight layers. A layer
// left out is not drawn, nor its shadows, as if the script had no such
// layer.
struct LayerMutes {
  std::vector<std::uint8_t> byPart;
  bool muted(std::size_t part, std::size_t layer) const {
    return part < byPart.size() && layer < 8 && (byPart[part] >> layer & 1);
  }
  bool any() const;
  // Mutes the layer (0-based) of a part of `layers` layers, or plays it
  // again.
  void toggle(std::size_t part, std::size_t layer, std::size_t layers);
  // Plays the layer alone, or all the part's layers where it already plays
  // alone.
  void solo(std::size_t part, std::size_t layer, std::size_t layers);
};

// What drawing frames needs that stays while shows play: made once.
struct FrameTools {
  Device &device;
  TextureFont *font;
  FrameTimer &timer;
  OverlayState overlay = {};
};

// What one turn asks of its frame: a value built for each turn.
struct FrameRequest {
  // The show time of the frame.
  std::uint32_t showTime = 0;
  // False draws the frame for the states it leaves, without showing it.
  bool present = true;
  // Both overlay texts: -1 as the script says, 0 hidden, 1 shown.
  int overlaytexts = -1;
  // A line for the people watching (a reload that failed); empty for none.
  std::string notice = {};
  // A passing line below the notice (where a still went); empty for none.
  std::string message = {};
  LayerMutes mutes = {};
};

// A black frame with the notice and the passing line alone: what a show
// with nothing to play shows while the player waits for a save.
void drawWaitingFrame(FrameTools &tools, const FrameRequest &frame);
// Draws the frame the request asks for; true when no part holds its show
// time (the show has ended), and nothing was drawn.
bool renderFrame(const LoadedShow &show, FrameTools &tools,
                 const FrameRequest &frame);
// The first part whose [starttime, endtime) holds the show time, or -1.
int partAt(const Show &show, std::uint32_t showTime);
// Moves the playhead to the end of the part it is in now.
void skipToNextPart(const Show &show, Playhead &playhead,
                    std::uint32_t elapsed);
// World identity, the fixed projection and the default view.
void setDefaultTransforms(Device &device);
// The overlay texts, then the end of the scene and the present.
void endFrame(FrameTools &tools, const FrameRequest &frame, bool showfps,
              bool showtime, std::int32_t showTime, std::int32_t partTime);

// The show's one projection: pi/4 vertically, aspect 1.333, depth 1..10000.
Matrix showProjection();

} // namespace korvane
