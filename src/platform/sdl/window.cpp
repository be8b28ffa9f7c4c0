#include "platform/window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvane {
namespace {

bool sdlVideo(std::string &error) {
  if (SDL_WasInit(SDL_INIT_VIDEO))
    return true;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("no display: ") + SDL_GetError();
    return false;
  }
  return true;
}

std::uint32_t mouseButtons(std::uint32_t state) {
  std::uint32_t buttons = 0;
  if (state & SDL_BUTTON_LMASK)
    buttons |= MOUSE_LEFT;
  if (state & SDL_BUTTON_RMASK)
    buttons |= MOUSE_RIGHT;
  if (state & SDL_BUTTON_MMASK)
    buttons |= MOUSE_MIDDLE;
  return buttons;
}

WindowEvent::Kind keyKind(SDL_Keycode key) {
  switch (key) {
  case SDLK_ESCAPE:
    return WindowEvent::Escape;
  case SDLK_SPACE:
    return WindowEvent::Space;
  case SDLK_RIGHT:
    return WindowEvent::Forward;
  case SDLK_LEFT:
    return WindowEvent::Back;
  case SDLK_HOME:
    return WindowEvent::Home;
  case SDLK_p:
  case SDLK_PAUSE:
    return WindowEvent::Pause;
  case SDLK_t:
    return WindowEvent::OverlayTexts;
  case SDLK_f:
    return WindowEvent::Fullscreen;
  case SDLK_PERIOD:
    return WindowEvent::StepForward;
  case SDLK_COMMA:
    return WindowEvent::StepBack;
  case SDLK_s:
    return WindowEvent::Still;
  default:
    return WindowEvent::Other;
  }
}

} // namespace

std::unique_ptr<Window> Window::create(const char *title, int width, int height,
                                       bool fullscreen, bool hidden,
                                       std::string &error, bool gles) {
  if (!sdlVideo(error))
    return nullptr;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, gles ? 3 : 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, gles ? 0 : 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK,
                      gles ? SDL_GL_CONTEXT_PROFILE_ES
                           : SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

  // Hidden until the show is loaded; show() brings it up.
  const Uint32 flags =
      SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
  if (width <= 0 || height <= 0) {
    error = "the script gives no resolution (" + std::to_string(width) + "x" +
            std::to_string(height) + ")";
    return nullptr;
  }
  std::unique_ptr<Window> out(new Window);
  out->w = width;
  out->h = height;
  out->window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED,
                                 SDL_WINDOWPOS_UNDEFINED, width, height, flags);
  if (!out->window) {
    error = std::string("cannot create the window: ") + SDL_GetError();
    return nullptr;
  }
  out->context = SDL_GL_CreateContext(static_cast<SDL_Window *>(out->window));
  if (!out->context) {
    error = std::string("cannot create an OpenGL context: ") + SDL_GetError();
    return nullptr;
  }
  SDL_GL_SetSwapInterval(0); // the loop is busy: no wait for the retrace
  if (fullscreen && !hidden)
    out->setFullscreen(true);
  return out;
}

Window::~Window() {
  if (context)
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
  if (window)
    SDL_DestroyWindow(static_cast<SDL_Window *>(window));
}

