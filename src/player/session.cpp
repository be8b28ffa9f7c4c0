#include "player/session.h"

#include "base/media_path.h"
#include "base/problems.h"
#ifndef __EMSCRIPTEN__
#include "device/gl/gl_backend.h"
#endif
#include "device/gles/gles_backend.h"
#include "gfxutil/png_file.h"
#include "layers/layer_kinds.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace korvane {

Session::~Session() {
  if (!stopped)
    stop(0, 0);
}

bool Session::start(const SessionOptions &options, std::string &error) {
  Show &show = current->show;
  showfolder = findShowFolder(options.folder);
  const std::string &script = showfolder.script;
  scriptlabel = std::filesystem::path(script)
                    .lexically_relative(showfolder.root)
                    .string();
  // A script that cannot be read stops the start before anything is
  // written, with the reason: not a show of no resolution.
  if (!scriptReadable(error))
    return false;
  std::string unlogged;
  if (logfile.open(showfolder.log, unlogged))
    log.addLines(logFileSink(logfile));
  else
    log.report(Problem::LogNotWritten, "", 0, {showfolder.log, unlogged});
  log.line(" DEBUG.LOG ");
  log.line(" --------- ");
  stopped = false;
  reportArchive();

  show.partnumber = 0;
  settingsPass(show, script, log, true, showfolder.files.get());

  const int scale = std::max(1, options.supersample);
  const int width =
      (options.width > 0 ? options.width : show.resolution[0]) * scale;
  const int height =
      (options.height > 0 ? options.height : show.resolution[1]) * scale;
  picturewidth = width;
  pictureheight = height;
  window = Window::create(
      "Korvane", width, height, show.fullscreen != 0 && !options.hidden,
      options.hidden, error, options.renderer == Renderer::Gles);
  if (!window || !makeDevice(options, width, height, error)) {
    abandonStart();
    return false;
  }
  std::string refused;
  if (options.vsync && !window->waitForRefresh(true, refused))
    log.report(Problem::VsyncRefused, "", 0, {refused});

  registerLayerKinds(kinds, *graphics.device, showfolder.data,
                     showfolder.files);
  scriptread = readScript(*current, script);

  sound = options.sound && show.music != 0 && options.soundtrack;
  if (sound) {
    music = options.soundtrack;
    music->open(show.musicfilename, showfolder.music, log, *showfolder.files);
    music->start(log);
  }
  if (!options.hidden) {
    window->show();
    window->hideCursor();
  }
  timer = std::make_unique<FrameTimer>(options.timerclock ? *options.timerclock
                                                          : systemclock);
  frametools = std::make_unique<FrameTools>(
      FrameTools{*graphics.device, graphics.font.get(), *timer});
  return true;
}

bool Session::scriptReadable(std::string &error) const {
  std::string bytes, why;
  if (showfolder.files->read(showfolder.script, bytes, why))
    return true;
  if (!showfolder.unreadable.empty())
    error = "the archive " + showfolder.archive +
            " cannot be read: " + showfolder.unreadable;
  else if (!showfolder.files->exists(showfolder.script))
    error = scriptlabel + " was not found in " + showfolder.root;
  else
    error = scriptlabel + " cannot be read: " + why;
  return false;
}

bool parseRenderer(const std::string &name, Renderer &renderer) {
  if (name != "gl" && name != "gles")
    return false;
  renderer = name == "gl" ? Renderer::Gl : Renderer::Gles;
  return true;
}

void Session::abandonStart() {
  // A start that failed returns at once: nothing more is logged, and the
  // log is left as it is.
  teardownDevice(graphics);
  trace.reset();
  screen = nullptr;
  window.reset();
  stopped = true;
}

bool Session::makeDevice(const SessionOptions &options, int width, int height,
                         std::string &error) {
  Window *shown = window.get();
  std::function<void()> swap = [shown] { shown->swap(); };
  if (options.capture)
    swap = [capture = options.capture, shown] {
      capture();
      shown->swap();
    };
  if (!options.tracefolder.empty()) {
    trace = std::make_unique<DeviceTrace>(options.tracefolder, width, height);
    if (!trace->ok()) {
      error = trace->error();
      return false;
    }
  }
  int drawableWidth = width, drawableHeight = height;
  window->drawableSize(drawableWidth, drawableHeight);
  std::unique_ptr<ScreenBackend> backend;
#ifndef __EMSCRIPTEN__
  if (options.renderer == Renderer::Gl)
    backend = std::make_unique<GlBackend>(width, height, swap, log,
                                          drawableWidth, drawableHeight);
#endif
  // A browser has WebGL 2 alone: OpenGL ES 3.0.
  if (!backend)
    backend = std::make_unique<GlesBackend>(width, height, swap, log,
                                            drawableWidth, drawableHeight);
  screen = backend.get();
  setupDevice(graphics, std::move(backend), arcball, width, height, log,
              trace.get());
  return true;
}

bool Session::readScript(LoadedShow &show, const std::string &script) {
  return fullPass(show, script, kinds, log, scriptlabel,
                  showfolder.files.get());
}

