// korvane: plays a show folder (holding "mirl .mp3" and "Data/mirl .script")
// in a window until the show runs out or Escape is pressed.

#include "base/problems.h"
#include "player/main_loop.h"
#include "player/session.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char *usage =
    "usage: korvane [SHOWDIR]\n\nPlays the show in SHOWDIR (the current "
    "folder by default): Space skips to the next part, Escape quits.\n";

// Plays the show in the current folder; the exit status.
int play() {
  static korvane::Show show;
  korvane::Session session(show);
  // The message boxes the show asks for (a video that cannot be played).
  korvane::setMessageBox([](const std::string &text) {
    korvane::showMessageBox("Korvane", text.c_str());
  });
  std::string error;
  if (!session.start({}, error)) {
    korvane::report(korvane::Problem::StartFailed, "", 0, {error});
    return 1;
  }
  korvane::SystemTicks ticks;
  const korvane::LoopRun run = korvane::runMainLoop(
      show, *session.context(), *session.window, ticks, session.arcball);
  session.stop(run.frames, run.end - run.start);
  SDL_Quit();
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 ||
                   std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s", usage);
    return 0;
  }
  if (argc > 1 && chdir(argv[1]) != 0) {
    std::fprintf(stderr, "korvane: cannot open the show folder %s\n", argv[1]);
    return 2;
  }
  return play();
}
