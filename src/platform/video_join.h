#pragma once

#include "platform/video_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// Which frames of a show a segment's video holds: [first, end) of the
// show's `total` at `fps` a second, the k-th of n spans. A segment records
// it in its file, so that a join can check that its parts fit together.
struct SegmentSpan {
  int k = 0, n = 0, fps = 0;
  std::int64_t first = 0, end = 0, total = 0;
};

// How many frames a show of `length` ms has at `fps` a second: frame k
// shows the show time k * 1000 / fps, as many as fall before the end.
std::int64_t framesOf(std::uint32_t length, int fps);

// The text a segment's file records its span in, and the span read back
// from it; false for any other text.
std::string segmentNote(const SegmentSpan &span);
bool readSegmentNote(const std::string &text, SegmentSpan &span);

// The videos of a show's segments, each its own span of frames, joined into
// `settings.path` without encoding them again, one after another, with the
// music muxed once over the whole (as VideoWriter muxes it: AAC, or FLAC
// when `settings.lossless`, cut to `settings.length`). Every part must be a
// segment written by korvane-render of this show at `settings.fps`, all of
// one size and codec, their spans in order and covering the show's frames
// once. False with `error` naming the part and what does not fit, or what
// failed; nothing is left at `settings.path` then.
bool joinVideos(const std::vector<std::string> &parts,
                const VideoSettings &settings, std::string &error,
                std::string &soundProblem);

} // namespace korvane
