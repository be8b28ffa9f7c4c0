// korvane-render: renders a show offline and headless, frame-exact, into
// PNG files or a video, on a virtual clock.

#include "base/clocks.h"
#include "base/media_path.h"
#include "base/problems.h"
#include "device/screen_backend.h"
#include "gfxutil/png_file.h"
#include "platform/system.h"
#include "platform/video_join.h"
#include "platform/video_writer.h"
#include "player/main_loop.h"
#include "player/session.h"
#include "render_arguments.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using korvane::render::Arguments;
using korvane::render::parseArguments;

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

// One render of a show: the session on a virtual clock, and the picture
// each present writes.
class Render {
public:
  Render(const korvane::Logger &logger, const Arguments &arguments,
         fs::path out)
      : session(logger), args(arguments), out(std::move(out)) {}

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
  // What one turn of the player draws: the show time, and the file
  // its picture goes to (empty: drawn only for the states it leaves).
  struct Shot {
    std::uint32_t ms = 0;
    std::string file;
  };
  // The shot of a turn; false when the render has no such turn.
  using Schedule = std::function<bool(std::uint32_t turn, Shot &shot)>;
  korvane::VideoSettings videoSettings(const fs::path &file,
                                       const fs::path &music);
  // The show's frames at --fps, and the span of them --segment asks for.
  korvane::SegmentSpan span();
  // The player's turns over the schedule, on the virtual clock, until the
  // shots run out or the show ends: the number of pictures presented.
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
  double readingback = 0;        // seconds reading frames for the video
};

bool Render::start(const fs::path &trace, std::string &error) {
  korvane::SessionOptions options;
  options.hidden = true;
  options.sound = false; // offline rendering plays no sound
  options.timerclock = &clock;
  options.width = args.width;
  options.height = args.height;
  options.supersample = args.supersample;
  korvane::parseRenderer(args.renderer, options.renderer);
  options.tracefolder = trace.string();
  options.folder = args.showdir;
  options.capture = [this] {
    ++presented;
    if (!ok)
      return; // a failed write ends the render after this turn
    const int w = session.window->width(), h = session.window->height();
    if (writer) {
      const auto began = std::chrono::steady_clock::now();
      std::string frame = session.backend()->readBackBgra(w, h);
      readingback += std::chrono::duration<double>(
                         std::chrono::steady_clock::now() - began)
                         .count();
      ok = writer->add(std::move(frame)) && ok;
      return;
    }
    if (pending.empty())
      return;
    const int n = args.supersample;
    const std::string picture =
        n > 1 ? korvane::shrinkPicture(session.backend()->readBack(w, h), w, h,
                                       w / n, h / n)
              : session.backend()->readBack(w, h);
    std::string why;
    if (!korvane::writePng(pending, w / n, h / n, picture, &why)) {
      session.logger().report(korvane::Problem::StillNotWritten, "", 0,
                              {pending, why});
      ok = false;
    } else {
      written.insert(pending);
    }
    pending.clear();
  };
  return session.start(options, error);
}

std::uint32_t Render::play(const Schedule &schedule,
                           const std::function<void(std::uint32_t)> &eachTurn) {
  clock.set(0);                               // the show time is the clock's
  korvane::PausableClock never(clock, clock); // a render is never paused
  korvane::PlayerCore core(session, never, session.arcball);
  core.begin();
  korvane::NoEvents none;
  const std::uint32_t before = presented;
  Shot shot;
  // A turn for each shot, until the shots run out, the show ends or a
  // picture could not be written.
  for (std::uint32_t turn = 0; ok && schedule(turn, shot); ++turn) {
    clock.set(shot.ms);
    if (args.memory && shot.ms >= nextReport) {
      std::printf("show time %u ms: resident memory %ld kB\n", shot.ms,
                  residentKb());
      std::fflush(stdout);
      nextReport = shot.ms - shot.ms % 10000 + 10000;
    }
    pending =
        args.memory || shot.file.empty() ? "" : (out / shot.file).string();
    if (eachTurn)
      eachTurn(turn);
    ++frames;
    if (!core.turn(none, !shot.file.empty()))
      break;
  }
  return presented - before;
}

