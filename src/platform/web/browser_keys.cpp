#include "platform/web/browser_keys.h"

namespace korvane {
namespace {

// The desktop reads letters and punctuation on the user's layout, as the
// DOM's key value gives them, in either case.
WindowEvent::Kind keyKind(std::string_view key) {
  struct Named {
    std::string_view key;
    WindowEvent::Kind kind;
  };
  static constexpr Named named[] = {
      {" ", WindowEvent::Space},        {"ArrowRight", WindowEvent::Forward},
      {"ArrowLeft", WindowEvent::Back}, {"Home", WindowEvent::Home},
      {"p", WindowEvent::Pause},        {"P", WindowEvent::Pause},
      {"Pause", WindowEvent::Pause},    {"t", WindowEvent::OverlayTexts},
      {"T", WindowEvent::OverlayTexts}, {"f", WindowEvent::Fullscreen},
      {"F", WindowEvent::Fullscreen},   {".", WindowEvent::StepForward},
      {",", WindowEvent::StepBack},     {"s", WindowEvent::Still},
      {"S", WindowEvent::Still},
  };
  for (const Named &entry : named)
    if (entry.key == key)
      return entry.kind;
  return WindowEvent::Other;
}

// 1 to 8 from the key's place, above the letters or on the keypad: with
// Shift the key value is the shifted sign ("!"), as the desktop's key
// code is not.
int layerOf(std::string_view code) {
  for (std::string_view prefix : {"Digit", "Numpad"})
    if (code.size() == prefix.size() + 1 &&
        code.substr(0, prefix.size()) == prefix) {
      const char digit = code.back();
      if (digit >= '1' && digit <= '8')
        return digit - '0';
    }
  return 0;
}

} // namespace

bool browserKeyEvent(const BrowserKey &key, WindowEvent &event) {
  if (key.command)
    return false;
  event = WindowEvent{};
  event.shift = key.shift;
  event.repeat = key.repeat;
  event.layer = layerOf(key.code);
  event.kind = event.layer ? WindowEvent::LayerKey : keyKind(key.key);
  return event.kind != WindowEvent::Other;
}

} // namespace korvane
