#include "base/debuglog.h"

#include "base/safe_file.h"

#include <cstdio>
#include <filesystem>

namespace korvane {

bool LogFile::open(const std::string &filename, std::string &why) {
  std::error_code error;
  const std::string absolute =
      std::filesystem::absolute(filename, error).string();
  name = error ? filename : absolute;
  // A log that is a link, a FIFO or a device is never written: its name is
  // forgotten.
  if (!openOutputFile(name, WriteMode::Replace, why)) {
    name.clear();
    return false;
  }
  return true;
}

void LogFile::write(const std::string &line) const {
  if (name.empty())
    return;
  std::string why;
  if (OutputFile file = openOutputFile(name, WriteMode::Append, why))
    std::fprintf(file.get(), "%s\n", line.c_str());
}

LineSink logFileSink(const LogFile &file) {
  return [&file](const std::string &line) { file.write(line); };
}

} // namespace korvane
