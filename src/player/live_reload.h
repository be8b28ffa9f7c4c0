#pragma once

#include "base/tick_source.h"
#include "platform/file_watch.h"
#include "player/main_loop.h"
#include "player/session.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace korvane {

// korvane --watch: when the script or a file it names changes, the script
// is read again into a new show, which takes over at the next frame from
// the same show time. A script that cannot be played leaves the show as it
// was and says why, on standard error and in the overlay; the session never
// ends because of what was saved.
class LiveReload {
public:
  // `ticks` is the real tick count, which runs on while the show is paused.
  LiveReload(Session &session, PlayerCore &loop, FileWatch &watch,
             TickSource &ticks);

  // Once a turn, between frames: reloads when the files have been quiet
  // for `quiet` ms after a change, so that an editor's burst of writes
  // makes one reload.
  void betweenFrames();
  int reloads() const { return count; }
  static constexpr std::uint32_t quiet = 100;
  // Reads the script again into a new show: the session's, or a test's.
  std::function<std::unique_ptr<LoadedShow>(std::string &why)> load;

private:
  void reload();
  void watchNamedFiles();

  Session &session;
  PlayerCore &loop;
  FileWatch &watch;
  TickSource &ticks;
  bool pending = false;
  std::uint32_t lastchange = 0;
  int count = 0;
};

} // namespace korvane
