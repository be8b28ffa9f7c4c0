#include "player/main_loop.h"

#include "base/clocks.h"

#include <algorithm>
#include <utility>

namespace korvane {

const PlayerKey playerKeys[11] = {
    {"Space", "skip to the next part"},
    {"Right, Left", "the show time 1 s forward or back; with Shift, 10 s"},
    {"Home", "back to the start"},
    {"P or Pause", "stop, and go on; every clock the show reads stands still"},
    {"T", "show or hide the frame rate and the show time, whatever the "
          "script says"},
    {"F", "full screen or window: the picture is scaled to fit, black bars "
          "beside it"},
    {". and ,", "while stopped, one frame (1/60 s) forward or back"},
    {"S", "write the frame on the screen into the show folder as "
          "still_MS.png at the show's own size (MS: the show time)"},
    {"1 to 8", "leave that layer of the part on screen out of the picture, "
               "or bring it back; the overlay lists the part's layers"},
    {"Shift+1 to 8", "play that layer alone; again, all the layers"},
    {"Escape", "quit"},
};

std::vector<std::uint32_t> framesBefore(const Show &show, std::uint32_t ms) {
  constexpr std::uint32_t frame = 1000 / 60;
  std::vector<std::uint32_t> out;
  for (const Part &part : show.partsParsed()) {
    const auto start = static_cast<std::uint32_t>(part.starttime);
    const auto end = static_cast<std::uint32_t>(part.endtime);
    if (end > ms || start >= end)
      break;
    out.push_back(end - start > frame ? end - frame : start);
  }
  if (ms >= frame)
    out.push_back(ms - frame);
  return out;
}

std::string keyHelp() {
  constexpr std::size_t indent = 16, width = 78;
  std::string out;
  for (const PlayerKey &key : playerKeys) {
    std::string line = "  " + std::string(key.keys);
    line.resize(indent, ' ');
    std::size_t column = indent;
    const std::string does = key.does;
    for (std::size_t at = 0; at < does.size();) {
      std::size_t end = does.find(' ', at);
      if (end == std::string::npos)
        end = does.size();
      const std::string word = does.substr(at, end - at);
      if (column > indent && column + 1 + word.size() > width) {
        out += line + "\n";
        line.assign(indent, ' ');
        column = indent;
      }
      if (column > indent) {
        line += ' ';
        ++column;
      }
      line += word;
      column += word.size();
      at = end + 1;
    }
    out += line + "\n";
  }
  return out;
}

PlayerCore::PlayerCore(Stage &stage, PausableClock &clock, Arcball &arcball)
    : stage(stage), clock(clock), arcball(arcball) {}

std::uint32_t PlayerCore::showTime() { return playhead.showTime(elapsed()); }

void PlayerCore::seekTo(std::int64_t target) {
  const std::uint32_t end = showLength(stage.show());
  if (end == 0)
    return;
  const std::int64_t time = std::clamp<std::int64_t>(target, 0, end - 1);
  playhead.skipoffset =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(time) - elapsed());
  if (hooks.seekMusic)
    hooks.seekMusic(static_cast<std::uint32_t>(time));
  // Music that had played to its end starts again to seek: held still.
  if (clock.paused() && hooks.pauseMusic)
    hooks.pauseMusic(true);
}

void PlayerCore::step(int frames) {
  if (!clock.paused())
    return;
  const std::uint32_t now = showTime();
  if (now != stepped || steps == 0) {
    stepbase = now;
    steps = 0;
  }
  steps += frames;
  const std::int64_t offset = steps * 1000;
  const std::int64_t target =
      std::int64_t(stepbase) + (offset + (offset < 0 ? -30 : 30)) / 60;
  seekTo(target);
  stepped = showTime();
  // Held at either end: the next step counts from there.
  if (stepped != target)
    steps = 0;
}

void PlayerCore::layerKey(const WindowEvent &event) {
  const int index = partAt(stage.show(), showTime());
  if (index < 0 || event.layer < 1)
    return;
  const auto part = static_cast<std::size_t>(index);
  const std::size_t layers = stage.show().parts[part].layersParsed().size();
  const auto layer = static_cast<std::size_t>(event.layer - 1);
  if (event.shift)
    mutes.solo(part, layer, layers);
  else
    mutes.toggle(part, layer, layers);
}

void PlayerCore::togglePause() {
  if (clock.paused()) {
    clock.resume();
    // Where the music stood may have drifted from the picture: both go on
    // from the show time.
    if (hooks.seekMusic)
      hooks.seekMusic(showTime());
    if (hooks.pauseMusic)
      hooks.pauseMusic(false);
  } else {
    clock.pause();
    if (hooks.pauseMusic)
      hooks.pauseMusic(true);
  }
}

