#include "render_arguments.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace korvane::render {
namespace {

constexpr const char *usage =
    "usage: korvane-render SHOWDIR --out DIR [--at MS[,MS...]] [--fps N]\n"
    "                      [--size WxH] [--supersample N] [--memory]\n"
    "                      [--trace DIR] [--renderer gl|gles] [--verbose]\n"
    "       korvane-render SHOWDIR --video OUT.mp4 [--fps N] [--size WxH]\n"
    "                      [--crf Q] [--lossless] [--segment K/N]\n"
    "                      [--preset P] [--threads N] [--hwenc]\n"
    "                      [--supersample N]\n"
    "       korvane-render SHOWDIR --video OUT.mp4 --join PART,... [--fps N]\n"
    "                      [--lossless]\n"
    "\n"
    "Renders the show in SHOWDIR without a display, on a virtual clock, so\n"
    "that the same command always writes the same pixels.\n"
    "\n"
    "  --out DIR      where the PNG files go (created if missing)\n"
    "  --at MS,...    one picture per show time: at_<ms>.png, in time\n"
    "                 order, each drawn over the states play leaves before\n"
    "                 it (a frame of each earlier part, then the frame\n"
    "                 1/60 s before)\n"
    "  --fps N        every frame of the whole show at N frames a second:\n"
    "                 frame_000000.png on (the default is --fps 30)\n"
    "  --size WxH     render at this size instead of the script's (each\n"
    "                 at most 8192, supersampled too)\n"
    "  --supersample N  draw at N (2, 3 or 4) times the size and filter\n"
    "                 each picture down: smooth edges; without it every\n"
    "                 picture is exactly what Direct3D 8 draws\n"
    "  --memory       write no pictures (--out is then not needed); print\n"
    "                 the resident memory at the start and after every ten\n"
    "                 seconds of show time, for soak runs\n"
    "  --renderer R   what draws: gl, fixed-function OpenGL 2.1 (the\n"
    "                 default), or gles, OpenGL ES 3.0 shaders\n"
    "  --verbose      at the end, say how many shader programs were made\n"
    "  --trace DIR    also write every call made on the graphics device\n"
    "                 into DIR as a device trace, one present per picture\n"
    "  --video FILE   every frame into a video with the show's music, cut\n"
    "                 to the show's length (the default is --fps 60);\n"
    "                 frame k is the picture --at k*1000/N draws\n"
    "  --crf Q        the video's quality, 0 (best) to 51 (the default 18)\n"
    "  --lossless     the video frame for frame as drawn: FFV1 with FLAC\n"
    "                 sound, in a .mkv FILE\n"
    "  --preset P     x264's speed against size, ultrafast to veryslow (the\n"
    "                 default veryfast)\n"
    "  --threads N    threads for the encoder and the colour conversion\n"
    "                 (the default 0: one per core)\n"
    "  --hwenc        FFmpeg's hardware H.264 encoder (NVENC, else VAAPI)\n"
    "                 where one works; said, and x264 used, where none does\n"
    "  --segment K/N  only the K-th of N equal spans of the show's frames,\n"
    "                 without sound, its first frame drawn over the states\n"
    "                 play leaves before it, as --at does\n"
    "  --join PART,.. the segments' videos, in order, joined into FILE\n"
    "                 without encoding them again, the music muxed once;\n"
    "                 refused unless they are --segment videos of this\n"
    "                 show at this --fps, alike, covering it once\n"
    "  --help         show this text\n"
    "\n"
    "Exit status: 0 done; 1 the show could not be read, or a picture or\n"
    "the video could not be written (an --at past the show's end, parts\n"
    "of a --join that do not fit together); 2 bad arguments.\n";

int bad(const std::string &what) {
  std::fprintf(stderr, "korvane-render: %s\n%s", what.c_str(), usage);
  return 2;
}

bool parseTimes(const char *text, std::vector<std::uint32_t> &times) {
  std::string item;
  for (const char *p = text;; ++p) {
    if (*p == ',' || *p == '\0') {
      char *end = nullptr;
      const unsigned long value = std::strtoul(item.c_str(), &end, 10);
      if (item.empty() || *end || value > 0xFFFFFFFFul)
        return false;
      times.push_back(static_cast<std::uint32_t>(value));
      item.clear();
      if (*p == '\0')
        return true;
    } else {
      item += *p;
    }
  }
}

// A whole number from `low` to `high` (neither negative) at the start of
// `text`, never wrapped round: `rest` gets what follows it, else nothing
// may follow.
bool readNumber(const char *text, long low, long high, int &out,
                const char **rest = nullptr) {
  if (!text || !std::isdigit(static_cast<unsigned char>(*text)))
    return false;
  char *after = nullptr;
  errno = 0;
  const long value = std::strtol(text, &after, 10);
  if (errno || value < low || value > high || (!rest && *after))
    return false;
  if (rest)
    *rest = after;
  out = static_cast<int>(value);
  return true;
}

// WxH, or K/N: two numbers from `low` to `high` around `between`.
bool readPair(const char *text, char between, long low, long high, int &a,
              int &b) {
  const char *rest = nullptr;
  return readNumber(text, low, high, a, &rest) && *rest == between &&
         readNumber(rest + 1, low, high, b);
}

// One option and its value at argv[i]; an error text, empty when it reads.
std::string option(const std::string &name, const char *value, Arguments &a) {
  if (name == "--out")
    a.outdir = value ? value : "";
  else if (name == "--renderer") {
    a.renderer = value ? value : "";
    return a.renderer == "gl" || a.renderer == "gles"
               ? ""
               : "--renderer needs gl or gles";
  } else if (name == "--trace")
    a.tracedir = value ? value : "";
  else if (name == "--video") {
    a.video = value ? value : "";
    return a.video.empty() ? "--video needs a file" : "";
  } else if (name == "--crf")
    return readNumber(value, 0, 51, a.crf)
               ? ""
               : "--crf needs a quality from 0 to 51";
  else if (name == "--supersample")
    return readNumber(value, 2, 4, a.supersample)
               ? ""
               : "--supersample needs 2, 3 or 4";
  else if (name == "--threads")
    return readNumber(value, 0, 64, a.threads)
               ? ""
               : "--threads needs a count from 0 to 64";
  else if (name == "--preset") {
    a.preset = value ? value : "";
    for (const char *known : {"ultrafast", "superfast", "veryfast", "faster",
                              "fast", "medium", "slow", "slower", "veryslow"})
      if (a.preset == known)
        return "";
    return "--preset needs one of x264's: ultrafast, superfast, veryfast, "
           "faster, fast, medium, slow, slower, veryslow";
  } else if (name == "--segment")
    return readPair(value, '/', 1, 1000, a.segment, a.segments) &&
                   a.segment <= a.segments
               ? ""
               : "--segment needs K/N, 1 <= K <= N <= 1000";
  else if (name == "--join") {
    const std::string text = value ? value : "";
    a.join.clear();
    for (std::size_t at = 0; at <= text.size();) {
      std::size_t comma = text.find(',', at);
      if (comma == std::string::npos)
        comma = text.size();
      if (comma > at)
        a.join.push_back(text.substr(at, comma - at));
      at = comma + 1;
    }
    return a.join.empty() ? "--join needs the parts' files" : "";
  } else if (name == "--at")
    return value && parseTimes(value, a.times)
               ? ""
               : "--at needs show times in milliseconds, comma-separated";
  else if (name == "--fps")
    return readNumber(value, 1, 1000, a.fps)
               ? ""
               : "--fps needs a rate from 1 to 1000";
  else if (name == "--size")
    return readPair(value, 'x', 1, maxDrawn, a.width, a.height)
               ? ""
               : "--size needs WxH, each from 1 to " +
                     std::to_string(maxDrawn) + " (the largest picture drawn)";
  else
    return "unknown option " + name;
  return value ? "" : name + " needs a folder";
}

// The arguments of a video: -1 when they hold together.
int checkVideo(Arguments &a) {
  if (a.showdir.empty())
    return bad("SHOWDIR is needed");
  if (!a.outdir.empty() || !a.times.empty() || a.memory)
    return bad("--video excludes --out, --at and --memory");
  if (a.lossless && a.crf >= 0)
    return bad("--lossless has no --crf");
  if (!a.join.empty() && (a.segments || a.crf >= 0 || a.width))
    return bad("--join excludes --segment, --crf and --size");
  if (!a.fps)
    a.fps = 60;
  if (a.crf < 0)
    a.crf = 18;
  return -1;
}

} // namespace