void Render::stills() {
  std::vector<std::uint32_t> times = args.times;
  // In time order, each after the frames that set its device states, so
  // that a still is what play shows at its time whatever else is asked.
  std::sort(times.begin(), times.end());
  std::vector<Shot> shots;
  for (std::uint32_t ms : times) {
    for (std::uint32_t before : korvane::framesBefore(session.show(), ms))
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
  // A time past the end has no picture: said, and the exit status says so.
  if (!ok || args.memory)
    return; // a picture that failed to be written was said already
  for (std::uint32_t ms : times)
    if (!written.count(
            (out / ("at_" + std::to_string(ms) + ".png")).string())) {
      session.logger().report(
          korvane::Problem::StillPastEnd, "", 0,
          {std::to_string(ms),
           std::to_string(korvane::showLength(session.show()))});
      ok = false;
    }
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

korvane::SegmentSpan Render::span() {
  korvane::SegmentSpan s;
  s.k = args.segments ? args.segment : 1;
  s.n = args.segments ? args.segments : 1;
  s.fps = args.fps;
  s.total = korvane::framesOf(korvane::showLength(session.show()), args.fps);
  s.first = s.total * (s.k - 1) / s.n;
  s.end = s.total * s.k / s.n;
  return s;
}

std::uint32_t
Render::sequence(const std::function<std::string(std::uint32_t)> &name) {
  const korvane::SegmentSpan spanned = span();
  const auto all = static_cast<std::uint32_t>(spanned.total);
  auto timeOf = [this](std::uint64_t frame) {
    return static_cast<std::uint32_t>(frame * 1000 /
                                      static_cast<unsigned>(args.fps));
  };
  // A segment's frames, after the frames that set the states of its first;
  // the whole show's until it ends.
  const auto first = static_cast<std::uint32_t>(spanned.first);
  const std::uint32_t last =
      args.segments ? static_cast<std::uint32_t>(spanned.end) : 0xFFFFFFFFu;
  const std::vector<std::uint32_t> before =
      first > 0 ? korvane::framesBefore(session.show(), timeOf(first))
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
  // Drawn larger when supersampled: the video has the size asked for.
  settings.drawnwidth = settings.width;
  settings.drawnheight = settings.height;
  settings.width /= args.supersample;
  settings.height /= args.supersample;
  if (!args.preset.empty())
    settings.preset = args.preset;
  settings.threads = args.threads;
  settings.hardware = args.hwenc;
  // The music the player would play: where the script enables it.
  const korvane::ShowFolder &folder = session.folder();
  if (show.music != 0 && folder.files->exists(music.string())) {
    settings.music = music.string();
    // Read here, through the show's files: only a plain file of the show.
    std::string why;
    if (!folder.files->read(settings.music, settings.musicbytes, why)) {
      session.logger().report(korvane::Problem::VideoSilent, "", 0,
                              {"\"mirl .mp3\" cannot be read (" + why + ")"});
      settings.music.clear();
    }
  }
  settings.length = korvane::showLength(show);
  return settings;
}

void Render::video(const fs::path &file, const fs::path &music) {
  korvane::VideoSettings settings = videoSettings(file, music);
  // A segment is joined to the others, and the music muxed, afterwards;
  // it records its span for the join to check.
  if (args.segments) {
    settings.music.clear();
    settings.note = korvane::segmentNote(span());
  }
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
  if (!writer->hardwareProblem.empty())
    session.logger().report(korvane::Problem::NoHardwareEncoder, "", 0,
                            {writer->hardwareProblem});
  const auto began = std::chrono::steady_clock::now();
  const std::uint32_t n = sequence([](std::uint32_t) { return "video"; });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began)
          .count();
  if (!writer->finish(error)) {
    session.logger().report(korvane::Problem::VideoNotWritten, "", 0,
                            {settings.path, error});
    ok = false;
  } else if (ok) {
    std::printf("%s: %u frames at %d a second\n", settings.path.c_str(), n,
                args.fps);
    // Where the time went, per frame: the drawing thread's wall time
    // besides reading back, and the encoder's thread.
    const double each = n ? 1000.0 / n : 0.0;
    std::printf("per frame: drawing %.2f ms, read-back %.2f ms, conversion "
                "%.2f ms, encoding %.2f ms\n",
                (seconds - readingback) * each, readingback * each,
                writer->conversionSeconds() * each,
                writer->encodingSeconds() * each);
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
    session.logger().report(korvane::Problem::TraceNotWritten, "", 0,
                            {session.trace->error()});
    ok = false;
  }
  if (args.verbose && session.backend())
    std::printf("shader programs made: %zu\n",
                session.backend()->programsMade());
  const bool read = session.scriptread;
  session.stop(frames, clock.tickCount());
  if (!read)
    return 1;
  return ok ? 0 : 1;
}

int run(const Arguments &args, const korvane::Logger &logger) {
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
      logger.report(korvane::Problem::ArchiveUnreadable, folder.archive, 0,
                    {folder.archive, folder.unreadable});
    logger.report(korvane::Problem::ScriptMissing, "", 0, {script.string()});
    return 1;
  }
  const fs::path music = folder.music;
  const fs::path trace =
      args.tracedir.empty() ? fs::path() : fs::absolute(args.tracedir, failure);
  const fs::path video =
      args.video.empty() ? fs::path() : fs::absolute(args.video, failure);
  korvane::chooseOffscreenDrivers();
  const korvane::SystemLife system;
  Render render(logger, args, out);
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
  return status >= 0 ? status : run(arguments, korvane::standardLogger());
}