void PlayerCore::replaceShow(std::unique_ptr<LoadedShow> next) {
  // After a show with nothing to play, the new one starts from its start.
  const std::uint32_t time = showLength(stage.show()) == 0 ? 0 : showTime();
  const std::uint32_t end = showLength(next->show);
  const std::uint32_t kept = end == 0 ? 0 : std::min(time, end - 1);
  stage.adopt(std::move(next));
  playhead.skipoffset = static_cast<std::int32_t>(kept - elapsed());
  if (kept != time && hooks.seekMusic)
    hooks.seekMusic(kept);
}

void PlayerCore::handle(const WindowEvent &event, bool &quit) {
  // A held switch switches once; only skips, seeks and steps repeat.
  if (event.repeat && event.kind != WindowEvent::Space &&
      event.kind != WindowEvent::Forward && event.kind != WindowEvent::Back &&
      event.kind != WindowEvent::StepForward &&
      event.kind != WindowEvent::StepBack)
    return;
  const std::int64_t seek = event.shift ? 10000 : 1000;
  switch (event.kind) {
  case WindowEvent::Quit:
  case WindowEvent::Escape:
    quit = true;
    break;
  case WindowEvent::Space:
    // The Parts' skip: the music runs on free of it.
    skipToNextPart(stage.show(), playhead, elapsed());
    break;
  case WindowEvent::Mouse:
    arcball.handleMessage(event.mouse);
    break;
  case WindowEvent::Forward:
    seekTo(std::int64_t(showTime()) + seek);
    break;
  case WindowEvent::Back:
    seekTo(std::int64_t(showTime()) - seek);
    break;
  case WindowEvent::Home:
    seekTo(0);
    break;
  case WindowEvent::Pause:
    togglePause();
    break;
  case WindowEvent::OverlayTexts: {
    const bool shown = overlaytexts < 0
                           ? stage.show().showfps || stage.show().showtime
                           : overlaytexts > 0;
    overlaytexts = shown ? 0 : 1;
    break;
  }
  case WindowEvent::Fullscreen:
    if (hooks.toggleFullscreen)
      hooks.toggleFullscreen();
    break;
  case WindowEvent::Resized:
    if (hooks.resized)
      hooks.resized();
    break;
  case WindowEvent::StepForward:
    step(1);
    break;
  case WindowEvent::StepBack:
    step(-1);
    break;
  case WindowEvent::Still:
    stillwanted = true;
    break;
  case WindowEvent::LayerKey:
    layerKey(event);
    break;
  default:
    break;
  }
}

FrameRequest PlayerCore::request(std::uint32_t now, bool present) const {
  return {
      playhead.showTime(now), present, overlaytexts, notice, message, mutes};
}

bool PlayerCore::drawTurn(bool present) {
  if (!message.empty() && clock.realTickCount() - messagesince >= messageTime)
    message.clear();
  std::uint32_t now = elapsed();
  if (holdAtEnd && showLength(stage.show()) == 0) {
    // Nothing to play yet: the author's next save may bring it.
    drawWaitingFrame(stage.tools(), request(now, present));
    return false;
  }
  bool ended =
      renderFrame(stage.loaded(), stage.tools(), request(now, present));
  if (ended && holdAtEnd && showLength(stage.show()) > 0) {
    seekTo(showLength(stage.show()) - 1);
    if (!clock.paused())
      togglePause();
    now = elapsed();
    ended = renderFrame(stage.loaded(), stage.tools(), request(now, present));
  }
  if (std::exchange(stillwanted, false) && !ended && hooks.still) {
    message = hooks.still(request(now, present));
    messagesince = clock.realTickCount();
  }
  return ended;
}

void PlayerCore::begin() { start = clock.tickCount(); }

bool PlayerCore::turn(EventSource &input, bool present) {
  bool quit = false;
  WindowEvent event;
  while (input.poll(event))
    handle(event, quit);
  if (hooks.betweenFrames)
    hooks.betweenFrames();
  return !drawTurn(present) && !quit;
}

LoopRun PlayerCore::run(EventSource &events) {
  LoopRun run;
  // The run's span is real time, pauses included; the show's is not.
  run.start = clock.realTickCount();
  begin();
  for (bool going = true; going; ++run.frames)
    going = turn(events);
  run.end = clock.realTickCount();
  return run;
}

} // namespace korvane
