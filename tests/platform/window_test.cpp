// The window as the player sees it: its events and when it comes up.

#include "render_support.h"
#include <SDL.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::test;

namespace {

// A hidden window whose start-up events are drained.
std::unique_ptr<Window> quietWindow() {
  headless();
  std::string error;
  auto window = Window::create("test", 32, 32, false, true, error);
  EXPECT_TRUE(window) << error;
  WindowEvent drained;
  while (window && window->poll(drained)) {
  }
  return window;
}

} // namespace

// The window's events as the main loop sees them: auto-repeated Space
// key-downs each count, Escape and closing the window both quit.
TEST(Window, WindowEventsForTheMainLoop) {
  auto window = quietWindow();
  ASSERT_TRUE(window);
  auto key = [](SDL_Keycode code, bool repeat) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = code;
    e.key.repeat = repeat ? 1 : 0;
    SDL_PushEvent(&e);
  };
  key(SDLK_SPACE, false);
  key(SDLK_SPACE, true);
  key(SDLK_SPACE, true);
  key(SDLK_a, false);
  key(SDLK_ESCAPE, false);
  SDL_Event close{};
  close.type = SDL_QUIT;
  SDL_PushEvent(&close);
  std::vector<WindowEvent::Kind> kinds;
  WindowEvent event;
  while (window->poll(event))
    if (event.kind != WindowEvent::Other)
      kinds.push_back(event.kind);
  EXPECT_EQ(kinds,
            (std::vector<WindowEvent::Kind>{
                WindowEvent::Space, WindowEvent::Space, WindowEvent::Space,
                WindowEvent::Escape, WindowEvent::Quit}));
}

// The keys for looking closely, Shift held or not, and a change of the
// drawable's size.
TEST(Window, KeysForSeekingPausingAndTheScreen) {
  auto window = quietWindow();
  ASSERT_TRUE(window);
  auto key = [](SDL_Keycode code, Uint16 mod) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = code;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
  };
  key(SDLK_RIGHT, KMOD_NONE);
  key(SDLK_RIGHT, KMOD_LSHIFT);
  key(SDLK_LEFT, KMOD_RSHIFT);
  key(SDLK_HOME, KMOD_NONE);
  key(SDLK_p, KMOD_NONE);
  key(SDLK_PAUSE, KMOD_NONE);
  key(SDLK_t, KMOD_NONE);
  key(SDLK_f, KMOD_NONE);
  SDL_Event resized{};
  resized.type = SDL_WINDOWEVENT;
  resized.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  SDL_PushEvent(&resized);
  std::vector<std::pair<WindowEvent::Kind, bool>> got;
  WindowEvent event;
  while (window->poll(event))
    if (event.kind != WindowEvent::Other)
      got.emplace_back(event.kind, event.shift);
  using K = WindowEvent;
  EXPECT_EQ(got, (std::vector<std::pair<WindowEvent::Kind, bool>>{
                     {K::Forward, false},
                     {K::Forward, true},
                     {K::Back, true},
                     {K::Home, false},
                     {K::Pause, false},
                     {K::Pause, false},
                     {K::OverlayTexts, false},
                     {K::Fullscreen, false},
                     {K::Resized, false}}));
}

// The window stays hidden until the player shows it, after the show has
// loaded.
TEST(Window, TheWindowComesUpOnlyWhenShown) {
  headless();
  std::string error;
  auto window = Window::create("test", 32, 32, false, false, error);
  ASSERT_TRUE(window) << error;
  EXPECT_FALSE(window->shown());
  window->show();
  EXPECT_TRUE(window->shown());
}
