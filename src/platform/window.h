#pragma once

// platform: what the programs ask of the system they run on: the window
// with its GL context, full screen and events, message boxes and the tick
// count (here), the soundtrack (soundtrack.h), watching files
// (file_watch.h), and the window system's life (system.h), each made real
// by the folder of the platform built (sdl/); and video through FFmpeg:
// decoding AVI streams, encoding captured frames, muxing the music into
// them. It knows device/ (the arcball's mouse messages) and base/.

#include "base/tick_source.h"
#include "device/arcball.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// What the player understands of the window system.
struct WindowEvent {
  enum Kind {
    Quit,
    Escape,
    Space,
    Mouse,
    Forward,      // Right
    Back,         // Left
    Home,         // Home
    Pause,        // P or Pause
    OverlayTexts, // T
    Fullscreen,   // F
    Resized,      // the drawable changed size
    StepForward,  // .
    StepBack,     // ,
    Still,        // S
    LayerKey,     // 1 to 8: `layer`
    Other
  } kind = Other;
  bool shift = false;  // held with the key
  bool repeat = false; // a key-down of the key's auto-repeat
  int layer = 0;       // of a LayerKey: 1 to 8
  MouseMessage mouse;
};

// Where the main loop takes its events from: the window, or a test.
class EventSource {
public:
  virtual ~EventSource() = default;
  // The next waiting event, false when there is none.
  virtual bool poll(WindowEvent &event) = 0;
};

// The one borderless window with its OpenGL 2.1 compatibility context, or
// an OpenGL ES 3.0 one.
class Window final : public EventSource {
public:
  // Null with `error` saying why (no display, no GL). The window starts
  // hidden: show() brings it up. `hidden` marks it for offline rendering,
  // never shown and never full screen.
  // `gles` asks for an OpenGL ES 3.0 context instead.
  static std::unique_ptr<Window> create(const char *title, int width,
                                        int height, bool fullscreen,
                                        bool hidden, std::string &error,
                                        bool gles = false);
  ~Window() override;
  Window(const Window &) = delete;
  Window &operator=(const Window &) = delete;

  bool poll(WindowEvent &event) override;
  void swap();
  // Covers the display the window is on, or goes back to the window's
  // size and place. Where the window system grants no full screen (an X
  // server without a window manager), the window is sized and placed to
  // cover the display all the same.
  void setFullscreen(bool on);
  bool fullscreen() const { return full; }
  // Presents on the display's refresh (true) or at once; false with
  // `error` where the system cannot wait for the refresh.
  bool waitForRefresh(bool on, std::string &error);
  // The size of what the window shows, which full screen may make larger
  // than the size asked for.
  void drawableSize(int &width, int &height) const;
  void show();
  // Whether the window is on screen.
  bool shown() const;
  void hideCursor();
  int width() const { return w; }
  int height() const { return h; }

private:
  Window() = default;
  void *window = nullptr;  // SDL_Window
  void *context = nullptr; // SDL_GLContext
  int w = 0, h = 0;
  bool full = false;
  int windowedX = 0, windowedY = 0, windowedW = 0, windowedH = 0;
};

// The system's 32-bit millisecond tick count.
class SystemTicks final : public TickSource {
public:
  std::uint32_t tickCount() override;
};

// A message box where there is a display; it blocks until it is closed.
void showMessageBox(const char *title, const char *text);

} // namespace korvane
