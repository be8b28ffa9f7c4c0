#include "animation/layer_transform.h"
#include "script_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korvane;
using korvane::test::layerScript;
using korvane::test::parseBoth;

namespace {

void expectNear(const Vec3 &a, const Vec3 &b, float tolerance = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

void expectMatrixNear(const Matrix &a, const Matrix &b,
                      float tolerance = 1e-5f) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << i << "," << j;
}

} // namespace

TEST(SampleTrack, InsideAndOutsideTheKeys) {
  const std::int32_t times[] = {0, 1000, 2000};
  const float values[][3] = {{0, 0, 0}, {10, 0, 0}, {10, 4, -8}};
  EXPECT_FLOAT_EQ(sampleTrack(times, values, 3, 250).x, 2.5f);
  EXPECT_FLOAT_EQ(sampleTrack(times, values, 3, 1000).x, 10.0f);
  // Exactly as the single-precision steps give it, rounding included.
  const float inv = 1.0f / 1000.0f;
  EXPECT_EQ(sampleTrack(times, values, 3, 1000).x, (10.0f * inv) * 1000.0f);
  EXPECT_EQ(sampleTrack(times, values, 3, 1333).y,
            0.0f + ((4.0f - 0.0f) * inv) * 333.0f);
  EXPECT_EQ(sampleTrack(times, values, 3, 1333).z,
            0.0f + ((-8.0f - 0.0f) * inv) * 333.0f);
  // At or before the first key, and past the last one.
  EXPECT_EQ(sampleTrack(times, values, 3, 0).x, 0.0f);
  expectNear(sampleTrack(times, values, 3, 2000), {10, 4, -8});
  expectNear(sampleTrack(times, values, 3, 999999), {10, 4, -8});
  // Only two keys counted: the third is never read.
  expectNear(sampleTrack(times, values, 2, 5000), {10, 0, 0});
  const std::int32_t late[] = {500, 600};
  expectNear(sampleTrack(late, values, 2, 100), {0, 0, 0});
  expectNear(sampleTrack(times, values, 0, 100), {0, 0, 0});
  // Equal key times are stepped over, never divided by.
  const std::int32_t same[] = {0, 100, 100, 200};
  const float steps[][3] = {{0, 0, 0}, {1, 0, 0}, {5, 0, 0}, {7, 0, 0}};
  EXPECT_EQ(sampleTrack(same, steps, 4, 100).x, 1.0f);
  EXPECT_FLOAT_EQ(sampleTrack(same, steps, 4, 150).x, 6.0f);
  // Negative key times lie before every part time.
  const std::int32_t early[] = {-1000, 1000};
  EXPECT_FLOAT_EQ(sampleTrack(early, values, 2, 0).x, 5.0f);
}

TEST(SampleColorTrack, ChannelsTruncateBetweenKeys) {
  const std::int32_t times[] = {0, 1000, 2000};
  const std::uint32_t colors[] = {0xFF000000u, 0xFFFF0000u, 0xFFFF0000u};
  EXPECT_EQ(sampleColorTrack(times, colors, 3, 500), 0xFF7F0000u);
  EXPECT_EQ(sampleColorTrack(times, colors, 3, 1000), 0xFFFF0000u);
  EXPECT_EQ(sampleColorTrack(times, colors, 3, 0), 0xFF000000u);
  EXPECT_EQ(sampleColorTrack(times, colors, 3, 5000), 0xFFFF0000u);
  // Falling channels truncate towards zero, towards the first key.
  const std::uint32_t fade[] = {0x80FF4000u, 0x00000001u};
  const std::int32_t span[] = {100, 300};
  EXPECT_EQ(sampleColorTrack(span, fade, 2, 200), 0x40802000u);
  EXPECT_EQ(sampleColorTrack(span, fade, 2, 299), 0x01020100u);
  EXPECT_EQ(sampleColorTrack(span, fade, 2, 50), 0x80FF4000u);
  EXPECT_EQ(sampleColorTrack(span, fade, 0, 50), 0u);
}

TEST(LayerTransform, SettingsAloneAndTheSpin) {
  auto still = parseBoth(layerScript("position 1 2 3 scale 2 2 2"));
  const Matrix placed = buildLayerTransform(still.layer(0, 0), 12345);
  expectNear(vec3TransformCoord({1, 0, 0}, placed), {3, 2, 3});

  // No scale and no keys: the layer collapses to its position.
  auto collapsed = parseBoth(layerScript("position 1 2 3"));
  expectNear(vec3TransformCoord({5, 6, 7},
                                buildLayerTransform(collapsed.layer(0, 0), 0)),
             {1, 2, 3});

  // Two radians per second about y.
  auto spinning = parseBoth(layerScript("rotation 0 2 0 scale 1 1 1"));
  const Layer &layer = spinning.layer(0, 0);
  expectMatrixNear(buildLayerTransform(layer, 1000), matrixRotationY(2.0f));
  expectMatrixNear(buildLayerTransform(layer, 500), matrixRotationY(1.0f));
  expectMatrixNear(buildLayerTransform(layer, 0), matrixIdentity());
}

