#include "player/live_reload.h"

#include "base/media_path.h"
#include "base/problems.h"

namespace korvane {

LiveReload::LiveReload(Session &session, PlayerCore &loop, FileWatch &watch,
                       TickSource &ticks)
    : load([s = &session](std::string &why) { return s->loadShow(why); }),
      session(session), loop(loop), watch(watch), ticks(ticks) {
  watchNamedFiles();
  // The author may have started on a script being written: the session
  // waits for it rather than end.
  if (const std::string why = unplayable(session.show()); !why.empty()) {
    loop.notice =
        problemText(Problem::NothingToPlay, {session.scriptName(), why});
    session.logger().report(Problem::NothingToPlay, "", 0,
                            {session.scriptName(), why});
  }
}

void LiveReload::watchNamedFiles() {
  std::vector<std::string> files = filesNamed(session.show());
  for (std::string &file : files)
    file = session.folder().file(file);
  files.insert(files.begin(), session.folder().script);
  // A show in an archive changes with the archive.
  if (!session.folder().archive.empty())
    files = {session.folder().archive};
  std::string error;
  if (!watch.watch(files, error))
    session.logger().report(Problem::NotWatched, "", 0, {error});
}

void LiveReload::betweenFrames() {
  const std::uint32_t now = ticks.tickCount();
  if (watch.changed()) {
    pending = true;
    lastchange = now;
  }
  if (pending && now - lastchange >= quiet) {
    pending = false;
    reload();
  }
}

void LiveReload::reload() {
  std::string why;
  std::unique_ptr<LoadedShow> next = load(why);
  if (!next) {
    loop.notice =
        problemText(Problem::ReloadRejected, {session.scriptName(), why});
    session.logger().report(Problem::ReloadRejected, "", 0,
                            {session.scriptName(), why});
  } else {
    loop.replaceShow(std::move(next));
    loop.notice.clear();
    ++count;
  }
  // The files named may have changed, and a file renamed over the script
  // is another file to watch.
  watchNamedFiles();
}

} // namespace korvane
