#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVIOContext;

namespace korvane {

// FFmpeg's input from bytes in memory: a file read from a show's archive.
// It outlives the format context opened over it.
class MemoryInput {
public:
  explicit MemoryInput(std::string bytes);
  ~MemoryInput();
  MemoryInput(const MemoryInput &) = delete;
  MemoryInput &operator=(const MemoryInput &) = delete;

  // A format context reading from the bytes, for avformat_open_input;
  // null when FFmpeg has no memory for it.
  AVFormatContext *formatContext();

private:
  static int readPacket(void *opaque, std::uint8_t *buffer, int size);
  static std::int64_t seek(void *opaque, std::int64_t offset, int whence);

  std::string bytes;
  std::size_t at = 0;
  AVIOContext *io = nullptr;
};

} // namespace korvane
