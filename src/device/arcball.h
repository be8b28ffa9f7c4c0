#pragma once

#include "base/math3d.h"

#include <cstdint>

namespace korvane {

// A mouse message as the arcball needs it, free of any window system.
enum class MouseEvent {
  LeftDown,
  LeftUp,
  RightDown,
  RightUp,
  MiddleDown,
  MiddleUp,
  Move,
  Other,
};

// Button flags of a message, with the values of the Windows mouse flags.
enum MouseButton : std::uint32_t {
  MOUSE_LEFT = 0x0001,
  MOUSE_RIGHT = 0x0002,
  MOUSE_MIDDLE = 0x0010,
};

struct MouseMessage {
  MouseEvent kind = MouseEvent::Other;
  std::uint32_t buttons = 0; // MouseButton flags held during the message
  int x = 0;                 // window pixels
  int y = 0;
};

// A virtual trackball: the left button rotates, the right button pans in
// the screen plane, the middle button moves along the view axis.
class Arcball {
public:
  void setWindow(int width, int height, float radius);
  void setTranslationRadius(float value) { translationradius = value; }
  // True for the mouse messages the arcball acts on.
  bool handleMessage(const MouseMessage &message);
  // The window point on the trackball sphere; the rim outside it.
  Vec3 screenToSphere(int x, int y) const;

  const Quaternion &nowQuaternion() const { return now; }
  const Quaternion &downQuaternion() const { return down; }
  const Matrix &rotation() const { return rotationmatrix; }
  const Matrix &rotationDelta() const { return rotationdelta; }
  const Matrix &translation() const { return translationmatrix; }
  const Matrix &translationDelta() const { return translationdelta; }
  bool dragging() const { return isdragging; }

private:
  int width = 0;
  int height = 0;
  float radius = 0.0f;
  float translationradius = 1.0f;
  Quaternion down;
  Quaternion now;
  Matrix rotationmatrix = matrixIdentity();
  Matrix rotationdelta = matrixIdentity();
  Matrix translationmatrix = matrixIdentity();
  Matrix translationdelta = matrixIdentity();
  bool isdragging = false;
  int lastx = 0;
  int lasty = 0;
  Vec3 dragstart;
};

} // namespace korvane
