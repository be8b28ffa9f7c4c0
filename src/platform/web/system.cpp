#include "platform/system.h"
#include "platform/file_watch.h"

namespace korvane {

// The browser is the window system and the sound: nothing to start or end.
SystemLife::~SystemLife() = default;

void chooseOffscreenDrivers() {}

namespace {

// A show in a page is read from an archive in memory: nothing changes it.
class NoFileWatch final : public FileWatch {
public:
  bool watch(const std::vector<std::string> &files,
             std::string &error) override {
    if (files.empty())
      return true;
    error = "files are not watched in a browser";
    return false;
  }
  bool changed() override { return false; }
};

} // namespace

std::unique_ptr<FileWatch> systemFileWatch() {
  return std::make_unique<NoFileWatch>();
}

} // namespace korvane
