#include "base/math3d.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korvane;

namespace {

constexpr float quarter = 1.5707964f;
constexpr float eps = 1e-6f;

void expectNear(const Vec3 &a, const Vec3 &b, float tolerance = eps) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

Vec3 apply(const Vec3 &p, const Matrix &m) { return vec3TransformCoord(p, m); }

} // namespace

TEST(Math3d, QuarterTurnsGoWhereDirect3DTakesThem) {
  const Vec3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  // Left-handed: looking down the axis towards the origin, clockwise.
  expectNear(apply(y, matrixRotationX(quarter)), z);
  expectNear(apply(z, matrixRotationX(quarter)), {0, -1, 0});
  expectNear(apply(z, matrixRotationY(quarter)), x);
  expectNear(apply(x, matrixRotationY(quarter)), {0, 0, -1});
  expectNear(apply(x, matrixRotationZ(quarter)), y);
  expectNear(apply(y, matrixRotationZ(quarter)), {-1, 0, 0});

  // The axis rotation agrees with the three, and normalises its axis.
  for (float angle : {0.3f, quarter, -2.0f}) {
    EXPECT_EQ(matrixRotationAxis({2, 0, 0}, angle).m[1][2],
              matrixRotationX(angle).m[1][2]);
    const Matrix axisY = matrixRotationAxis({0, 5, 0}, angle);
    const Matrix rotY = matrixRotationY(angle);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        EXPECT_NEAR(axisY.m[i][j], rotY.m[i][j], eps);
  }
  const Matrix diagonal = matrixRotationAxis({1, 1, 1}, 2.0943952f);
  expectNear(apply(x, diagonal), y, 1e-5f);
  expectNear(apply(y, diagonal), z, 1e-5f);
}

TEST(Math3d, TranslationScalingAndProductOrder) {
  const Matrix t = matrixTranslation(1, 2, 3);
  EXPECT_EQ(t.m[3][0], 1.0f);
  EXPECT_EQ(t.m[3][2], 3.0f);
  expectNear(apply({1, 1, 1}, t), {2, 3, 4});
  expectNear(apply({1, 2, 3}, matrixScaling(2, 3, 4)), {2, 6, 12});
  // A x B applies A first: scale, then move.
  const Matrix sThenT = matrixMultiply(matrixScaling(2, 2, 2), t);
  expectNear(apply({1, 0, 0}, sThenT), {3, 2, 3});
  const Matrix tThenS = matrixMultiply(t, matrixScaling(2, 2, 2));
  expectNear(apply({1, 0, 0}, tThenS), {4, 4, 6});
  EXPECT_EQ(matrixMultiply(matrixIdentity(), sThenT), sThenT);
}

TEST(Math3d, VectorsAndPlanes) {
  expectNear(vec3Normalize({3, 0, 4}), {0.6f, 0, 0.8f});
  expectNear(vec3Normalize({0, 0, 0}), {0, 0, 0});
  expectNear(vec3Cross({1, 0, 0}, {0, 1, 0}), {0, 0, 1});

  const Plane floor = planeFromPoints({0, -1, 0}, {1, -1, 0}, {0, -1, 1});
  EXPECT_FLOAT_EQ(floor.a, 0.0f);
  EXPECT_FLOAT_EQ(floor.b, -1.0f);
  EXPECT_FLOAT_EQ(floor.c, 0.0f);
  EXPECT_FLOAT_EQ(floor.d, -1.0f);
  // Normalised, through the first point.
  const Plane tilted = planeFromPoints({0, 0, 5}, {2, 0, 5}, {0, 3, 5});
  EXPECT_FLOAT_EQ(tilted.c, 1.0f);
  EXPECT_FLOAT_EQ(tilted.d, -5.0f);
}

