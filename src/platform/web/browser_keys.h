#pragma once

// platform/web: a browser's key events as the player's window events,
// free of the browser's own headers so that the mapping can be tested
// anywhere.

#include "platform/window.h"

#include <string_view>

namespace korvane {

// A key-down as the DOM tells it: `key` the key's value on the user's
// layout ("p", "P", "ArrowLeft", " "), `code` the key's place on the
// keyboard ("KeyP", "Digit1", "Numpad1").
struct BrowserKey {
  std::string_view key, code;
  bool shift = false, repeat = false;
  bool command = false; // Ctrl, Alt or Meta held
};

// The window event the desktop makes of the same key; false for a key the
// player leaves to the browser (the page's own shortcuts among them: any
// key with Ctrl, Alt or Meta).
bool browserKeyEvent(const BrowserKey &key, WindowEvent &event);

} // namespace korvane
