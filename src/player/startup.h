#pragma once

#include "device/arcball.h"
#include "device/device_setup.h"
#include "device/device_trace.h"
#include "platform/window.h"
#include "playback/compose.h"
#include "script/parser.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// Everything a run of a show holds besides the show record.
struct Player {
  explicit Player(Show &show) : show(show) {}
  Show &show;
  std::unique_ptr<Window> window;
  GraphicsDevice graphics;
  Arcball arcball;
  LayerLoaders loaders;
  LayerRenderers renderers;
  std::unique_ptr<DeviceTrace> trace; // every device call, when asked for
  bool scriptread = false; // the full pass found a script beginning <demo>
  bool sound = false;      // the soundtrack was opened
};

struct StartOptions {
  bool hidden = false; // off screen, for offline rendering
  int width = 0;       // 0: the script's resolution
  int height = 0;
  // Called with the back buffer before each present of a hidden window.
  std::function<void()> capture;
  // The tick count the blob motion reads; null for the system's.
  TickSource *ticks = nullptr;
  // Plays the soundtrack when the script enables it.
  bool sound = true;
  // A folder to write the device trace into; empty for none.
  std::string tracefolder;
};

// The start-up in the player's order, from the start folder: into "Data",
// the log, the settings pass, the window, the device, the full pass, back
// to the start folder, then into "Data" again. False with `error` when the
// window or the device cannot be made.
bool startPlayer(Player &player, const StartOptions &options,
                 std::string &error);

// The teardown in the player's order, ending with the frame-rate line and
// the closed log.
void stopPlayer(Player &player, std::uint32_t frames,
                std::uint32_t milliseconds);

} // namespace korvane
