#pragma once

// The Linux desktop's file watch: inotify.

#include "platform/file_watch.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace korvane {

// Watches the folders that hold the files, so that an editor that saves
// by writing a new file and renaming it over the old one is seen too, and
// the folders above them, so that a folder replaced (renamed over, checked
// out again) is a change and is watched anew. Names compare without regard
// to case, as the show finds them.
class InotifyWatch final : public FileWatch {
public:
  InotifyWatch();
  ~InotifyWatch() override;
  InotifyWatch(const InotifyWatch &) = delete;
  InotifyWatch &operator=(const InotifyWatch &) = delete;

  bool watch(const std::vector<std::string> &files,
             std::string &error) override;
  bool changed() override;

private:
  // Adds `name` in `folder` to `next`; false with `error` when the folder
  // cannot be watched.
  bool watchName(const std::string &folder, const std::string &name,
                 std::map<int, std::set<std::string>> &next,
                 std::string &error);

  int fd = -1;
  std::vector<std::string> watched; // the files as given, found again
  bool refind = false;
  std::map<int, std::set<std::string>> names; // by watch: lower-case names
};

} // namespace korvane
