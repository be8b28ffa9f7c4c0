// korvane --watch on the bundled show: the time from a save of the script to
// the first frame of the show read again, through the real file watch (its
// 100 ms of quiet included), and the reading and loading alone.

#include "base/clocks.h"
#include "base/pausable_clock.h"
#include "platform/sdl/inotify_watch.h"
#include "player/live_reload.h"
#include "player/session.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using namespace korvane;
using Clock = std::chrono::steady_clock;

void reloadBundledShow(benchmark::State &state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  const fs::path folder = fs::temp_directory_path() / "korvane-reload-bench";
  fs::remove_all(folder);
  fs::copy(KORVANE_SHOW_DIR, folder, fs::copy_options::recursive);
  std::string script;
  {
    std::ifstream in(folder / "Data" / "mirl .script");
    script.assign(std::istreambuf_iterator<char>(in), {});
  }
  const Logger quiet;
  Session session(quiet);
  VirtualClock clock;
  SessionOptions options;
  options.hidden = true;
  options.sound = false;
  options.timerclock = &clock;
  options.folder = folder.string();
  std::string error;
  if (!session.start(options, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  SystemTicks ticks;
  PausableClock pausable(ticks, clock);
  PlayerCore loop(session, pausable, session.arcball);
  InotifyWatch watch;
  LiveReload reload(session, loop, watch, ticks);
  double loading = 0;
  for (auto _ : state) {
    const int reloads = reload.reloads();
    std::ofstream(folder / "Data" / "mirl .script") << script;
    const auto saved = Clock::now();
    for (;;) {
      const auto turn = Clock::now();
      reload.betweenFrames();
      session.frame({.showTime = 10000});
      if (reload.reloads() != reloads) {
        loading += std::chrono::duration<double>(Clock::now() - turn).count();
        break;
      }
    }
    state.SetIterationTime(
        std::chrono::duration<double>(Clock::now() - saved).count());
  }
  state.counters["load_and_first_frame_ms"] =
      benchmark::Counter(loading * 1000, benchmark::Counter::kAvgIterations);
  session.stop(1, 1);
  fs::remove_all(folder);
}

BENCHMARK(reloadBundledShow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

} // namespace

BENCHMARK_MAIN();
