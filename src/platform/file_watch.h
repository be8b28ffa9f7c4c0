#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvane {

// Tells whether any of a set of files has changed: the system's watch, or
// a test's stand-in.
class FileWatch {
public:
  virtual ~FileWatch() = default;
  // Watches these files from now on instead of the ones before. A file
  // may not exist yet: its creation is a change. False with `error` when
  // a file's folder cannot be watched; the others are watched all the same.
  virtual bool watch(const std::vector<std::string> &files,
                     std::string &error) = 0;
  // Whether a watched file was written, created, replaced or deleted
  // since the last call. Never waits.
  virtual bool changed() = 0;
};

// The system's watch over files (the player's --watch).
std::unique_ptr<FileWatch> systemFileWatch();

} // namespace korvane
