#pragma once

// player: the top of Korvane. A session plays one show folder: the
// start-up in the player's order, the stage the one frame loop plays
// (main_loop.h), and the teardown, written once for the korvane program
// (real clock, window, keys) and for korvane-render (virtual clock, off
// screen, each present written to a file or a video). It may use every
// folder below it.

#include "base/clocks.h"
#include "base/debuglog.h"
#include "base/frame_timer.h"
#include "base/media_path.h"
#include "base/tick_source.h"
#include "device/arcball.h"
#include "device/device_setup.h"
#include "device/device_trace.h"
#include "platform/soundtrack.h"
#include "platform/window.h"
#include "playback/compose.h"
#include "player/main_loop.h"
#include "script/parser.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace korvane {

class ScreenBackend;

// What draws the device: fixed-function OpenGL 2.1, or OpenGL ES 3.0
// shaders.
enum class Renderer { Gl, Gles };
// "gl" or "gles"; false for anything else.
bool parseRenderer(const std::string &name, Renderer &renderer);

struct SessionOptions {
  bool hidden = false; // off screen, for offline rendering
  int width = 0;       // 0: the script's resolution
  int height = 0;
  int supersample = 1; // drawn at this many times the size
  // Called with the back buffer before each present.
  std::function<void()> capture;
  // The frame timer's clock; null for the system's. (The blobs move on the
  // show time of the frame drawn.)
  TimerClock *timerclock = nullptr;
  // Plays the soundtrack when the script enables it, on `soundtrack`
  // (null: silent), which outlives the session.
  bool sound = true;
  Soundtrack *soundtrack = nullptr;
  // A folder to write the device trace into; empty for none.
  std::string tracefolder;
  // The show folder; empty for the current one.
  std::string folder;
  // Presents on the display's refresh instead of at once.
  bool vsync = false;
  Renderer renderer = Renderer::Gl;
};

// Everything a run of a show holds, and the one owner of the show being
// played.
class Session final : public Stage {
public:
  // Every problem of the run goes to the sinks of `logger`; the session's
  // own copy of it adds the show's debug.log.
  explicit Session(const Logger &logger) : log(logger) {}
  ~Session() override;
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // The show folder found, then the log, the settings pass, the window,
  // the device, the full pass, the music and the window shown. False with
  // `error` when the window, the device or the trace cannot be made.
  bool start(const SessionOptions &options, std::string &error);
  // Draws the frame asked for; false when the show has ended.
  bool frame(const FrameRequest &request);
  // The teardown in the player's order, ending with the frame-rate line
  // and the closed log.
  void stop(std::uint32_t frames, std::uint32_t milliseconds);

  // The script read again, in both passes, into a new show with its
  // layers loaded, from the Data folder found again (it may have been
  // replaced); null with `error` saying why when it cannot be played: it
  // cannot be opened, is empty, does not begin with <demo>, ends inside a
  // block or a comment (a file half written), or no part holds any time.
  std::unique_ptr<LoadedShow> loadShow(std::string &error);
  // Plays `next` from now on and frees the show it replaces.
  void adopt(std::unique_ptr<LoadedShow> next) override;
  // The picture follows the size of the window's drawable.
  void followDrawable();
  void toggleFullscreen();
  // The frame `request` asked for drawn again at the show's own size and
  // written into the show folder as still_<show ms>.png (never over
  // another file); what the overlay says of it. `written`, where given,
  // gets the file's path, or nothing when none was written.
  std::string writeStill(const FrameRequest &request,
                         std::string *written = nullptr);

  const LoadedShow &loaded() const override { return *current; }
  FrameTools &tools() override { return *frametools; }
  const Logger &logger() const { return log; }
  const ShowFolder &folder() const { return showfolder; }
  // The script as problems name it: "Data/mirl .script".
  const std::string &scriptName() const { return scriptlabel; }
  std::unique_ptr<Window> window;
  GraphicsDevice graphics;
  Arcball arcball;
  LayerKinds kinds;
  std::unique_ptr<DeviceTrace> trace; // every device call, when asked for
  bool scriptread = false; // the full pass found a script beginning <demo>
  bool sound = false;      // the soundtrack was opened
  const ScreenBackend *backend() const { return screen; }
  ScreenBackend *backend() { return screen; }

private:
  bool makeDevice(const SessionOptions &options, int width, int height,
                  std::string &error);
  // Frees what a start that failed made, writing nothing.
  void abandonStart();
  // Whether the script can be read; else false with `error` saying why.
  bool scriptReadable(std::string &error) const;
  // The show folder's data folder and script found again before a reload;
  // an archive is opened again.
  void findFolderAgain();
  // What opening an archive refused, said once it is open.
  void reportArchive();
  // The full pass, loading what the script names; false unless the script
  // begins with <demo>.
  bool readScript(LoadedShow &show, const std::string &script);

  Logger log;
  LogFile logfile; // the show's debug.log, one of the sinks of `log`
  Soundtrack *music = nullptr; // where the soundtrack plays
  ShowFolder showfolder;
  std::string scriptlabel; // "Data/mirl .script", as problems name it
  ScreenBackend *screen = nullptr;
  int picturewidth = 0, pictureheight = 0; // the back buffer's picture
  SystemTimerClock systemclock;
  std::unique_ptr<FrameTimer> timer;
  std::unique_ptr<FrameTools> frametools;
  // After the device: what it made for the show goes first.
  std::unique_ptr<LoadedShow> current = std::make_unique<LoadedShow>();
  bool stopped = true;
};

} // namespace korvane
