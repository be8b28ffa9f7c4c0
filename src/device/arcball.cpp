#include "device/arcball.h"

#include <cmath>

namespace korvane {

void Arcball::setWindow(int w, int h, float r) {
  width = w;
  height = h;
  radius = r;
}

Vec3 Arcball::screenToSphere(int x, int y) const {
  const float sizeX = static_cast<float>(width) * radius * 0.5f;
  const float sizeY = static_cast<float>(height) * radius * 0.5f;
  // Before the window has a size there is no sphere: the centre stands in.
  if (sizeX == 0.0f || sizeY == 0.0f)
    return {0.0f, 0.0f, 1.0f};
  float sx = static_cast<float>(width / 2 - x) / sizeX;
  float sy = static_cast<float>(y - height / 2) / sizeY;
  const float m = sx * sx + sy * sy;
  if (m > 1.0f) {
    const float scale = 1.0f / std::sqrt(m);
    return {sx * scale, sy * scale, 0.0f};
  }
  return {sx, sy, std::sqrt(1.0f - m)};
}

bool Arcball::handleMessage(const MouseMessage &message) {
  // Window coordinates arrive as unsigned 16-bit values.
  const int x = message.x & 0xFFFF;
  const int y = message.y & 0xFFFF;

  switch (message.kind) {
  case MouseEvent::LeftDown:
    isdragging = true;
    dragstart = screenToSphere(x, y);
    down = now;
    return true;
  case MouseEvent::LeftUp:
    isdragging = false;
    return true;
  case MouseEvent::RightDown:
  case MouseEvent::MiddleDown:
    lastx = x;
    lasty = y;
    return true;
  case MouseEvent::Move:
    break;
  default:
    return false;
  }

  if (message.buttons & MOUSE_LEFT) {
    if (isdragging) {
      const Vec3 a = vec3Normalize(dragstart);
      const Vec3 b = vec3Normalize(screenToSphere(x, y));
      const Vec3 half = vec3Normalize(a + b);
      const Vec3 axis = vec3Cross(a, half);
      const Quaternion step = {axis.x, axis.y, axis.z, vec3Dot(a, half)};
      now = quaternionMultiply(down, step);
      rotationdelta = matrixRotationQuaternion(step);
    } else {
      rotationdelta = matrixIdentity();
    }
    rotationmatrix = matrixRotationQuaternion(now);
    isdragging = true;
  } else if (message.buttons & (MOUSE_RIGHT | MOUSE_MIDDLE)) {
    // Without a window size there is nothing to scale the move by.
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const float d = h != 0.0f
                        ? static_cast<float>(lasty - y) * translationradius / h
                        : 0.0f;
    if (message.buttons & MOUSE_RIGHT) {
      const float dx = w != 0.0f ? -2.0f * static_cast<float>(lastx - x) *
                                       translationradius / w
                                 : 0.0f;
      translationdelta = matrixTranslation(dx, 2.0f * d, 0.0f);
    } else {
      translationdelta = matrixTranslation(0.0f, 0.0f, 5.0f * d);
    }
    translationmatrix = matrixMultiply(translationmatrix, translationdelta);
    lastx = x;
    lasty = y;
  }
  return true;
}

} // namespace korvane
