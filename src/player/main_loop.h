#pragma once

#include "base/pausable_clock.h"
#include "base/tick_source.h"
#include "device/arcball.h"
#include "platform/window.h"
#include "playback/compose.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// How a run of the main loop went: the turns it rendered and the tick
// counts taken before the first frame and after the last.
struct LoopRun {
  std::uint32_t frames = 0;
  std::uint32_t start = 0, end = 0;
};

// The one owner of the show being played and of what draws its frames.
class Stage {
public:
  virtual ~Stage() = default;
  virtual const LoadedShow &loaded() const = 0;
  const Show &show() const { return loaded().show; }
  virtual FrameTools &tools() = 0;
  // Plays `next` from now on and frees the show it replaces.
  virtual void adopt(std::unique_ptr<LoadedShow> next) = 0;
};

// No events: the turns of a driver without input.
class NoEvents final : public EventSource {
public:
  bool poll(WindowEvent &) override { return false; }
};

// What the loop moves besides the picture; each may be left empty.
struct LoopHooks {
  // The music to the show time after a seek, a reload or a resume.
  std::function<void(std::uint32_t showTime)> seekMusic;
  std::function<void(bool paused)> pauseMusic;
  // F: between a window and full screen; the picture follows the size.
  std::function<void()> toggleFullscreen;
  // The window's drawable changed size: the picture follows it.
  std::function<void()> resized;
  // Once a turn, before the frame: where a new show may be swapped in.
  std::function<void()> betweenFrames;
  // S: the frame just drawn, as `frame` asked for it, written as a still;
  // what the overlay says of it.
  std::function<std::string(const FrameRequest &frame)> still;
};

// The frames play draws before the one at `ms` that leave the device states
// it starts from: states persist across frames and parts, so one frame of
// every earlier part (their last at 60 Hz), then the frame 1/60 s before.
// Drawn unshown before it, they make the frame at `ms` the picture play
// shows there, however the player came to it.
std::vector<std::uint32_t> framesBefore(const Show &show, std::uint32_t ms);

// The player's keys and what each does, in the order the help lists them.
struct PlayerKey {
  const char *keys;
  const char *does;
};
extern const PlayerKey playerKeys[11];
// The keys as `korvane --help` lists them, one per line, wrapped at 78.
std::string keyHelp();

// The player's core, turned one frame at a time by its drivers: the
// window's loop (run), korvane-render's schedule of shots, a browser's
// animation frames. Each turn handles the turn's events, then draws the
// stage's frame for the show time. The keys do what `playerKeys` says;
// Escape and closing the window quit after the turn's frame, every Space
// key-down skips one part, and the mouse goes to the arcball.
class PlayerCore {
public:
  // `clock` is the one the show reads: the layers' motion and the frame
  // timer of the stage's frame read it too, so that a pause stops them all.
  PlayerCore(Stage &stage, PausableClock &clock, Arcball &arcball);

  // The show time starts from the clock's tick count now.
  void begin();
  // One turn: the events `input` holds, then the frame (shown, or with
  // `present` false only drawn for the states it leaves). False once the
  // show has ended or the turn's events quit it.
  bool turn(EventSource &input, bool present = true);
  // The window's loop: begin, then turns until the show ends or is quit.
  LoopRun run(EventSource &events);

  LoopHooks hooks;
  // Instead of ending, the show waits, paused, on its last millisecond
  // (for authors, who keep it open while they edit); a show with nothing
  // to play waits on a black frame for one that has.
  bool holdAtEnd = false;

  // What the turns' frames are drawn with besides the show time.
  Playhead playhead;
  LayerMutes mutes;
  int overlaytexts = -1; // -1 as the script says, 0 hidden, 1 shown
  std::string notice;    // a line for the people watching; empty for none
  std::string message;   // a passing line (where a still went)

  const Show &show() const { return stage.show(); }
  std::uint32_t showTime();
  bool paused() const { return clock.paused(); }
  // The show time moved to `target`, kept inside the show; the music
  // follows.
  void seekTo(std::int64_t target);
  void togglePause();
  // While paused: `frames` sixtieths of a second on (or back), counted from
  // where the stepping began so that sixty steps make one second.
  void step(int frames);
  // How long a passing line (where a still went) stays, in real ms.
  static constexpr std::uint32_t messageTime = 2000;
  // Plays on with `next` from the same show time, or its last millisecond
  // when it is shorter (from 0 after a show with nothing to play); the
  // stage frees the show it replaces.
  void replaceShow(std::unique_ptr<LoadedShow> next);

private:
  void handle(const WindowEvent &event, bool &quit);
  void layerKey(const WindowEvent &event);
  // The request for the frame at `elapsed`.
  FrameRequest request(std::uint32_t elapsed, bool present) const;
  // The turn's frame, held on the show's last millisecond where asked; true
  // when the show has ended.
  bool drawTurn(bool present);
  std::uint32_t elapsed() { return clock.tickCount() - start; }

  Stage &stage;
  PausableClock &clock;
  Arcball &arcball;
  std::uint32_t start = 0;
  bool stillwanted = false;
  std::uint32_t messagesince = 0; // the real tick the passing line came
  // Frame stepping: the show time it began from, the steps since, and the
  // show time the last step left (another seek begins anew).
  std::uint32_t stepbase = 0, stepped = 0;
  std::int64_t steps = 0;
};

} // namespace korvane
