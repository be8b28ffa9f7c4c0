#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

struct VideoSettings {
  std::string path; // the container comes from the name: .mp4, .mkv, ...
  int width = 0, height = 0;
  int fps = 60;
  int crf = 18; // H.264's quality: 0 best, 51 worst
  // FFV1 in RGB, frame for frame what was drawn (with FLAC sound).
  bool lossless = false;
  std::string music;        // muxed in when given
  std::string musicbytes;   // its bytes, read from an archive; or empty
  std::uint32_t length = 0; // the show's length in ms, where the sound ends
};

// A video file written as frames come: each goes to an encoder on a thread
// of its own, so that the next frame is drawn while this one is encoded.
class VideoWriter {
public:
  // Null with `error` when the file cannot be made. A music file that
  // cannot be read leaves the video silent, and `soundProblem` says why.
  static std::unique_ptr<VideoWriter> open(const VideoSettings &settings,
                                           std::string &error);
  ~VideoWriter();
  VideoWriter(const VideoWriter &) = delete;
  VideoWriter &operator=(const VideoWriter &) = delete;

  // The next frame: RGB rows from the top, width x height x 3 bytes. Waits
  // while the encoder is a few frames behind. False once writing failed.
  bool add(std::string rgb);
  // Encodes what is queued and the sound up to the show's length, and
  // closes the file. False with `error` when the file is not whole.
  bool finish(std::string &error);

  std::string soundProblem;

  struct State;

private:
  VideoWriter() = default;
  void work();
  bool encode(const std::string &rgb);
  std::unique_ptr<State> state;
};

} // namespace korvane
