// korvane: plays a show folder (holding "mirl .mp3" and "Data/mirl .script")
// in a window until the show runs out or Escape is pressed.

#include "player/main_loop.h"
#include "player/startup.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 ||
                   std::strcmp(argv[1], "-h") == 0)) {
    std::printf("usage: korvane [SHOWDIR]\n\nPlays the show in SHOWDIR (the "
                "current folder by default): Space skips to the next part, "
                "Escape quits.\n");
    return 0;
  }
  if (argc > 1 && chdir(argv[1]) != 0) {
    std::fprintf(stderr, "korvane: cannot open the show folder %s\n", argv[1]);
    return 2;
  }

  static korvane::Show show;
  korvane::Player player(show);
  std::string error;
  if (!korvane::startPlayer(player, {}, error)) {
    korvane::showError("Korvane", error.c_str());
    return 1;
  }

  korvane::SystemTicks ticks;
  korvane::SystemTimerClock timerClock;
  korvane::FrameTimer timer(timerClock);
  korvane::OverlayState overlay;
  korvane::FrameContext frame{*player.graphics.device,
                              player.graphics.font.get(), timer, overlay,
                              player.renderers};

  const korvane::LoopRun run =
      korvane::runMainLoop(show, frame, *player.window, ticks, player.arcball);
  korvane::stopPlayer(player, run.frames, run.end - run.start);
  SDL_Quit();
  return 0;
}
