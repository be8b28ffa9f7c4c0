#include "device/arcball.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korvane;

namespace {

MouseMessage message(MouseEvent kind, int x, int y, std::uint32_t buttons = 0) {
  return {kind, buttons, x, y};
}

} // namespace

TEST(Arcball, ScreenToSphere) {
  Arcball ball;
  ball.setWindow(640, 480, 0.85f);
  const Vec3 centre = ball.screenToSphere(320, 240);
  EXPECT_EQ(centre.x, 0.0f);
  EXPECT_EQ(centre.y, 0.0f);
  EXPECT_EQ(centre.z, 1.0f);
  // Left of the centre is +x, below it +y.
  const Vec3 inside = ball.screenToSphere(320 - 136, 240 + 102);
  EXPECT_FLOAT_EQ(inside.x, 0.5f);
  EXPECT_FLOAT_EQ(inside.y, 0.5f);
  EXPECT_FLOAT_EQ(inside.z, std::sqrt(0.5f));
  // Outside the circle: on the rim.
  const Vec3 rim = ball.screenToSphere(0, 240);
  EXPECT_FLOAT_EQ(rim.x, 1.0f);
  EXPECT_EQ(rim.y, 0.0f);
  EXPECT_EQ(rim.z, 0.0f);

  // No window size yet: no division by zero.
  Arcball unsized;
  const Vec3 none = unsized.screenToSphere(10, 10);
  EXPECT_FALSE(std::isnan(none.x) || std::isnan(none.y) || std::isnan(none.z));
}

TEST(Arcball, DragsRotateFromTheirAnchor) {
  Arcball ball;
  ball.setWindow(640, 480, 0.85f);
  EXPECT_TRUE(ball.handleMessage(message(MouseEvent::LeftDown, 200, 200)));
  EXPECT_TRUE(ball.dragging());
  // Back to the same point: the identity step.
  ball.handleMessage(message(MouseEvent::Move, 200, 200, MOUSE_LEFT));
  EXPECT_NEAR(ball.nowQuaternion().w, 1.0f, 1e-6f);
  EXPECT_NEAR(ball.nowQuaternion().x, 0.0f, 1e-6f);

  // A drag from the centre to the left: a turn about y.
  ball.handleMessage(message(MouseEvent::LeftUp, 0, 0));
  EXPECT_FALSE(ball.dragging());
  ball.handleMessage(message(MouseEvent::LeftDown, 320, 240));
  ball.handleMessage(message(MouseEvent::Move, 184, 240, MOUSE_LEFT));
  const Quaternion first = ball.nowQuaternion();
  EXPECT_NEAR(first.x, 0.0f, 1e-6f);
  EXPECT_NEAR(first.z, 0.0f, 1e-6f);
  EXPECT_NEAR(std::abs(first.y), std::sin(std::asin(0.5f) / 2), 1e-6f);
  // Moving on recomputes from the anchor, not from the last step.
  ball.handleMessage(message(MouseEvent::Move, 184, 240, MOUSE_LEFT));
  EXPECT_NEAR(ball.nowQuaternion().y, first.y, 1e-7f);
  const Matrix expected = matrixRotationQuaternion(first);
  EXPECT_EQ(ball.rotation(), expected);
  EXPECT_EQ(ball.rotationDelta(), expected);

  // A new drag starts from the turned state.
  ball.handleMessage(message(MouseEvent::LeftUp, 0, 0));
  ball.handleMessage(message(MouseEvent::LeftDown, 320, 240));
  EXPECT_EQ(ball.downQuaternion().y, first.y);
  ball.handleMessage(message(MouseEvent::Move, 184, 240, MOUSE_LEFT));
  EXPECT_NEAR(std::abs(ball.nowQuaternion().y), std::sin(std::asin(0.5f)),
              1e-5f);

  // A left move without a drag keeps the rotation and starts dragging.
  Arcball idle;
  idle.setWindow(640, 480, 0.85f);
  EXPECT_TRUE(
      idle.handleMessage(message(MouseEvent::Move, 10, 10, MOUSE_LEFT)));
  EXPECT_TRUE(idle.dragging());
  EXPECT_EQ(idle.rotationDelta(), matrixIdentity());
}

TEST(Arcball, PanAndZoom) {
  Arcball ball;
  ball.setWindow(640, 480, 0.85f);
  // Right drag up by the whole window height: 2.0 along y.
  ball.handleMessage(message(MouseEvent::RightDown, 100, 480));
  ball.handleMessage(message(MouseEvent::Move, 100, 0, MOUSE_RIGHT));
  EXPECT_FLOAT_EQ(ball.translation().m[3][1], 2.0f);
  EXPECT_EQ(ball.translation().m[3][0], 0.0f);
  // And right by half the width: -1.0 along x (the sign of the formula).
  ball.handleMessage(message(MouseEvent::Move, 420, 0, MOUSE_RIGHT));
  EXPECT_FLOAT_EQ(ball.translation().m[3][0], 1.0f);
  EXPECT_FLOAT_EQ(ball.translationDelta().m[3][0], 1.0f);

  // Middle drag: only z, five times the scaled y distance.
  ball.setTranslationRadius(2.0f);
  ball.handleMessage(message(MouseEvent::MiddleDown, 50, 300));
  ball.handleMessage(message(MouseEvent::Move, 90, 252, MOUSE_MIDDLE));
  EXPECT_FLOAT_EQ(ball.translationDelta().m[3][2], 5.0f * 48 * 2.0f / 480);
  EXPECT_EQ(ball.translationDelta().m[3][0], 0.0f);
  EXPECT_FLOAT_EQ(ball.translation().m[3][2], 1.0f);

  // Both buttons: the right one wins.
  ball.handleMessage(
      message(MouseEvent::Move, 90, 252, MOUSE_RIGHT | MOUSE_MIDDLE));
  EXPECT_EQ(ball.translationDelta().m[3][2], 0.0f);

  // No button, other messages: nothing.
  const Matrix before = ball.translation();
  EXPECT_TRUE(ball.handleMessage(message(MouseEvent::Move, 0, 0)));
  EXPECT_FALSE(ball.handleMessage(message(MouseEvent::RightUp, 0, 0)));
  EXPECT_FALSE(ball.handleMessage(message(MouseEvent::Other, 0, 0)));
  EXPECT_EQ(ball.translation(), before);

  // No window size: panning divides by nothing.
  Arcball unsized;
  unsized.handleMessage(message(MouseEvent::RightDown, 0, 0));
  unsized.handleMessage(message(MouseEvent::Move, 5, 5, MOUSE_RIGHT));
  for (const auto &row : unsized.translation().m)
    for (float v : row)
      EXPECT_FALSE(std::isnan(v) || std::isinf(v));
}
