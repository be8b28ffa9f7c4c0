#include "platform/window.h"
#include "platform/web/browser_keys.h"
#include "platform/web/library.h"

#include <emscripten/html5.h>

#include <deque>

// The desktop's window remembers where it stood before full screen; a
// browser does that itself, and the fields stay unused here.
#pragma clang diagnostic ignored "-Wunused-private-field"

namespace korvane {
namespace {

constexpr const char *canvasTarget = "#canvas";

// The canvas's WebGL 2 context and the events waiting for the player.
struct Canvas {
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
  std::deque<WindowEvent> events;
  int width = 0, height = 0;
};

EM_BOOL keyDown(int, const EmscriptenKeyboardEvent *e, void *data) {
  auto *canvas = static_cast<Canvas *>(data);
  BrowserKey key;
  key.key = e->key;
  key.code = e->code;
  key.shift = e->shiftKey;
  key.repeat = e->repeat;
  key.command = e->ctrlKey || e->altKey || e->metaKey;
  WindowEvent event;
  if (!browserKeyEvent(key, event))
    return EM_FALSE; // the browser's, as if the player were not there
  if (event.kind == WindowEvent::Fullscreen) {
    // Here, while the browser handles the key, or never.
    if (!event.repeat)
      korvane_fullscreen(!korvane_in_fullscreen());
    return EM_TRUE;
  }
  canvas->events.push_back(event);
  return EM_TRUE; // no scrolling on Space and the arrows
}

std::uint32_t mouseButtons(unsigned short buttons) {
  // The DOM's bits: 1 left, 2 right, 4 middle.
  std::uint32_t out = 0;
  if (buttons & 1)
    out |= MOUSE_LEFT;
  if (buttons & 2)
    out |= MOUSE_RIGHT;
  if (buttons & 4)
    out |= MOUSE_MIDDLE;
  return out;
}

EM_BOOL mouse(int type, const EmscriptenMouseEvent *e, void *data) {
  auto *canvas = static_cast<Canvas *>(data);
  WindowEvent event;
  event.kind = WindowEvent::Mouse;
  // The page scales the canvas: its pixels are the drawing buffer's.
  double cssWidth = 0, cssHeight = 0;
  emscripten_get_element_css_size(canvasTarget, &cssWidth, &cssHeight);
  event.mouse.x = cssWidth > 0
                      ? static_cast<int>(e->targetX * canvas->width / cssWidth)
                      : static_cast<int>(e->targetX);
  event.mouse.y =
      cssHeight > 0 ? static_cast<int>(e->targetY * canvas->height / cssHeight)
                    : static_cast<int>(e->targetY);
  event.mouse.buttons = mouseButtons(e->buttons);
  const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
  if (type == EMSCRIPTEN_EVENT_MOUSEMOVE)
    event.mouse.kind = MouseEvent::Move;
  else if (e->button == 0)
    event.mouse.kind = down ? MouseEvent::LeftDown : MouseEvent::LeftUp;
  else if (e->button == 2)
    event.mouse.kind = down ? MouseEvent::RightDown : MouseEvent::RightUp;
  else if (e->button == 1)
    event.mouse.kind = down ? MouseEvent::MiddleDown : MouseEvent::MiddleUp;
  else
    return EM_FALSE;
  canvas->events.push_back(event);
  return EM_FALSE;
}

void listen(Canvas *canvas) {
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, canvas,
                                  EM_TRUE, canvas ? keyDown : nullptr);
  emscripten_set_mousedown_callback(canvasTarget, canvas, EM_TRUE,
                                    canvas ? mouse : nullptr);
  emscripten_set_mouseup_callback(canvasTarget, canvas, EM_TRUE,
                                  canvas ? mouse : nullptr);
  emscripten_set_mousemove_callback(canvasTarget, canvas, EM_TRUE,
                                    canvas ? mouse : nullptr);
}

} // namespace

std::unique_ptr<Window> Window::create(const char *, int width, int height,
                                       bool fullscreen, bool hidden,
                                       std::string &error, bool gles) {
  if (!gles) {
    error = "a browser draws with WebGL 2 alone: OpenGL ES 3.0 shaders";
    return nullptr;
  }
  if (width <= 0 || height <= 0) {
    error = "the script gives no resolution (" + std::to_string(width) + "x" +
            std::to_string(height) + ")";
    return nullptr;
  }
  // The drawing buffer is the show's size; the page scales it to fit.
  if (emscripten_set_canvas_element_size(canvasTarget, width, height) !=
      EMSCRIPTEN_RESULT_SUCCESS) {
    error = "the page has no canvas with the id \"canvas\"";
    return nullptr;
  }
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  // The back buffer's alpha stays 1, as Direct3D's X8R8G8B8 has it.
  attributes.alpha = EM_FALSE;
  attributes.depth = EM_TRUE;
  attributes.stencil = EM_TRUE;
  // Every pixel as Direct3D draws it: no multisampling.
  attributes.antialias = EM_FALSE;
  // The frame stays readable after the browser has shown it.
  attributes.preserveDrawingBuffer = EM_TRUE;
  attributes.failIfMajorPerformanceCaveat = EM_FALSE;
  auto canvas = std::make_unique<Canvas>();
  canvas->width = width;
  canvas->height = height;
  canvas->context = emscripten_webgl_create_context(canvasTarget, &attributes);
  if (canvas->context <= 0) {
    error = "this browser gives no WebGL 2 context";
    return nullptr;
  }
  emscripten_webgl_make_context_current(canvas->context);
  std::unique_ptr<Window> out(new Window);
  out->w = width;
  out->h = height;
  listen(canvas.get());
  out->window = canvas.release();
  // A show that asks for full screen gets it where the browser allows it:
  // opened by the person's click.
  if (fullscreen && !hidden)
    out->setFullscreen(true);
  return out;
}

Window::~Window() {
  auto *canvas = static_cast<Canvas *>(window);
  if (!canvas)
    return;
  listen(nullptr);
  emscripten_webgl_make_context_current(0);
  emscripten_webgl_destroy_context(canvas->context);
  delete canvas;
}

bool Window::poll(WindowEvent &event) {
  auto *canvas = static_cast<Canvas *>(window);
  if (canvas->events.empty())
    return false;
  event = canvas->events.front();
  canvas->events.pop_front();
  return true;
}

// The browser shows the canvas once the animation frame returns.
void Window::swap() {}

void Window::setFullscreen(bool on) {
  full = on;
  korvane_fullscreen(on);
}

bool Window::waitForRefresh(bool, std::string &) {
  return true; // the page's animation frames follow the display
}

void Window::drawableSize(int &width, int &height) const {
  width = w;
  height = h;
}

void Window::show() {}

bool Window::shown() const { return true; }

void Window::hideCursor() { korvane_cursor("none"); }

std::uint32_t SystemTicks::tickCount() {
  return static_cast<std::uint32_t>(
      static_cast<std::uint64_t>(emscripten_get_now()));
}

void showMessageBox(const char *title, const char *text) {
  emscripten_log(EM_LOG_WARN, "%s: %s", title, text);
}

} // namespace korvane