TEST(LayerTransform, CompositionOrder) {
  // rotationadd turns about z first, then y, then x; then the spin, the
  // scale and the move.
  auto parsed =
      parseBoth(layerScript("rotationadd 0 90 90 scale 1 2 1 position 0 0 10"));
  const Matrix m = buildLayerTransform(parsed.layer(0, 0), 0);
  // x -z-> y -y-> y -> scaled by 2 -> moved.
  expectNear(vec3TransformCoord({1, 0, 0}, m), {0, 2, 10});
  // z -z-> z -y-> x -> moved.
  expectNear(vec3TransformCoord({0, 0, 1}, m), {1, 0, 10});

  auto spun = parseBoth(layerScript("rotation 0 0 3.14159265 rotationadd 90 "
                                    "0 0 scale 1 1 1"));
  // y -x-> z, then half a turn about z leaves z where it is; x turns to -x.
  const Matrix half = buildLayerTransform(spun.layer(0, 0), 1000);
  expectNear(vec3TransformCoord({0, 1, 0}, half), {0, 0, 1});
  expectNear(vec3TransformCoord({1, 0, 0}, half), {-1, 0, 0});
  const Matrix expected =
      matrixMultiply(matrixMultiply(matrixRotationX(1.5707963f * 1.0000000f),
                                    matrixRotationAxis({0, 0, 1}, 3.14159265f)),
                     matrixScaling(1, 1, 1));
  expectMatrixNear(half, expected);
}

TEST(LayerTransform, TimelineChannels) {
  auto parsed = parseBoth(layerScript(
      "rotation 1 0 0 <timeline> 0 position 0 0 0 1000 position 10 0 0 "
      "0 scale 1 1 1 0 rotation 0 0 0 1000 rotation 0 0 0 </timeline>"));
  const Layer &layer = parsed.layer(0, 0);
  const Matrix at250 = buildLayerTransform(layer, 250);
  expectNear(vec3TransformCoord({0, 0, 0}, at250), {2.5f, 0, 0});
  // Zero spin keys with a non-zero setting: no spin, no NaN.
  expectNear(vec3TransformCoord({0, 1, 0}, at250), {2.5f, 1, 0});
  for (const auto &row : at250.m)
    for (float v : row)
      EXPECT_FALSE(std::isnan(v));
  const LayerSample sample = sampleLayer(layer, 1000);
  expectNear(sample.position, {10, 0, 0});
  EXPECT_EQ(sample.color, 0xFFFFFFFFu);

  // A zero rotation setting never spins, whatever the keys say.
  auto keysOnly = parseBoth(
      layerScript("scale 1 1 1 <timeline> 0 rotation 0 5 0 9000 rotation 0 5 0 "
                  "</timeline>"));
  expectMatrixNear(buildLayerTransform(keysOnly.layer(0, 0), 4000),
                   matrixIdentity());

  // A second timeline leaves the flags over no keys: the settings hold.
  auto replaced = parseBoth(layerScript(
      "position 7 7 7 scale 1 1 1 <timeline> 0 position 1 1 1 </timeline> "
      "<timeline> 0 color 1 2 3 4 </timeline>"));
  expectNear(sampleLayer(replaced.layer(0, 0), 10).position, {7, 7, 7});
  EXPECT_EQ(sampleLayer(replaced.layer(0, 0), 10).color, 0x04010203u);
}

TEST(LayerTransform, ShadowPasses) {
  auto parsed = parseBoth(layerScript(
      "type XFILE scale 1 1 1 position 0 2 0 "
      "<shadow> plane_a 0 -1 0 plane_b 0 -1 1 plane_c 1 -1 0 light 0 1 0 "
      "</shadow> <shadow> plane_a 0 0 5 plane_b 1 0 5 plane_c 0 1 5 "
      "light 0 0 1 </shadow>"));
  Layer &layer = parsed.show->parts[0].layers[0];
  expectNear(vec3TransformCoord({1, 0, 3}, buildLayerTransform(layer, 0)),
             {1, 2, 3});
  expectNear(vec3TransformCoord({1, 0, 3}, buildLayerTransform(layer, 0, 1)),
             {1, -1, 3});
  expectNear(vec3TransformCoord({1, 0, 3}, buildLayerTransform(layer, 0, 2)),
             {1, 2, 5});
  // No such slot: the normal draw.
  expectNear(vec3TransformCoord({1, 0, 3}, buildLayerTransform(layer, 0, 3)),
             {1, 2, 3});
}
