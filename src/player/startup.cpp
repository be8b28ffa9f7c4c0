#include "player/startup.h"

#include "base/debuglog.h"
#include "base/media_path.h"
#include "device/gl/gl_backend.h"
#include "layers/layer_kinds.h"
#include "music/music.h"

#include <unistd.h>

namespace korvane {

namespace {

// The show folder's own names, found in any case as Windows finds them.
std::string dataFolder() { return resolveMediaPath("Data"); }
std::string scriptName() { return resolveMediaPath("mirl .script"); }

} // namespace

bool startPlayer(Player &player, const StartOptions &options,
                 std::string &error) {
  Show &show = player.show;
  const std::string data = dataFolder();
  (void)chdir(data.c_str());
  openLog("debug.log");
  writeLog(" DEBUG.LOG ");
  writeLog(" --------- ");

  show.partnumber = 0;
  const std::string script = scriptName();
  parseSettings(show, script.c_str());

  const int width = options.width > 0 ? options.width : show.resolution[0];
  const int height = options.height > 0 ? options.height : show.resolution[1];
  player.window = Window::create("Korvane", width, height,
                                 show.fullscreen != 0 && !options.hidden,
                                 options.hidden, error);
  if (!player.window)
    return false;

  Window *window = player.window.get();
  std::function<void()> swap = [window] { window->swap(); };
  if (options.capture)
    swap = [capture = options.capture, window] {
      capture();
      window->swap();
    };
  if (!options.tracefolder.empty()) {
    player.trace =
        std::make_unique<DeviceTrace>(options.tracefolder, width, height);
    if (!player.trace->ok()) {
      error = player.trace->error();
      return false;
    }
  }
  int drawableWidth = width, drawableHeight = height;
  window->drawableSize(drawableWidth, drawableHeight);
  if (!setupDevice(player.graphics,
                   std::make_unique<GlBackend>(width, height, swap,
                                               drawableWidth, drawableHeight),
                   player.arcball, width, height, player.trace.get())) {
    error = "cannot set up the graphics device";
    return false;
  }

  static SystemTicks systemTicks;
  registerLayerKinds(player.loaders, player.renderers, *player.graphics.device,
                     options.ticks ? *options.ticks : systemTicks);
  ParseOptions full;
  full.loaders = &player.loaders;
  std::vector<ScriptWarning> warnings;
  full.warnings = &warnings;
  player.scriptread = parseScript(show, script.c_str(), true, full);
  for (const ScriptWarning &warning : warnings)
    reportProblem("%s/%s:%d: %s", data.c_str(), script.c_str(), warning.line,
                  warning.message.c_str());

  (void)chdir("..");
  player.sound = options.sound && show.music != 0;
  if (player.sound) {
    openMusic(show.musicfilename);
    startMusic();
  }
  if (!options.hidden) {
    window->show();
    window->hideCursor();
  }
  (void)chdir(data.c_str());
  return true;
}

void stopPlayer(Player &player, std::uint32_t frames,
                std::uint32_t milliseconds) {
  teardownDevice(player.graphics);
  Show &show = player.show;
  for (int p = 0; p < show.partnumber && p < maxParts; ++p)
    for (Layer &layer : show.parts[p].layers)
      releaseLayer(layer);
  if (player.sound)
    stopMusic();
  if (milliseconds == 0)
    writeLog("\n\n\nFPS: %u frames in 0 ms", frames);
  else
    writeLog("\n\n\nFPS: %f", static_cast<double>(frames) * 1000.0 /
                                  static_cast<std::int32_t>(milliseconds));
  closeLog();
  player.window.reset();
}

} // namespace korvane
