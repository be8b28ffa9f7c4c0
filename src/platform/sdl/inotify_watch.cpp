#include "platform/sdl/inotify_watch.h"

#include "base/media_path.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace korvane {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

constexpr std::uint32_t changes = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE |
                                  IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM;
// A watched folder itself moved, deleted or gone: its watch follows the old
// folder, so the paths are found again.
constexpr std::uint32_t gone = IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED;

} // namespace

InotifyWatch::InotifyWatch() : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

InotifyWatch::~InotifyWatch() {
  if (fd >= 0)
    close(fd);
}

bool InotifyWatch::watchName(const std::string &folder, const std::string &name,
                             std::map<int, std::set<std::string>> &next,
                             std::string &error) {
  const int wd = inotify_add_watch(fd, folder.c_str(), changes | gone);
  if (wd < 0) {
    error = "cannot watch " + folder + " (" + std::strerror(errno) + ")";
    return false;
  }
  next[wd].insert(lower(name));
  return true;
}

bool InotifyWatch::watch(const std::vector<std::string> &files,
                         std::string &error) {
  namespace fs = std::filesystem;
  if (fd < 0) {
    error = std::string("no file watch (") + std::strerror(errno) + ")";
    return false;
  }
  watched = files;
  // A folder watched before keeps its watch and its id, so that the events
  // of a save made since the last look (while a reload ran) still match.
  std::map<int, std::set<std::string>> next;
  bool ok = true;
  for (const std::string &file : files) {
    std::string path = resolveMediaPath(file);
    std::replace(path.begin(), path.end(), '\\', '/');
    const fs::path resolved = fs::path(path).lexically_normal();
    const fs::path folder =
        resolved.has_parent_path() ? resolved.parent_path() : fs::path(".");
    // One watch for each folder: inotify hands back the same one. The
    // folder above sees the folder replaced, or made when it is missing.
    std::error_code failed;
    const fs::path whole = fs::absolute(folder, failed);
    std::string why;
    const bool seen =
        watchName(folder.string(), resolved.filename().string(), next, why);
    const bool above = whole.parent_path() != whole &&
                       watchName(whole.parent_path().string(),
                                 whole.filename().string(), next, why);
    if (!seen && !above) {
      error = why;
      ok = false;
    }
  }
  for (const auto &[wd, unused] : names)
    if (!next.count(wd))
      inotify_rm_watch(fd, wd);
  names = std::move(next);
  return ok;
}

bool InotifyWatch::changed() {
  if (fd < 0)
    return false;
  bool any = false;
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0)
      break;
    for (ssize_t at = 0; at < got;) {
      const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
      const auto found = names.find(event->wd);
      // Events lost to a full queue may have been anything.
      if ((event->mask & IN_Q_OVERFLOW) ||
          (found != names.end() && (event->mask & gone))) {
        any = true;
        refind = true;
      } else if (event->len > 0 && found != names.end() &&
                 found->second.count(lower(event->name))) {
        any = true;
        // A folder on the way made, replaced or removed.
        refind = refind || (event->mask & IN_ISDIR);
      }
      at += ssize_t(sizeof(inotify_event) + event->len);
    }
  }
  if (refind) {
    refind = false;
    std::string error;
    watch(std::vector<std::string>(watched), error);
  }
  return any;
}

std::unique_ptr<FileWatch> systemFileWatch() {
  return std::make_unique<InotifyWatch>();
}

} // namespace korvane
