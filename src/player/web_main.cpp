// korvane-web: the player in a web page. The page writes a show's .zip
// into the memory file system and opens it here; the same player core as
// at home draws one turn per animation frame on the canvas's WebGL 2.

#include "base/problems.h"
#include "platform/page.h"
#include "platform/soundtrack.h"
#include "platform/system.h"
#include "player/main_loop.h"
#include "player/session.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace korvane;

// The window's events with the first one read ahead, so that a turn can
// tell whether anything happened before drawing.
class ReadAhead final : public EventSource {
public:
  explicit ReadAhead(EventSource &events) : events(events) {
    waiting = events.poll(first);
  }
  bool any() const { return waiting; }
  bool poll(WindowEvent &event) override {
    if (!waiting)
      return events.poll(event);
    event = first;
    waiting = false;
    return true;
  }

private:
  EventSource &events;
  WindowEvent first;
  bool waiting = false;
};

// The frame timer's clock (the overlay's frame rate reads it): the
// player's, or, while the frames of a show time asked for are drawn, that
// show time, as korvane-render's virtual clock gives it, so that the frame
// is korvane-render's picture overlay and all.
class FrameClock final : public TimerClock {
public:
  explicit FrameClock(TimerClock &played) : played(played) {}
  bool counterFrequency(std::int64_t &frequency) override {
    frequency = 1000;
    return true;
  }
  std::int64_t counter() override { return milliseconds(); }
  std::uint32_t milliseconds() override {
    return fixed ? showTime : played.milliseconds();
  }
  bool fixed = false;
  std::uint32_t showTime = 0;

private:
  TimerClock &played;
};

// One show at a time, on the page's canvas, for the page's life.
class WebPlayer {
public:
  // Plays the archive at `path`, or, with `at` 0 or more, opens it paused
  // at that show time; false when it cannot be played (said on the page).
  bool open(const std::string &path, std::int64_t at);
  // Ends the show, its music and its canvas context.
  void close();
  // Paused on the frame at `ms`, drawn as play draws it there; the canvas
  // then carries data-shown.
  void showAt(std::int64_t ms);
  void pause(bool paused);
  // One animation frame.
  void turn();
  // Turns as fast as the page allows, for measuring.
  bool unpaced = false;

private:
  // S: the still, downloaded; what the overlay says of it.
  std::string still(const FrameRequest &frame);
  void marked();

  Logger logger = standardLogger();
  SystemLife system;
  SystemTicks ticks;
  SystemTimerClock timer;
  std::unique_ptr<Soundtrack> soundtrack = makeSoundtrack();
  // Made anew for each show, which starts unpaused.
  std::unique_ptr<PausableClock> clock;
  std::unique_ptr<FrameClock> frameclock;
  std::unique_ptr<Session> session;
  std::unique_ptr<PlayerCore> core;
  std::uint32_t frames = 0;
  bool drawn = false; // a frame of the show is on the canvas
  bool shownMarked = false;
};

bool WebPlayer::open(const std::string &path, std::int64_t at) {
  close();
  clock = std::make_unique<PausableClock>(ticks, timer);
  frameclock = std::make_unique<FrameClock>(*clock);
  session = std::make_unique<Session>(logger);
  SessionOptions options;
  options.timerclock = frameclock.get();
  options.soundtrack = soundtrack.get();
  options.renderer = Renderer::Gles;
  options.folder = path;
  std::string error;
  if (!session->start(options, error)) {
    logger.report(Problem::StartFailed, "", 0, {error});
    session.reset();
    return false;
  }
  core = std::make_unique<PlayerCore>(*session, *clock, session->arcball);
  // The show waits on its last frame: Home plays it again.
  core->holdAtEnd = true;
  core->hooks.still = [this](const FrameRequest &frame) {
    return still(frame);
  };
  if (session->sound) {
    core->hooks.seekMusic = [this](std::uint32_t milliseconds) {
      soundtrack->seek(milliseconds, logger);
    };
    core->hooks.pauseMusic = [this](bool paused) { soundtrack->pause(paused); };
  }
  core->begin();
  frames = 0;
  drawn = false;
  if (at >= 0)
    showAt(at);
  return true;
}

void WebPlayer::close() {
  if (!session)
    return;
  page::markShown(-1);
  shownMarked = false;
  session->stop(frames, 0);
  core.reset();
  session.reset();
  frameclock.reset();
  clock.reset();
}

void WebPlayer::showAt(std::int64_t ms) {
  if (!core)
    return;
  if (!core->paused())
    core->togglePause();
  // The frames whose device states the frame at `ms` starts from, drawn
  // unshown, as korvane-render draws them before its stills.
  NoEvents none;
  const std::uint32_t end = showLength(core->show());
  const auto time = static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(ms, 0, end ? end - 1 : 0));
  frameclock->fixed = true;
  for (std::uint32_t before : framesBefore(core->show(), time)) {
    frameclock->showTime = before;
    core->seekTo(before);
    core->turn(none, false);
  }
  frameclock->showTime = time;
  core->seekTo(time);
  core->turn(none, true);
  frameclock->fixed = false;
  ++frames;
  drawn = true;
  marked();
  page::markShown(time);
  shownMarked = true;
}

void WebPlayer::pause(bool paused) {
  if (core && core->paused() != paused)
    core->togglePause();
}

void WebPlayer::turn() {
  if (!core)
    return;
  ReadAhead events(*session->window);
  // Paused with nothing happening: the frame on the canvas stands, as it
  // would be drawn again, and the browser has less to do.
  if (drawn && core->paused() && !events.any() && core->message.empty())
    return;
  core->turn(events);
  ++frames;
  drawn = true;
  if (shownMarked) {
    page::markShown(-1);
    shownMarked = false;
  }
  marked();
}

void WebPlayer::marked() {
  page::markFrame(core->showTime(), core->paused(), frames);
}

std::string WebPlayer::still(const FrameRequest &frame) {
  // Written into the memory file system as at home, then offered to the
  // person as a download and removed.
  std::string file;
  std::string said = session->writeStill(frame, &file);
  if (file.empty())
    return said;
  std::string bytes, why;
  if (diskFiles().read(file, bytes, why)) {
    const std::string name = std::filesystem::path(file).filename().string();
    page::offerDownload(name, bytes, "image/png");
    said = name + " downloaded";
  }
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  return said;
}

void eachFrame(void *player) { static_cast<WebPlayer *>(player)->turn(); }

} // namespace

// What the page calls, with the player it was handed when it was ready.
extern "C" {

int korvane_open(WebPlayer *player, const char *path, double at) {
  return player->open(path, static_cast<std::int64_t>(at)) ? 1 : 0;
}

void korvane_close(WebPlayer *player) { player->close(); }

void korvane_show_at(WebPlayer *player, double ms) {
  player->showAt(static_cast<std::int64_t>(ms));
}

void korvane_pause(WebPlayer *player, int paused) {
  player->pause(paused != 0);
}

} // extern "C"

int main(int argc, char **argv) {
  // Lives as long as the page: the browser calls it each animation frame.
  auto *player = new WebPlayer;
  player->unpaced = argc > 1 && std::strcmp(argv[1], "--unpaced") == 0;
  page::everyFrame(eachFrame, player, player->unpaced);
  page::ready(player);
  return 0;
}
