// The browser's keys make the window events the desktop's keys make.

#include "platform/web/browser_keys.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

struct KeyCase {
  BrowserKey key;
  bool handled;
  WindowEvent::Kind kind;
  int layer;
};

TEST(BrowserKeys, MapAsTheDesktopDoes) {
  const KeyCase cases[] = {
      {{" ", "Space"}, true, WindowEvent::Space, 0},
      {{"ArrowRight", "ArrowRight", true}, true, WindowEvent::Forward, 0},
      {{"ArrowLeft", "ArrowLeft"}, true, WindowEvent::Back, 0},
      {{"Home", "Home"}, true, WindowEvent::Home, 0},
      {{"p", "KeyP"}, true, WindowEvent::Pause, 0},
      {{"P", "KeyP", true}, true, WindowEvent::Pause, 0},
      {{"Pause", "Pause"}, true, WindowEvent::Pause, 0},
      {{"t", "KeyT"}, true, WindowEvent::OverlayTexts, 0},
      {{"f", "KeyF"}, true, WindowEvent::Fullscreen, 0},
      {{".", "Period"}, true, WindowEvent::StepForward, 0},
      {{",", "Comma"}, true, WindowEvent::StepBack, 0},
      {{"s", "KeyS"}, true, WindowEvent::Still, 0},
      // A layout's own letters: the key's value counts, not its place.
      {{"p", "KeyR"}, true, WindowEvent::Pause, 0},
      // The digits by place: Shift gives "!" and "@" for them.
      {{"1", "Digit1"}, true, WindowEvent::LayerKey, 1},
      {{"@", "Digit2", true}, true, WindowEvent::LayerKey, 2},
      {{"8", "Numpad8"}, true, WindowEvent::LayerKey, 8},
      {{"9", "Digit9"}, false, WindowEvent::Other, 0},
      {{"0", "Digit0"}, false, WindowEvent::Other, 0},
      // The browser's own: Escape leaves full screen, Ctrl+S saves.
      {{"Escape", "Escape"}, false, WindowEvent::Other, 0},
      {{"s", "KeyS", false, false, true}, false, WindowEvent::Other, 0},
      {{"x", "KeyX"}, false, WindowEvent::Other, 0},
  };
  for (const KeyCase &c : cases) {
    WindowEvent event;
    const std::string name(c.key.code);
    EXPECT_EQ(browserKeyEvent(c.key, event), c.handled) << name;
    if (!c.handled)
      continue;
    EXPECT_EQ(event.kind, c.kind) << name;
    EXPECT_EQ(event.layer, c.layer) << name;
    EXPECT_EQ(event.shift, c.key.shift) << name;
  }
}

} // namespace
} // namespace korvane
