#include "base/debuglog.h"

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
  std::error_code error;
  const std::string absolute =
      std::filesystem::absolute(filename, error).string();
  const std::string name = error ? std::string(filename) : absolute;
  logName = std::make_unique<char[]>(name.size() + 1);
  std::char_traits<char>::copy(logName.get(), name.c_str(), name.size() + 1);
  if (std::FILE *file = std::fopen(logName.get(), "w"))
    std::fclose(file);
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
    if (std::FILE *file = std::fopen(logName.get(), "a")) {
      std::fprintf(file, "%s\n", line);
      std::fclose(file);
    }
  }
}

void closeLog() { logName.reset(); }

void setLogCapture(std::vector<std::string> *lines) { capture = lines; }

} // namespace korvane