TEST(Math3d, ShadowFlattensAlongTheLight) {
  // Normal (0, 1, 0): the floor y = -1 faces a light above it.
  const Plane floor = planeFromPoints({0, -1, 0}, {0, -1, 1}, {1, -1, 0});
  const Matrix down = matrixShadow({0, 1, 0, 0}, floor);
  expectNear(apply({3, 5, -2}, down), {3, -1, -2});
  // The flattened point keeps a positive w, so it is not clipped away.
  EXPECT_GT(down.m[3][3] + 5 * down.m[1][3], 0.0f);
  EXPECT_FLOAT_EQ(down.m[0][0], 1.0f);
  EXPECT_FLOAT_EQ(down.m[1][1], 0.0f);
  EXPECT_FLOAT_EQ(down.m[3][1], -1.0f);
  expectNear(apply({0, -1, 7}, down), {0, -1, 7});
  // A slanted directional light moves the point along its direction.
  const Matrix slant = matrixShadow({1, 1, 0, 0}, floor);
  expectNear(apply({0, 1, 0}, slant), {-2, -1, 0});
  // An unnormalised plane gives the same matrix.
  const Matrix scaled = matrixShadow({1, 1, 0, 0}, {0, 4, 0, 4});
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      EXPECT_FLOAT_EQ(scaled.m[i][j], slant.m[i][j]);
  // A point light (w = 1) projects from its position.
  const Matrix point = matrixShadow({0, 3, 0, 1}, floor);
  expectNear(apply({1, 1, 0}, point), {2, -1, 0});

  // The same plane with its normal turned away from the light: the same
  // flattened points, with w negated, so the rasteriser clips them.
  const Plane under = planeFromPoints({0, -1, 0}, {1, -1, 0}, {0, -1, 1});
  const Matrix away = matrixShadow({0, 1, 0, 0}, under);
  expectNear(apply({3, 5, -2}, away), {3, -1, -2});
  EXPECT_LT(away.m[3][3] + 5 * away.m[1][3], 0.0f);
}

TEST(Math3d, ShadowMatchesTheUtilityLibrary) {
  // Rows the Direct3D utility library gives for this light and plane.
  const Matrix m =
      matrixShadow({9.6f, 8.5f, 7.4f, 6.3f}, {-3.0f, -1.0f, 4.0f, 7.0f});
  const float want[4][4] = {
      {12.786773f, 5.0009613f, 4.3537784f, 3.7065949f},
      {1.8827150f, 8.8056154f, 1.4512594f, 1.2355317f},
      {-7.5308599f, -6.6679487f, 1.3335901f, -4.9421268f},
      {-13.179006f, -11.668910f, -10.158816f, -1.5100943f}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      EXPECT_NEAR(m.m[i][j], want[i][j], 2e-5f) << i << "," << j;
}

TEST(Math3d, ProjectionAndLookAt) {
  const Matrix projection =
      matrixPerspectiveFovLH(0.7853982f, 1.333f, 1.0f, 10000.0f);
  EXPECT_NEAR(apply({0, 0, 1}, projection).z, 0.0f, eps);
  EXPECT_NEAR(apply({0, 0, 10000}, projection).z, 1.0f, eps);
  EXPECT_NEAR(projection.m[1][1], 1.0f / std::tan(0.7853982f / 2), eps);
  EXPECT_FLOAT_EQ(projection.m[0][0], projection.m[1][1] / 1.333f);
  EXPECT_EQ(projection.m[2][3], 1.0f);
  // A point on the top edge of the field of view lands on y = 1.
  EXPECT_NEAR(apply({0, std::tan(0.7853982f / 2) * 10, 10}, projection).y, 1.0f,
              1e-5f);

  const Matrix view = matrixLookAtLH({0, 0, -5}, {0, 0, 0}, {0, 1, 0});
  expectNear(apply({0, 0, 0}, view), {0, 0, 5});
  expectNear(apply({1, 0, 0}, view), {1, 0, 5});
  const Matrix side = matrixLookAtLH({5, 0, 0}, {0, 0, 0}, {0, 1, 0});
  expectNear(apply({0, 0, 1}, side), {1, 0, 5}); // +z is to the right
  // Eye on the target: no direction, and no NaN either.
  const Matrix degenerate = matrixLookAtLH({0, 0, 0}, {0, 0, 0}, {0, 1, 0});
  for (const auto &row : degenerate.m)
    for (float v : row)
      EXPECT_FALSE(std::isnan(v));
}

TEST(Math3d, QuaternionsFollowTheD3DXOrder) {
  const float h = std::sqrt(0.5f);
  const Quaternion aboutX{h, 0, 0, h}; // a quarter turn about x
  const Quaternion aboutY{0, h, 0, h};
  const Matrix rx = matrixRotationQuaternion(aboutX);
  const Matrix expected = matrixRotationX(quarter);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      EXPECT_NEAR(rx.m[i][j], expected.m[i][j], eps);
  // The product turns by the first, then by the second.
  const Matrix both =
      matrixRotationQuaternion(quaternionMultiply(aboutX, aboutY));
  const Matrix product =
      matrixMultiply(matrixRotationX(quarter), matrixRotationY(quarter));
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      EXPECT_NEAR(both.m[i][j], product.m[i][j], eps);
  const Quaternion identity;
  const Quaternion same = quaternionMultiply(aboutX, identity);
  EXPECT_FLOAT_EQ(same.x, h);
  EXPECT_FLOAT_EQ(same.w, h);
}
