#include "base/debuglog.h"

#include "base/safe_file.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace korvane {
namespace {

std::unique_ptr<char[]> logName;
std::vector<std::string> *capture = nullptr;

// vsnprintf always terminates: an over-long line loses its tail.
void formatLine(char (&line)[1024], const char *format, va_list args) {
  if (std::vsnprintf(line, sizeof line, format, args) < 0)
    line[0] = '\0';
}

} // namespace

void openLog(const char *filename) {
  std::string why;
  openLog(filename, why);
}

bool openLog(const char *filename, std::string &why) {
  std::error_code error;
  const std::string absolute =
      std::filesystem::absolute(filename, error).string();
  const std::string name = error ? std::string(filename) : absolute;
  logName = std::make_unique<char[]>(name.size() + 1);
  std::char_traits<char>::copy(logName.get(), name.c_str(), name.size() + 1);
  // A log that is a link, a FIFO or a device is never written: its name is
  // forgotten, and lines reach the capture only.
  if (!openOutputFile(logName.get(), WriteMode::Replace, why)) {
    logName.reset();
    return false;
  }
  return true;
}

void writeLog(const char *format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  formatLine(line, format, args);
  va_end(args);
  if (capture)
    capture->emplace_back(line);
  if (logName) {
    std::string why;
    if (OutputFile file = openOutputFile(logName.get(), WriteMode::Append, why))
      std::fprintf(file.get(), "%s\n", line);
  }
}

void closeLog() { logName.reset(); }

void setLogCapture(std::vector<std::string> *lines) { capture = lines; }

} // namespace korvane
