// korvane-render: renders a show offline and headless, frame-exact, into
// PNG files, on a virtual clock.

#include "base/clocks.h"
#include "base/debuglog.h"
#include "base/media_path.h"
#include "device/gl/gl_backend.h"
#include "gfxutil/png_file.h"
#include "player/startup.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char *usage =
    "usage: korvane-render SHOWDIR --out DIR [--at MS[,MS...]] [--fps N]\n"
    "                      [--size WxH] [--memory] [--trace DIR]\n"
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
    "  --size WxH     render at this size instead of the script's\n"
    "  --memory       write no pictures (--out is then not needed); print\n"
    "                 the resident memory at the start and after every ten\n"
    "                 seconds of show time, for soak runs\n"
    "  --trace DIR    also write every call made on the graphics device\n"
    "                 into DIR as a device trace, one present per picture\n"
    "  --help         show this text\n"
    "\n"
    "Exit status: 0 done, 1 the show could not be read, 2 bad arguments.\n";

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

// The frames play draws before the one at `ms` that leave the device states
// it starts from: states persist across frames and parts, so one frame of
// every earlier part (their last at 60 Hz), then the frame 1/60 s before.
std::vector<std::uint32_t> framesBefore(const korvane::Show &show,
                                        std::uint32_t ms) {
  constexpr std::uint32_t frame = 1000 / 60;
  std::vector<std::uint32_t> out;
  for (int p = 0; p < show.partnumber && p < korvane::maxParts; ++p) {
    const auto start = static_cast<std::uint32_t>(show.parts[p].starttime);
    const auto end = static_cast<std::uint32_t>(show.parts[p].endtime);
    if (end > ms || start >= end)
      break;
    out.push_back(end - start > frame ? end - frame : start);
  }
  if (ms >= frame)
    out.push_back(ms - frame);
  return out;
}

// The process's resident set in kB, or -1 where it cannot be read.
long residentKb() {
  std::FILE *status = std::fopen("/proc/self/status", "r");
  if (!status)
    return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1)
      break;
  std::fclose(status);
  return kb;
}

} // namespace

