#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace korvane {

// FFmpeg's words for one of its error codes.
std::string ffmpegError(int code);

// A music file made into an audio stream of a video being written: decoded,
// resampled and encoded as far as the video has come, never past the cut.
class AudioMux {
public:
  // Adds the stream to `output` (before its header is written): AAC, or
  // FLAC when `lossless`. Null with `error` when the music cannot be read
  // or the container takes neither.
  static std::unique_ptr<AudioMux> open(const std::string &music,
                                        AVFormatContext *output, bool lossless,
                                        std::uint32_t cutMs, std::string &error,
                                        std::string bytes = {});
  ~AudioMux();
  AudioMux(const AudioMux &) = delete;
  AudioMux &operator=(const AudioMux &) = delete;

  // Encodes the music up to `seconds` (or the cut) and hands each packet,
  // timed in the stream's base, to `write`. False with `error` on a fault.
  using Writer = std::function<bool(AVPacket *)>;
  bool encodeUntil(double seconds, const Writer &write, std::string &error);
  // The rest up to the cut, and what the encoder still holds.
  bool finish(const Writer &write, std::string &error);

private:
  AudioMux() = default;
  struct State;
  bool decodeMore(bool &ended, std::string &error);
  bool encodeFrame(bool last, const Writer &write, std::string &error);
  bool drain(const Writer &write, std::string &error);
  std::unique_ptr<State> state;
};

} // namespace korvane