int parseArguments(int argc, char **argv, Arguments &a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", usage);
      return 0;
    }
    if (arg == "--memory" || arg == "--lossless" || arg == "--hwenc" ||
        arg == "--verbose") {
      (arg == "--memory"    ? a.memory
       : arg == "--hwenc"   ? a.hwenc
       : arg == "--verbose" ? a.verbose
                            : a.lossless) = true;
    } else if (!arg.empty() && arg[0] == '-') {
      const std::string error =
          option(arg, i + 1 < argc ? argv[i + 1] : nullptr, a);
      ++i;
      if (!error.empty())
        return bad(error);
    } else if (a.showdir.empty()) {
      a.showdir = arg;
    } else {
      return bad("only one SHOWDIR may be given");
    }
  }
  if (a.width && (a.width * a.supersample > maxDrawn ||
                  a.height * a.supersample > maxDrawn))
    return bad("--size " + std::to_string(a.width) + "x" +
               std::to_string(a.height) + " at --supersample " +
               std::to_string(a.supersample) + " is drawn at " +
               std::to_string(a.width * a.supersample) + "x" +
               std::to_string(a.height * a.supersample) + "; at most " +
               std::to_string(maxDrawn) + " either way can be drawn");
  if (!a.video.empty())
    return checkVideo(a);
  if (a.lossless || a.crf >= 0 || a.segments || !a.join.empty() ||
      !a.preset.empty() || a.threads || a.hwenc)
    return bad("--lossless, --crf, --segment, --join, --preset, --threads "
               "and --hwenc are for --video");
  if (a.showdir.empty() || (a.outdir.empty() && !a.memory))
    return bad("SHOWDIR and --out are needed");
  if (!a.times.empty() && a.fps)
    return bad("--at and --fps exclude each other");
  if (a.times.empty() && !a.fps)
    a.fps = 30;
  return -1;
}

} // namespace korvane::render
