#pragma once

// A backend that draws into a window's back buffer: what the session and
// the offline renderer need of it besides the device's draws, whichever
// graphics API is behind it.

#include "base/problems.h"
#include "device/device_state.h"

#include <functional>
#include <string>

namespace korvane {

class ScreenBackend : public DeviceBackend {
public:
  // The drawable is now this size: the picture follows it, scaled to fit
  // with its aspect kept, black bars beside it.
  virtual void resize(int drawableWidth, int drawableHeight) = 0;
  // The back buffer's pixels, rows from the top, RGB.
  virtual std::string readBack(int width, int height) const = 0;
  // The same, the cheapest to read: rows from the bottom, BGRA.
  virtual std::string readBackBgra(int width, int height) const = 0;
  // How many shader programs it has made for the states drawn; 0 where
  // the API has fixed function.
  virtual std::size_t programsMade() const { return 0; }
  // The textures the API holds for the device.
  virtual std::size_t textureCount() const = 0;
};

// Whether a backend's state check is on from the start: KORVANE_GL_CHECK
// set and not "0", else whether the build keeps its assertions.
bool stateCheckWanted();
// A state check's report: each difference to `logger` as `problem`, then
// abort.
std::function<void(const std::string &)> stateCheckFailed(Logger logger,
                                                          Problem problem);
// Whether the renderer GL names is a software rasteriser, which does the
// vertex work on the CPU.
bool softwareRenderer(const std::string &name);

} // namespace korvane
