// korvane-render: renders a show offline and headless, frame-exact, into
// PNG files or a video, on a virtual clock.

#include "base/clocks.h"
#include "base/media_path.h"
#include "base/problems.h"
#include "device/gl/gl_backend.h"
#include "gfxutil/png_file.h"
#include "platform/video_join.h"
#include "platform/video_writer.h"
#include "player/main_loop.h"
#include "player/session.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char *usage =
    "usage: korvane-render SHOWDIR --out DIR [--at MS[,MS...]] [--fps N]\n"
    "                      [--size WxH] [--memory] [--trace DIR]\n"
    "       korvane-render SHOWDIR --video OUT.mp4 [--fps N] [--size WxH]\n"
    "                      [--crf Q] [--lossless] [--segment K/N]\n"
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
    "  --size WxH     render at this size instead of the script's\n"
    "  --memory       write no pictures (--out is then not needed); print\n"
    "                 the resident memory at the start and after every ten\n"
    "                 seconds of show time, for soak runs\n"
    "  --trace DIR    also write every call made on the graphics device\n"
    "                 into DIR as a device trace, one present per picture\n"
    "  --video FILE   every frame into a video with the show's music, cut\n"
    "                 to the show's length (the default is --fps 60);\n"
    "                 frame k is the picture --at k*1000/N draws\n"
    "  --crf Q        the video's quality, 0 (best) to 51 (the default 18)\n"
    "  --lossless     the video frame for frame as drawn: FFV1 with FLAC\n"
    "                 sound, in a .mkv FILE\n"
    "  --segment K/N  only the K-th of N equal spans of the show's frames,\n"
    "                 without sound, its first frame drawn over the states\n"
    "                 play leaves before it, as --at does\n"
    "  --join PART,.. the segments' videos, in order, joined into FILE\n"
    "                 without encoding them again, the music muxed once\n"
    "  --help         show this text\n"
    "\n"
    "Exit status: 0 done, 1 the show could not be read, 2 bad arguments.\n";

struct Arguments {
  std::string showdir, outdir, tracedir, video;
  std::vector<std::uint32_t> times;
  int fps = 0, width = 0, height = 0;
  int crf = -1;
  bool memory = false, lossless = false;
  int segment = 0, segments = 0; // --segment K/N; 0 for the whole show
  std::vector<std::string> join;
};

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

