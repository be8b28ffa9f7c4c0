#pragma once

// korvane-render's command line: what it asks for, checked.

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::render {

// The widest and highest picture drawn, supersampled or not.
constexpr int maxDrawn = 8192;

struct Arguments {
  std::string showdir, outdir, tracedir, video;
  std::vector<std::uint32_t> times;
  int fps = 0, width = 0, height = 0;
  int crf = -1;
  bool memory = false, lossless = false;
  int segment = 0, segments = 0; // --segment K/N; 0 for the whole show
  int supersample = 1, threads = 0;
  std::string preset;
  bool hwenc = false, verbose = false;
  std::string renderer = "gl"; // gl or gles
  std::vector<std::string> join;
};

// The arguments, or an exit status other than -1 when there is nothing to
// render (help, or bad arguments).
int parseArguments(int argc, char **argv, Arguments &a);

} // namespace korvane::render