bool Window::poll(WindowEvent &event) {
  SDL_Event e;
  if (!SDL_PollEvent(&e))
    return false;
  event = WindowEvent{};
  switch (e.type) {
  case SDL_QUIT:
  case SDL_APP_TERMINATING:
    event.kind = WindowEvent::Quit;
    break;
  case SDL_WINDOWEVENT:
    if (e.window.event == SDL_WINDOWEVENT_CLOSE)
      event.kind = WindowEvent::Quit;
    else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
      event.kind = WindowEvent::Resized;
    break;
  case SDL_KEYDOWN:
    // Auto-repeat key-downs reach the player marked as such: holding Space
    // skips part after part, holding P does not pause and resume.
    event.kind = keyKind(e.key.keysym.sym);
    // The digits above the letters give their key code unshifted.
    if (e.key.keysym.sym >= SDLK_1 && e.key.keysym.sym <= SDLK_8) {
      event.kind = WindowEvent::LayerKey;
      event.layer = e.key.keysym.sym - SDLK_1 + 1;
    } else if (e.key.keysym.sym >= SDLK_KP_1 && e.key.keysym.sym <= SDLK_KP_8) {
      event.kind = WindowEvent::LayerKey;
      event.layer = e.key.keysym.sym - SDLK_KP_1 + 1;
    }
    event.shift = (e.key.keysym.mod & KMOD_SHIFT) != 0;
    event.repeat = e.key.repeat != 0;
    break;
  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP: {
    const bool down = e.type == SDL_MOUSEBUTTONDOWN;
    event.kind = WindowEvent::Mouse;
    event.mouse.x = e.button.x;
    event.mouse.y = e.button.y;
    event.mouse.buttons = mouseButtons(SDL_GetMouseState(nullptr, nullptr));
    if (e.button.button == SDL_BUTTON_LEFT)
      event.mouse.kind = down ? MouseEvent::LeftDown : MouseEvent::LeftUp;
    else if (e.button.button == SDL_BUTTON_RIGHT)
      event.mouse.kind = down ? MouseEvent::RightDown : MouseEvent::RightUp;
    else if (e.button.button == SDL_BUTTON_MIDDLE)
      event.mouse.kind = down ? MouseEvent::MiddleDown : MouseEvent::MiddleUp;
    break;
  }
  case SDL_MOUSEMOTION:
    event.kind = WindowEvent::Mouse;
    event.mouse.kind = MouseEvent::Move;
    event.mouse.x = e.motion.x;
    event.mouse.y = e.motion.y;
    event.mouse.buttons = mouseButtons(e.motion.state);
    break;
  default:
    break;
  }
  return true;
}

void Window::swap() { SDL_GL_SwapWindow(static_cast<SDL_Window *>(window)); }

void Window::drawableSize(int &width, int &height) const {
  width = w;
  height = h;
  SDL_GL_GetDrawableSize(static_cast<SDL_Window *>(window), &width, &height);
}

void Window::setFullscreen(bool on) {
  auto *sdl = static_cast<SDL_Window *>(window);
  if (on == full)
    return;
  if (on) {
    SDL_GetWindowPosition(sdl, &windowedX, &windowedY);
    SDL_GetWindowSize(sdl, &windowedW, &windowedH);
  }
  full = on;
  const char *driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) {
    SDL_SetWindowFullscreen(sdl, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    return;
  }
  // On X, SDL asks the window manager for full screen and takes the
  // display's size as granted; with no manager the window keeps its size.
  // The borderless window placed over the display covers it either way,
  // and its size changes come back as events.
  SDL_Rect bounds;
  if (!on) {
    SDL_SetWindowSize(sdl, windowedW, windowedH);
    SDL_SetWindowPosition(sdl, windowedX, windowedY);
  } else if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(sdl), &bounds) ==
             0) {
    SDL_SetWindowPosition(sdl, bounds.x, bounds.y);
    SDL_SetWindowSize(sdl, bounds.w, bounds.h);
    SDL_RaiseWindow(sdl);
  }
}

bool Window::waitForRefresh(bool on, std::string &error) {
  if (SDL_GL_SetSwapInterval(on ? 1 : 0) == 0)
    return true;
  error = SDL_GetError();
  return false;
}

void Window::show() {
  SDL_ShowWindow(static_cast<SDL_Window *>(window));
  SDL_RaiseWindow(static_cast<SDL_Window *>(window));
}

bool Window::shown() const {
  return (SDL_GetWindowFlags(static_cast<SDL_Window *>(window)) &
          SDL_WINDOW_SHOWN) != 0;
}

void Window::hideCursor() { SDL_ShowCursor(SDL_DISABLE); }

std::uint32_t SystemTicks::tickCount() { return SDL_GetTicks(); }

void showMessageBox(const char *title, const char *text) {
  if (SDL_WasInit(SDL_INIT_VIDEO))
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr);
}

} // namespace korvane
