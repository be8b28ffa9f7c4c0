#include "platform/file_watch.h"

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

} // namespace

InotifyWatch::InotifyWatch() : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

InotifyWatch::~InotifyWatch() {
  if (fd >= 0)
    close(fd);
}

bool InotifyWatch::watch(const std::vector<std::string> &files,
                         std::string &error) {
  namespace fs = std::filesystem;
  if (fd < 0) {
    error = std::string("no file watch (") + std::strerror(errno) + ")";
    return false;
  }
  // A folder watched before keeps its watch and its id, so that the events
  // of a save made since the last look (while a reload ran) still match.
  std::map<int, std::set<std::string>> next;
  bool ok = true;
  for (const std::string &file : files) {
    std::string path = resolveMediaPath(file);
    std::replace(path.begin(), path.end(), '\\', '/');
    const fs::path resolved(path);
    const fs::path folder =
        resolved.has_parent_path() ? resolved.parent_path() : fs::path(".");
    // One watch for each folder: inotify hands back the same one.
    const int wd = inotify_add_watch(fd, folder.c_str(), changes);
    if (wd < 0) {
      error =
          "cannot watch " + folder.string() + " (" + std::strerror(errno) + ")";
      ok = false;
      continue;
    }
    next[wd].insert(lower(resolved.filename().string()));
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
      if (event->len > 0 && found != names.end() &&
          found->second.count(lower(event->name)))
        any = true;
      at += ssize_t(sizeof(inotify_event) + event->len);
    }
  }
  return any;
}

} // namespace korvane
