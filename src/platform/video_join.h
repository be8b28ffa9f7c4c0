#pragma once

#include "platform/video_writer.h"

#include <string>
#include <vector>

namespace korvane {

// The videos of a show's segments, each its own span of frames, joined into
// `settings.path` without encoding them again, one after another, with the
// music muxed once over the whole (as VideoWriter muxes it: AAC, or FLAC
// when `settings.lossless`, cut to `settings.length`). The parts must hold
// one video stream each, alike. False with `error` naming what failed.
bool joinVideos(const std::vector<std::string> &parts,
                const VideoSettings &settings, std::string &error,
                std::string &soundProblem);

} // namespace korvane