void Session::reportArchive() {
  const ShowFolder &f = showfolder;
  if (f.archive.empty())
    return;
  if (!f.unreadable.empty())
    log.report(Problem::ArchiveUnreadable, f.archive, 0,
               {f.archive, f.unreadable});
  for (const RefusedEntry &entry : f.refused)
    log.report(Problem::ArchiveEntryRefused, f.archive, 0,
               {f.archive, entry.name, entry.why});
}

void Session::findFolderAgain() {
  if (!showfolder.archive.empty()) {
    // The archive as it is now: read again whole, its entries checked anew.
    showfolder = findShowFolder(showfolder.archive);
    reportArchive();
  } else {
    // The Data folder may have been replaced by one spelled otherwise.
    const ShowFolder now = findShowFolder(showfolder.root);
    if (now.data == showfolder.data && now.script == showfolder.script)
      return;
    showfolder.data = now.data;
    showfolder.script = now.script;
    scriptlabel = std::filesystem::path(showfolder.script)
                      .lexically_relative(showfolder.root)
                      .string();
  }
  if (graphics.device)
    registerLayerKinds(kinds, *graphics.device, showfolder.data,
                       showfolder.files);
}

std::unique_ptr<LoadedShow> Session::loadShow(std::string &error) {
  findFolderAgain();
  const std::string &script = showfolder.script;
  std::string bytes;
  if (!showfolder.files->read(script, bytes, error)) {
    error = "it cannot be opened (" + error + ")";
    return nullptr;
  }
  // A file half written ends inside a block: it is not played.
  Logger heard = log;
  std::string cut;
  bool empty = false;
  heard.add([&cut, &empty](const Report &report) {
    if (cut.empty() && endsEarly(report.id))
      cut = "it ends early (" + describe(report) + ")";
    empty = empty || report.id == Problem::ScriptEmpty;
  });
  auto next = std::make_unique<LoadedShow>();
  settingsPass(next->show, script, log, true, showfolder.files.get());
  if (!fullPass(*next, script, kinds, heard, scriptlabel,
                showfolder.files.get()))
    error = "it does not begin with <demo>";
  else if (empty)
    error = "it is empty";
  else if (!cut.empty())
    error = cut;
  else if (std::string why = unplayable(next->show); !why.empty())
    error = why;
  else
    return next;
  return nullptr;
}

void Session::adopt(std::unique_ptr<LoadedShow> next) {
  current = std::move(next);
}

void Session::followDrawable() {
  if (!window || !screen)
    return;
  int width = window->width(), height = window->height();
  window->drawableSize(width, height);
  screen->resize(width, height);
}

void Session::toggleFullscreen() {
  if (!window)
    return;
  window->setFullscreen(!window->fullscreen());
  followDrawable();
}

std::string Session::writeStill(const FrameRequest &request,
                                std::string *written) {
  if (!frametools || !screen)
    return "";
  namespace fs = std::filesystem;
  const std::string stem = "still_" + std::to_string(request.showTime);
  // An archive is never written: its stills go beside it, and those of a
  // show that must not be written go to the state folder.
  const fs::path folder = showfolder.outputs;
  auto name = [&](int n) {
    std::string file = stem;
    if (n > 1)
      file.append("_").append(std::to_string(n));
    return folder / file.append(".png");
  };
  // Full screen draws the picture scaled: the still is drawn again at its
  // own size, in the corner, and never shown; the passing line is not part
  // of the picture.
  FrameRequest unshown = request;
  unshown.present = false;
  unshown.message.clear();
  screen->resize(picturewidth, pictureheight);
  frame(unshown);
  const std::string pixels = screen->readBack(picturewidth, pictureheight);
  followDrawable();
  // Created afresh, never over a file or through a link already there.
  fs::path file = name(1);
  std::error_code failure;
  for (int n = 2; fs::exists(fs::symlink_status(file, failure)); ++n)
    file = name(n);
  std::string why;
  if (!writePng(file.string(), picturewidth, pictureheight, pixels, &why,
                WriteMode::Fresh)) {
    log.report(Problem::StillNotWritten, "", 0, {file.string(), why});
    return problemText(Problem::StillNotWritten,
                       {file.filename().string(), why});
  }
  if (written)
    *written = file.string();
  return file.filename().string() + " written in " + folder.string();
}

bool Session::frame(const FrameRequest &request) {
  return !renderFrame(*current, *frametools, request);
}

void Session::stop(std::uint32_t frames, std::uint32_t milliseconds) {
  stopped = true;
  frametools.reset();
  // What the show made on the device goes before the device.
  current.reset();
  teardownDevice(graphics);
  if (sound)
    music->stop();
  sound = false;
  if (milliseconds == 0)
    log.line("\n\n\nFPS: %u frames in 0 ms", frames);
  else
    log.line("\n\n\nFPS: %f", static_cast<double>(frames) * 1000.0 /
                                  static_cast<std::int32_t>(milliseconds));
  logfile.close();
  window.reset();
}

} // namespace korvane
