#pragma once

// Readers that take a file name get each fuzz input through a file of this
// process's own, so they are fuzzed exactly as a show reaches them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace korvane::fuzz {

class InputFile {
public:
  explicit InputFile(const char *extension)
      : path((std::filesystem::temp_directory_path() /
              ("korvane-fuzz-" + std::to_string(::getpid()) + extension))
                 .string()) {}
  ~InputFile() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  InputFile(const InputFile &) = delete;
  InputFile &operator=(const InputFile &) = delete;

  // Replaces the file's contents; false when it cannot be written.
  bool write(const std::uint8_t *data, std::size_t size) const {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
      return false;
    const bool whole = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && whole;
  }

  const std::string path;
};

} // namespace korvane::fuzz
