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

namespace korvane {

// How a run of the main loop went: the turns it rendered and the tick
// counts taken before the first frame and after the last.
struct LoopRun {
  std::uint32_t frames = 0;
  std::uint32_t start = 0, end = 0;
};

// The one owner of the show being played, and how its frames are drawn:
// the session, or a plain stage over a show and a frame context.
class Stage {
public:
  virtual ~Stage() = default;
  virtual Show &show() = 0;
  virtual FrameContext &frameContext() = 0;
  // Plays `next` from now on and frees the show it replaces.
  virtual void adopt(std::unique_ptr<Show> next) = 0;
};

// A stage over a show and a frame context held elsewhere; a show adopted
// is its own.
class PlainStage final : public Stage {
public:
  PlainStage(Show &show, FrameContext &frame)
      : current(&show), context(frame) {}
  Show &show() override { return *current; }
  FrameContext &frameContext() override { return context; }
  void adopt(std::unique_ptr<Show> next) override {
    owned = std::move(next);
    current = owned.get();
  }

private:
  Show *current;
  FrameContext &context;
  std::unique_ptr<Show> owned;
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
  // S: the frame just drawn for `elapsed` written as a still; what the
  // overlay says of it.
  std::function<std::string(std::uint32_t elapsed)> still;
};

// The player's keys and what each does, in the order the help lists them.
struct PlayerKey {
  const char *keys;
  const char *does;
};
extern const PlayerKey playerKeys[11];
// The keys as `korvane --help` lists them, one per line, wrapped at 78.
std::string keyHelp();

// The one frame loop, of the player and of korvane-render. Each turn drains
// the events, then renders the stage's frame for the show time, until no
// part holds it. The keys do what `playerKeys` says; Escape and closing the
// window quit after the turn's frame, every Space key-down skips one part,
// and the mouse goes to the arcball.
class PlayerLoop {
public:
  // `clock` is the one the show reads: the layers' motion and the frame
  // timer of the stage's frame read it too, so that a pause stops them all.
  PlayerLoop(Stage &stage, PausableClock &clock, Arcball &arcball);

  LoopRun run(EventSource &events);

  LoopHooks hooks;
  // Instead of ending, the show waits, paused, on its last millisecond
  // (for authors, who keep it open while they edit); a show with nothing
  // to play waits on a black frame for one that has.
  bool holdAtEnd = false;

  Show &show() { return stage.show(); }
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
  void replaceShow(std::unique_ptr<Show> next);

private:
  void handle(const WindowEvent &event, bool &quit);
  void layerKey(const WindowEvent &event);
  // The turn's frame, held on the show's last millisecond where asked; true
  // when the show has ended.
  bool drawTurn();
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

// The loop of the Parts' player alone, on `ticks`: the one the tests of the
// original keys drive.
LoopRun runMainLoop(Show &show, FrameContext &frame, EventSource &events,
                    TickSource &ticks, Arcball &arcball);

} // namespace korvane