int main(int argc, char **argv) {
  std::string showdir, outdir, tracedir;
  std::vector<std::uint32_t> times;
  int fps = 0, width = 0, height = 0;
  bool memory = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", usage);
      return 0;
    } else if (arg == "--out") {
      if (!value)
        return bad("--out needs a folder");
      outdir = argv[++i];
    } else if (arg == "--at") {
      if (!value || !parseTimes(argv[++i], times))
        return bad("--at needs show times in milliseconds, comma-separated");
    } else if (arg == "--fps") {
      char end = 0;
      if (!value || std::sscanf(argv[++i], "%d%c", &fps, &end) != 1 ||
          fps < 1 || fps > 1000)
        return bad("--fps needs a rate from 1 to 1000");
    } else if (arg == "--size") {
      char end = 0;
      if (!value ||
          std::sscanf(argv[++i], "%dx%d%c", &width, &height, &end) != 2 ||
          width < 1 || height < 1 || width > 8192 || height > 8192)
        return bad("--size needs WxH");
    } else if (arg == "--trace") {
      if (!value)
        return bad("--trace needs a folder");
      tracedir = argv[++i];
    } else if (arg == "--memory") {
      memory = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return bad("unknown option " + arg);
    } else if (showdir.empty()) {
      showdir = arg;
    } else {
      return bad("only one SHOWDIR may be given");
    }
  }
  if (showdir.empty() || (outdir.empty() && !memory))
    return bad("SHOWDIR and --out are needed");
  if (!times.empty() && fps)
    return bad("--at and --fps exclude each other");
  if (times.empty() && !fps)
    fps = 30;

  std::error_code failure;
  if (!outdir.empty())
    fs::create_directories(outdir, failure);
  const fs::path out =
      outdir.empty() ? fs::path() : fs::absolute(outdir, failure);
  // The folder's own names in any case, as Windows finds them.
  const fs::path script = korvane::resolveMediaPath(
      (fs::path(showdir) / "Data" / "mirl .script").string());
  if (!fs::is_regular_file(script, failure)) {
    std::fprintf(stderr, "korvane-render: no script at %s\n",
                 script.string().c_str());
    return 1;
  }
  const fs::path music = fs::absolute(
      korvane::resolveMediaPath((fs::path(showdir) / "mirl .mp3").string()),
      failure);
  const fs::path trace =
      tracedir.empty() ? fs::path() : fs::absolute(tracedir, failure);
  if (chdir(showdir.c_str()) != 0) {
    std::fprintf(stderr, "korvane-render: cannot open %s\n", showdir.c_str());
    return 1;
  }

  // Headless, on the software renderer, whatever the machine has.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  // A GPU vendor's EGL would be picked before Mesa's and draw other pixels.
  const char *mesa = "/usr/share/glvnd/egl_vendor.d/50_mesa.json";
  if (fs::is_regular_file(mesa, failure))
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", mesa, 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);

  static korvane::Show show;
  korvane::Player player(show);
  std::string pending; // the file the next present is written to
  int w = 0, h = 0;
  bool written = true;
  korvane::VirtualClock clock;
  korvane::StartOptions options;
  options.hidden = true;
  options.sound = false; // offline rendering plays no sound
  options.ticks = &clock;
  options.width = width;
  options.height = height;
  options.tracefolder = trace.string();
  options.capture = [&] {
    if (pending.empty())
      return;
    written = korvane::writePng(pending, w, h, korvane::readBackBuffer(w, h));
    if (!written)
      std::fprintf(stderr, "korvane-render: cannot write %s\n",
                   pending.c_str());
    pending.clear();
  };
  std::string error;
  if (!korvane::startPlayer(player, options, error)) {
    std::fprintf(stderr, "korvane-render: %s\n", error.c_str());
    return 1;
  }
  w = player.window->width();
  h = player.window->height();

  korvane::FrameTimer timer(clock);
  korvane::OverlayState overlay;
  korvane::FrameContext frame{*player.graphics.device,
                              player.graphics.font.get(), timer, overlay,
                              player.renderers};
  std::uint32_t frames = 0;
  bool ok = true;
  std::uint32_t nextReport = 0;
  auto render = [&](std::uint32_t ms, const std::string &file) {
    clock.set(ms);
    frame.present = !file.empty();
    if (memory) {
      if (ms >= nextReport) {
        std::printf("show time %u ms: resident memory %ld kB\n", ms,
                    residentKb());
        std::fflush(stdout);
        nextReport = ms - ms % 10000 + 10000;
      }
    } else if (!file.empty()) {
      pending = (out / file).string();
    }
    const bool ended = korvane::renderFrame(show, frame, ms);
    ++frames;
    pending.clear();
    ok = ok && written;
    return !ended;
  };

  if (!times.empty()) {
    // In time order, each after the frames that set its device states, so
    // that a still is what play shows at its time whatever else is asked.
    std::sort(times.begin(), times.end());
    for (std::uint32_t ms : times) {
      for (std::uint32_t before : framesBefore(show, ms))
        render(before, "");
      if (!render(ms, "at_" + std::to_string(ms) + ".png"))
        std::fprintf(stderr,
                     "korvane-render: the show has ended at %u ms; no "
                     "at_%u.png\n",
                     ms, ms);
    }
  } else {
    const std::uint32_t last =
        show.partnumber > 0 ? static_cast<std::uint32_t>(
                                  show.parts[show.partnumber - 1].endtime)
                            : 0;
    const bool progress = last > 3000;
    for (std::uint32_t n = 0;; ++n) {
      const auto ms = static_cast<std::uint32_t>(std::uint64_t(n) * 1000 / fps);
      char name[32];
      std::snprintf(name, sizeof name, "frame_%06u.png", n);
      if (!render(ms, name))
        break;
      if (progress && n % 10 == 0) {
        const int done = static_cast<int>(40.0 * ms / last);
        std::fprintf(stderr, "\r[%-40.*s] %u / %u ms", done > 40 ? 40 : done,
                     "########################################", ms, last);
      }
    }
    if (progress)
      std::fprintf(stderr, "\n");
    if (!memory)
      std::printf("ffmpeg -framerate %d -i '%s/frame_%%06d.png' -i '%s' "
                  "-c:v libx264 -pix_fmt yuv420p -c:a aac -shortest show.mp4\n",
                  fps, out.string().c_str(), music.string().c_str());
  }
  if (memory)
    std::printf("end of the show: resident memory %ld kB\n", residentKb());
  if (player.trace && !player.trace->ok()) {
    std::fprintf(stderr, "korvane-render: %s\n", player.trace->error().c_str());
    ok = false;
  }
  korvane::stopPlayer(player, frames, clock.tickCount());
  SDL_Quit();
  if (!player.scriptread) {
    std::fprintf(stderr, "korvane-render: %s does not begin with <demo>\n",
                 script.string().c_str());
    return 1;
  }
  return ok ? 0 : 1;
}
