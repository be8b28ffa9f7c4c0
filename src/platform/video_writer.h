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
  std::string preset = "veryfast"; // x264's speed against size
  int threads = 0;       // the encoder's and the conversion's; 0: one per core
  bool hardware = false; // FFmpeg's hardware H.264 encoder, where one works
  // The frames as drawn, when larger than the video (supersampled): each
  // is filtered down. 0: the video's size.
  int drawnwidth = 0, drawnheight = 0;
  // Recorded as the file's comment (a segment's span); empty for none.
  std::string note;
};

// A picture of RGB rows filtered down to `width` x `height` with an area
// filter (a supersampled still).
std::string shrinkPicture(const std::string &rgb, int fromWidth, int fromHeight,
                          int width, int height);

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

  // The next frame as GL reads it: BGRA rows from the bottom, the drawn
  // size x 4 bytes. Waits while the encoder is a few frames behind. False
  // once writing failed.
  bool add(std::string bgra);
  // Encodes what is queued and the sound up to the show's length, and
  // closes the file. False with `error` when the file is not whole.
  bool finish(std::string &error);
  // The time the encoder's thread spent converting the frames to the
  // encoder's pictures, and handing them to the encoder (valid after
  // finish).
  double conversionSeconds() const;
  double encodingSeconds() const;

  std::string soundProblem;
  // Why no hardware encoder took the video, when one was asked for.
  std::string hardwareProblem;

  struct State;

private:
  VideoWriter() = default;
  void work();
  bool encode(const std::string &bgra);
  std::unique_ptr<State> state;
};

} // namespace korvane
