#pragma once

namespace korvane {

// The window system and the sound for the life of a program: each part
// starts when first used (a window, a soundtrack), and all of it is shut
// down when this ends. One per program, made before its first window and
// ending after the last.
class SystemLife {
public:
  SystemLife() = default;
  ~SystemLife();
  SystemLife(const SystemLife &) = delete;
  SystemLife &operator=(const SystemLife &) = delete;
};

// Headless and silent, on the software renderer, whatever the machine
// has: for a program that draws without a display. Called before the
// first window; what the environment already asks for the renderer and the
// sound is kept.
void chooseOffscreenDrivers();

} // namespace korvane
