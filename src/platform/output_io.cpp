#include "platform/output_io.h"

#include "base/safe_file.h"
#include "platform/audio_mux.h"

extern "C" {
#include <libavformat/avio.h>
}

namespace korvane {

AVIOContext *openPlainOutput(const std::string &path, std::string &why) {
  FileDescriptor file = openForWriting(path, WriteMode::Replace, why);
  if (!file)
    return nullptr;
  // FFmpeg opens the very file checked, through the descriptor's own name:
  // no link put in its place meanwhile is followed.
  const std::string own = "file:/proc/self/fd/" + std::to_string(file.get());
  AVIOContext *io = nullptr;
  const int code = avio_open(&io, own.c_str(), AVIO_FLAG_WRITE);
  if (code < 0) {
    why = ffmpegError(code);
    return nullptr;
  }
  return io;
}

} // namespace korvane
