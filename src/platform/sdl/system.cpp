#include "platform/system.h"

#include <SDL.h>

#include <cstdlib>
#include <filesystem>

namespace korvane {

SystemLife::~SystemLife() { SDL_Quit(); }

void chooseOffscreenDrivers() {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  // A GPU vendor's EGL would be picked before Mesa's and draw other pixels.
  std::error_code failure;
  const char *mesa = "/usr/share/glvnd/egl_vendor.d/50_mesa.json";
  if (std::filesystem::is_regular_file(mesa, failure))
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", mesa, 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
}

} // namespace korvane
