#include "platform/memory_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>

namespace korvane {

MemoryInput::MemoryInput(std::string data) : bytes(std::move(data)) {}

MemoryInput::~MemoryInput() {
  if (io) {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
}

AVFormatContext *MemoryInput::formatContext() {
  constexpr int size = 65536;
  auto *buffer = static_cast<unsigned char *>(av_malloc(size));
  if (!buffer)
    return nullptr;
  io = avio_alloc_context(buffer, size, 0, this, readPacket, nullptr, seek);
  if (!io) {
    av_free(buffer);
    return nullptr;
  }
  AVFormatContext *format = avformat_alloc_context();
  if (format) {
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
  }
  return format;
}

int MemoryInput::readPacket(void *opaque, std::uint8_t *buffer, int size) {
  auto *in = static_cast<MemoryInput *>(opaque);
  const std::size_t left = in->bytes.size() - in->at;
  if (left == 0 || size <= 0)
    return AVERROR_EOF;
  const std::size_t n = std::min(left, static_cast<std::size_t>(size));
  std::memcpy(buffer, in->bytes.data() + in->at, n);
  in->at += n;
  return static_cast<int>(n);
}

std::int64_t MemoryInput::seek(void *opaque, std::int64_t offset, int whence) {
  auto *in = static_cast<MemoryInput *>(opaque);
  const auto size = static_cast<std::int64_t>(in->bytes.size());
  if (whence & AVSEEK_SIZE)
    return size;
  std::int64_t to = offset;
  switch (whence & ~AVSEEK_FORCE) {
  case SEEK_CUR:
    to += static_cast<std::int64_t>(in->at);
    break;
  case SEEK_END:
    to += size;
    break;
  case SEEK_SET:
    break;
  default:
    return -1;
  }
  if (to < 0 || to > size)
    return -1;
  in->at = static_cast<std::size_t>(to);
  return to;
}

} // namespace korvane
