#include "player/main_loop.h"

namespace korvane {

LoopRun runMainLoop(Show &show, FrameContext &frame, EventSource &events,
                    TickSource &ticks, Arcball &arcball) {
  LoopRun run;
  run.start = ticks.tickCount();
  bool quit = false, ended = false;
  while (!ended) {
    WindowEvent event;
    while (events.poll(event)) {
      switch (event.kind) {
      case WindowEvent::Quit:
      case WindowEvent::Escape:
        quit = true;
        break;
      case WindowEvent::Space:
        skipToNextPart(show, ticks.tickCount() - run.start);
        break;
      case WindowEvent::Mouse:
        arcball.handleMessage(event.mouse);
        break;
      default:
        break;
      }
    }
    ended = renderFrame(show, frame, ticks.tickCount() - run.start);
    ++run.frames;
    if (quit)
      break;
  }
  run.end = ticks.tickCount();
  return run;
}

} // namespace korvane