// One option and its value at argv[i]; an error text, empty when it reads.
std::string option(const std::string &name, const char *value, Arguments &a) {
  char end = 0;
  if (name == "--out")
    a.outdir = value ? value : "";
  else if (name == "--trace")
    a.tracedir = value ? value : "";
  else if (name == "--video") {
    a.video = value ? value : "";
    return a.video.empty() ? "--video needs a file" : "";
  } else if (name == "--crf")
    return value && std::sscanf(value, "%d%c", &a.crf, &end) == 1 &&
                   a.crf >= 0 && a.crf <= 51
               ? ""
               : "--crf needs a quality from 0 to 51";
  else if (name == "--segment")
    return value &&
                   std::sscanf(value, "%d/%d%c", &a.segment, &a.segments,
                               &end) == 2 &&
                   a.segment >= 1 && a.segment <= a.segments &&
                   a.segments <= 1000
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
    return value && std::sscanf(value, "%d%c", &a.fps, &end) == 1 &&
                   a.fps >= 1 && a.fps <= 1000
               ? ""
               : "--fps needs a rate from 1 to 1000";
  else if (name == "--size")
    return value &&
                   std::sscanf(value, "%dx%d%c", &a.width, &a.height, &end) ==
                       2 &&
                   a.width >= 1 && a.height >= 1 && a.width <= 8192 &&
                   a.height <= 8192
               ? ""
               : "--size needs WxH";
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

// The arguments, or an exit status other than -1 when there is nothing to
// render (help, or bad arguments).
int parseArguments(int argc, char **argv, Arguments &a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", usage);
      return 0;
    }
    if (arg == "--memory" || arg == "--lossless") {
      (arg == "--memory" ? a.memory : a.lossless) = true;
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
  if (!a.video.empty())
    return checkVideo(a);
  if (a.lossless || a.crf >= 0 || a.segments || !a.join.empty())
    return bad("--lossless, --crf, --segment and --join are for --video");
  if (a.showdir.empty() || (a.outdir.empty() && !a.memory))
    return bad("SHOWDIR and --out are needed");
  if (!a.times.empty() && a.fps)
    return bad("--at and --fps exclude each other");
  if (a.times.empty() && !a.fps)
    a.fps = 30;
  return -1;
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

// The frames play draws before the one at `ms` that leave the device states
// it starts from: states persist across frames and parts, so one frame of
// every earlier part (their last at 60 Hz), then the frame 1/60 s before.
std::vector<std::uint32_t> framesBefore(const korvane::Show &show,
                                        std::uint32_t ms) {
  constexpr std::uint32_t frame = 1000 / 60;
  std::vector<std::uint32_t> out;
  for (const korvane::Part &part : show.partsParsed()) {
    const auto start = static_cast<std::uint32_t>(part.starttime);
    const auto end = static_cast<std::uint32_t>(part.endtime);
    if (end > ms || start >= end)
      break;
    out.push_back(end - start > frame ? end - frame : start);
  }
  if (ms >= frame)
    out.push_back(ms - frame);
  return out;
}

// Headless, on the software renderer, whatever the machine has.
void headless() {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  // A GPU vendor's EGL would be picked before Mesa's and draw other pixels.
  std::error_code failure;
  const char *mesa = "/usr/share/glvnd/egl_vendor.d/50_mesa.json";
  if (fs::is_regular_file(mesa, failure))
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", mesa, 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
}

// One render of a show: the session on a virtual clock, and the picture
// each present writes.
class Render {
public:
  Render(korvane::Show &show, const korvane::Logger &logger,
         const Arguments &arguments, fs::path out)
      : session(show, logger), args(arguments), out(std::move(out)) {}

  bool start(const fs::path &trace, std::string &error);
  void stills();
  // Every frame at --fps from the start until the show ends, each to the
  // file `name` gives for its number, with a progress bar where someone
  // watches; the number of frames drawn.
  std::uint32_t sequence(const std::function<std::string(std::uint32_t)> &name);
  void everyFrame(const fs::path &music);
  void video(const fs::path &file, const fs::path &music);
  // --join: the parts into `file`, with the music.
  void join(const fs::path &file, const fs::path &music);
  int finish();

  korvane::Session session;

private:
  // What one turn of the player's loop draws: the show time, and the file
  // its picture goes to (empty: drawn only for the states it leaves).
  struct Shot {
    std::uint32_t ms = 0;
    std::string file;
  };
  // The shot of a turn; false when the render has no such turn.
  using Schedule = std::function<bool(std::uint32_t turn, Shot &shot)>;
  korvane::VideoSettings videoSettings(const fs::path &file,
                                       const fs::path &music);
  // The player's loop over the schedule, on the virtual clock, until the
  // shots run out or the show ends: the number of shots drawn.
  std::uint32_t play(const Schedule &schedule,
                     const std::function<void(std::uint32_t)> &eachTurn);

  const Arguments &args;
  fs::path out;
  korvane::VirtualClock clock;
  std::string pending; // the file the next present is written to
  std::unique_ptr<korvane::VideoWriter> writer; // takes the presents instead
  bool ok = true;
  std::uint32_t frames = 0, nextReport = 0;
  std::uint32_t presented = 0;   // pictures handed to a file or the video
  std::set<std::string> written; // the picture files this render wrote
};

bool Render::start(const fs::path &trace, std::string &error) {
  korvane::SessionOptions options;
  options.hidden = true;
  options.sound = false; // offline rendering plays no sound
  options.ticks = &clock;
  options.timerclock = &clock;
  options.width = args.width;
  options.height = args.height;
  options.tracefolder = trace.string();
  options.folder = args.showdir;
  options.capture = [this] {
    ++presented;
    if (!ok)
      return; // a failed write ends the render after this turn
    const int w = session.window->width(), h = session.window->height();
    if (writer) {
      ok = writer->add(korvane::readBackBuffer(w, h)) && ok;
      return;
    }
    if (pending.empty())
      return;
    if (!korvane::writePng(pending, w, h, korvane::readBackBuffer(w, h))) {
      std::fprintf(stderr, "korvane-render: cannot write %s\n",
                   pending.c_str());
      ok = false;
    } else {
      written.insert(pending);
    }
    pending.clear();
  };
  return session.start(options, error);
}

// The turns of the player's loop as a render runs them: each opens with
// the question whether it is the last, so that the loop quits after its
// frame, as Escape makes it.
class Turns final : public korvane::EventSource {
public:
  std::function<bool()> last;
  bool asked = false;
  bool poll(korvane::WindowEvent &event) override {
    if (asked)
      return false;
    asked = true;
    if (!last())
      return false;
    event.kind = korvane::WindowEvent::Escape;
    return true;
  }
};

std::uint32_t Render::play(const Schedule &schedule,
                           const std::function<void(std::uint32_t)> &eachTurn) {
  clock.set(0); // the loop's start: the show time is the clock's
  korvane::PausableClock never(clock, clock); // a render is never paused
  korvane::PlayerLoop loop(session, never, session.arcball);
  Turns turns;
  std::uint32_t turn = 0;
  Shot shot, spare;
  turns.last = [&] { return !ok || !schedule(turn + 1, spare); };
  loop.hooks.betweenFrames = [&] {
    turns.asked = false;
    schedule(turn, shot);
    clock.set(shot.ms);
    if (args.memory && shot.ms >= nextReport) {
      std::printf("show time %u ms: resident memory %ld kB\n", shot.ms,
                  residentKb());
      std::fflush(stdout);
      nextReport = shot.ms - shot.ms % 10000 + 10000;
    }
    pending =
        args.memory || shot.file.empty() ? "" : (out / shot.file).string();
    session.frameContext().present = !shot.file.empty();
    if (eachTurn)
      eachTurn(turn);
    ++turn;
  };
  Shot first;
  if (!schedule(0, first))
    return 0;
  const std::uint32_t before = presented;
  frames += loop.run(turns).frames;
  return presented - before;
}

void Render::stills() {
  std::vector<std::uint32_t> times = args.times;
  // In time order, each after the frames that set its device states, so
  // that a still is what play shows at its time whatever else is asked.
  std::sort(times.begin(), times.end());
  std::vector<Shot> shots;
  for (std::uint32_t ms : times) {
    for (std::uint32_t before : framesBefore(session.show(), ms))
      shots.push_back({before, ""});
    shots.push_back({ms, "at_" + std::to_string(ms) + ".png"});
  }
  play(
      [&shots](std::uint32_t turn, Shot &shot) {
        if (turn >= shots.size())
          return false;
        shot = shots[turn];
        return true;
      },
      {});
  for (std::uint32_t ms : times)
    if (!written.count((out / ("at_" + std::to_string(ms) + ".png")).string()))
      std::fprintf(stderr,
                   "korvane-render: the show has ended at %u ms; no "
                   "at_%u.png\n",
                   ms, ms);
}

// "[####      ] frame 120 / 4500, 0:42 left" on one line, over and over.
void progress(std::uint32_t done, std::uint32_t total, double seconds) {
  const int bar = total ? static_cast<int>(40.0 * done / total) : 40;
  const double left = done ? seconds * (total - done) / done : 0.0;
  const int whole = static_cast<int>(left + 0.5);
  std::fprintf(stderr, "\r[%-40.*s] frame %u / %u, %d:%02d left ",
               std::min(bar, 40), "########################################",
               done, total, whole / 60, whole % 60);
}

std::uint32_t
Render::sequence(const std::function<std::string(std::uint32_t)> &name) {
  // Frame k shows the show time k * 1000 / N: as many as fall before the end.
  const auto all = static_cast<std::uint32_t>(
      (std::uint64_t(korvane::showLength(session.show())) * args.fps + 999) /
      1000);
  auto timeOf = [this](std::uint64_t frame) {
    return static_cast<std::uint32_t>(frame * 1000 /
                                      static_cast<unsigned>(args.fps));
  };
  // A segment's frames, after the frames that set the states of its first.
  const std::uint32_t first =
      args.segments
          ? static_cast<std::uint32_t>(std::uint64_t(all) * (args.segment - 1) /
                                       args.segments)
          : 0;
  const std::uint32_t last =
      args.segments ? static_cast<std::uint32_t>(std::uint64_t(all) *
                                                 args.segment / args.segments)
                    : 0xFFFFFFFFu;
  const std::vector<std::uint32_t> before =
      first > 0 ? framesBefore(session.show(), timeOf(first))
                : std::vector<std::uint32_t>{};
  const std::uint32_t total = std::min(all, last) - first;
  // The bar is drawn again four times a second, where someone watches.
  const bool watched = isatty(STDERR_FILENO) != 0;
  const auto began = std::chrono::steady_clock::now();
  auto drawn = began;
  const std::uint32_t n = play(
      [&](std::uint32_t turn, Shot &shot) {
        if (turn < before.size()) {
          shot = {before[turn], ""};
          return true;
        }
        const std::uint32_t frame =
            first + turn - static_cast<std::uint32_t>(before.size());
        shot.ms = timeOf(frame);
        shot.file = name(frame - first);
        return frame < last; // until the show ends
      },
      [&](std::uint32_t turn) {
        const auto now = std::chrono::steady_clock::now();
        if (watched && turn > 0 &&
            now - drawn > std::chrono::milliseconds(250)) {
          drawn = now;
          progress(turn, total,
                   std::chrono::duration<double>(now - began).count());
        }
      });
  if (watched) {
    progress(n, total, 0.0);
    std::fprintf(stderr, "\n");
  }
  return n;
}

void Render::everyFrame(const fs::path &music) {
  sequence([](std::uint32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06u.png", n);
    return std::string(name);
  });
  if (!args.memory)
    std::printf("ffmpeg -framerate %d -i '%s/frame_%%06d.png' -i '%s' "
                "-c:v libx264 -pix_fmt yuv420p -c:a aac -shortest show.mp4\n",
                args.fps, out.string().c_str(), music.string().c_str());
}

korvane::VideoSettings Render::videoSettings(const fs::path &file,
                                             const fs::path &music) {
  const korvane::Show &show = session.show();
  korvane::VideoSettings settings;
  settings.path = file.string();
  settings.width = session.window->width();
  settings.height = session.window->height();
  settings.fps = args.fps;
  settings.crf = args.crf;
  settings.lossless = args.lossless;
  // The music the player would play: where the script enables it.
  const korvane::ShowFolder &folder = session.folder();
  if (show.music != 0 && folder.files->exists(music.string())) {
    settings.music = music.string();
    std::string why;
    if (folder.files->archived(settings.music) &&
        !folder.files->read(settings.music, settings.musicbytes, why))
      settings.music.clear();
  }
  settings.length = korvane::showLength(show);
  return settings;
}

void Render::video(const fs::path &file, const fs::path &music) {
  korvane::VideoSettings settings = videoSettings(file, music);
  // A segment is joined to the others, and the music muxed, afterwards.
  if (args.segments)
    settings.music.clear();
  std::string error;
  writer = korvane::VideoWriter::open(settings, error);
  if (!writer) {
    session.logger().report(korvane::Problem::VideoNotWritten, "", 0,
                            {settings.path, error});
    ok = false;
    return;
  }
  if (!writer->soundProblem.empty())
    session.logger().report(korvane::Problem::VideoSilent, "", 0,
                            {writer->soundProblem});
  const std::uint32_t n = sequence([](std::uint32_t) { return "video"; });
  if (!writer->finish(error)) {
    session.logger().report(korvane::Problem::VideoNotWritten, "", 0,
                            {settings.path, error});
    ok = false;
  } else if (ok) {
    std::printf("%s: %u frames at %d a second\n", settings.path.c_str(), n,
                args.fps);
  }
  writer.reset();
}

void Render::join(const fs::path &file, const fs::path &music) {
  const korvane::VideoSettings settings = videoSettings(file, music);
  std::string error, silent;
  if (!korvane::joinVideos(args.join, settings, error, silent)) {
    session.logger().report(korvane::Problem::VideoNotWritten, "", 0,
                            {settings.path, error});
    ok = false;
    return;
  }
  if (!silent.empty())
    session.logger().report(korvane::Problem::VideoSilent, "", 0, {silent});
  std::printf("%s: %zu parts joined\n", settings.path.c_str(),
              args.join.size());
}

int Render::finish() {
  if (args.memory)
    std::printf("end of the show: resident memory %ld kB\n", residentKb());
  if (session.trace && !session.trace->ok()) {
    std::fprintf(stderr, "korvane-render: %s\n",
                 session.trace->error().c_str());
    ok = false;
  }
  const bool read = session.scriptread;
  session.stop(frames, clock.tickCount());
  SDL_Quit();
  if (!read)
    return 1;
  return ok ? 0 : 1;
}

int run(const Arguments &args) {
  std::error_code failure;
  if (!args.outdir.empty())
    fs::create_directories(args.outdir, failure);
  const fs::path out =
      args.outdir.empty() ? fs::path() : fs::absolute(args.outdir, failure);
  // The folder's own names in any case, as Windows finds them.
  const korvane::ShowFolder folder = korvane::findShowFolder(args.showdir);
  const fs::path script = folder.script;
  if (!folder.files->exists(folder.script)) {
    if (!folder.unreadable.empty())
      std::fprintf(stderr,
                   "korvane-render: the archive %s cannot be read: %s\n",
                   folder.archive.c_str(), folder.unreadable.c_str());
    std::fprintf(stderr, "korvane-render: no script at %s\n",
                 script.string().c_str());
    return 1;
  }
  const fs::path music = folder.music;
  const fs::path trace =
      args.tracedir.empty() ? fs::path() : fs::absolute(args.tracedir, failure);
  const fs::path video =
      args.video.empty() ? fs::path() : fs::absolute(args.video, failure);
  headless();
  static korvane::Show show;
  const korvane::Logger logger = korvane::standardLogger();
  Render render(show, logger, args, out);
  std::string error;
  if (!render.start(trace, error)) {
    logger.report(korvane::Problem::StartFailed, "", 0, {error});
    return 1;
  }
  if (!args.join.empty())
    render.join(video, music);
  else if (!args.video.empty())
    render.video(video, music);
  else if (!args.times.empty())
    render.stills();
  else
    render.everyFrame(music);
  // A script not beginning with <demo> was reported as it was read.
  return render.finish();
}

} // namespace

int main(int argc, char **argv) {
  Arguments arguments;
  const int status = parseArguments(argc, argv, arguments);
  return status >= 0 ? status : run(arguments);
}
