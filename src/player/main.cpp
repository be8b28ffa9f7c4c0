// korvane: plays a show folder (holding "mirl .mp3" and "Data/mirl .script")
// in a window until the show runs out or Escape is pressed.

#include "base/problems.h"
#include "platform/file_watch.h"
#include "platform/soundtrack.h"
#include "platform/system.h"
#include "player/live_reload.h"
#include "player/main_loop.h"
#include "player/session.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr const char *usage =
    "usage: korvane [--watch] [--vsync] [--renderer gl|gles] [SHOW]\n"
    "\n"
    "Plays the show in SHOW: a show folder, or a .zip archive holding one.\n"
    "Without SHOW: the current folder where it holds a show, else the\n"
    "bundled show.\n"
    "\n"
    "  --watch   read the script again whenever it or a file it names\n"
    "            changes, and play on from the same show time; at its end\n"
    "            the show waits on its last frame\n"
    "  --vsync   show each frame on the display's refresh\n"
    "  --renderer gl|gles\n"
    "            what draws: fixed-function OpenGL 2.1 (gl, the default)\n"
    "            or OpenGL ES 3.0 shaders (gles)\n"
    "  --help    show this text\n"
    "\n"
    "Exit status: 0 done, 1 the show could not be started or read, 2 bad\n"
    "arguments.\n"
    "\n"
    "Keys:\n";

struct Options {
  bool watch = false, vsync = false;
  korvane::Renderer renderer = korvane::Renderer::Gl;
  const char *folder = nullptr;
};

// The options, or the exit status when there is nothing to play.
int parseArguments(int argc, char **argv, Options &options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s%s", usage, korvane::keyHelp().c_str());
      return 0;
    }
    if (arg == "--watch") {
      options.watch = true;
    } else if (arg == "--vsync") {
      options.vsync = true;
    } else if (arg == "--renderer") {
      if (i + 1 >= argc ||
          !korvane::parseRenderer(argv[i + 1], options.renderer)) {
        std::fprintf(stderr, "korvane: --renderer needs gl or gles\n\n%s",
                     usage);
        return 2;
      }
      ++i;
    } else if (arg.rfind("--", 0) == 0 || options.folder) {
      std::fprintf(stderr, "korvane: unknown argument %s\n\n%s", argv[i],
                   usage);
      return 2;
    } else {
      options.folder = argv[i];
    }
  }
  return -1;
}

// The bundled show: installed beside the program (share/korvane/show), or
// in the source tree the program was built from; empty where neither is.
std::string bundledShow() {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path installed =
        program.parent_path().parent_path() / "share" / "korvane" / "show";
    if (fs::is_directory(installed, error))
      return installed.string();
  }
#ifdef KORVANE_SOURCE_SHOW
  if (fs::is_directory(KORVANE_SOURCE_SHOW, error))
    return KORVANE_SOURCE_SHOW;
#endif
  return "";
}

// The show the player opens without SHOW.
std::string defaultShow() {
  std::error_code error;
  if (std::filesystem::is_regular_file(korvane::findShowFolder("").script,
                                       error))
    return "";
  return bundledShow();
}

// Plays the show in the options' folder; the exit status.
int play(const Options &options, korvane::Logger logger) {
  const korvane::SystemLife system;
  const std::unique_ptr<korvane::Soundtrack> soundtrack =
      korvane::makeSoundtrack();
  // The message boxes the show asks for (a video that cannot be played).
  logger.add(korvane::messageBoxSink([](const std::string &text) {
    korvane::showMessageBox("Korvane", text.c_str());
  }));
  korvane::Session session(logger);
  korvane::SystemTicks ticks;
  korvane::SystemTimerClock timer;
  korvane::PausableClock clock(ticks, timer);
  korvane::SessionOptions start;
  start.timerclock = &clock;
  start.vsync = options.vsync;
  start.soundtrack = soundtrack.get();
  start.renderer = options.renderer;
  start.folder = options.folder ? options.folder : defaultShow();
  std::string error;
  if (!session.start(start, error)) {
    logger.report(korvane::Problem::StartFailed, "", 0, {error});
    return 1;
  }
  korvane::PlayerCore loop(session, clock, session.arcball);
  loop.hooks.toggleFullscreen = [&session] { session.toggleFullscreen(); };
  loop.hooks.resized = [&session] { session.followDrawable(); };
  loop.hooks.still = [&session](const korvane::FrameRequest &frame) {
    return session.writeStill(frame);
  };
  if (session.sound) {
    loop.hooks.seekMusic = [&soundtrack, &logger](std::uint32_t milliseconds) {
      soundtrack->seek(milliseconds, logger);
    };
    loop.hooks.pauseMusic = [&soundtrack](bool paused) {
      soundtrack->pause(paused);
    };
  }
  std::unique_ptr<korvane::FileWatch> watch;
  std::unique_ptr<korvane::LiveReload> reload;
  if (options.watch) {
    watch = korvane::systemFileWatch();
    reload =
        std::make_unique<korvane::LiveReload>(session, loop, *watch, ticks);
    loop.hooks.betweenFrames = [&reload] { reload->betweenFrames(); };
    loop.holdAtEnd = true;
  }
  const korvane::LoopRun run = loop.run(*session.window);
  session.stop(run.frames, run.end - run.start);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  Options options;
  const int status = parseArguments(argc, argv, options);
  if (status >= 0)
    return status;
  const korvane::Logger logger = korvane::standardLogger();
  std::error_code missing;
  if (options.folder &&
      !std::filesystem::is_directory(options.folder, missing) &&
      !korvane::looksLikeArchive(options.folder)) {
    logger.report(korvane::Problem::ShowFolderMissing, "", 0, {options.folder});
    return 1;
  }
  return play(options, logger);
}
