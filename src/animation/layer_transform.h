#pragma once

#include "base/math3d.h"
#include "script/show.h"

#include <cstdint>

namespace korvane {

// Value of a three-float channel at part time t (ms): linear between the
// last key before t and the first key at or after it. Stays inside the
// `count` keys: at or before the first key its value, after the last key
// the last value; no keys give zero.
Vec3 sampleTrack(const std::int32_t *times, const float (*values)[3], int count,
                 std::uint32_t t);

// Colour at part time t: each ARGB channel moves from the last key at or
// before t towards the next one, truncated. Before the first key its
// colour, at or after the last key the last colour; no keys give 0.
std::uint32_t sampleColorTrack(const std::int32_t *times,
                               const std::uint32_t *values, int count,
                               std::uint32_t t);

// The layer's channels at part time t: from its timeline where it has keys,
// otherwise its settings.
struct LayerSample {
  Vec3 position;
  Vec3 scale;
  Vec3 rotation;
  std::uint32_t color = 0;
};
LayerSample sampleLayer(const Layer &layer, std::uint32_t t);
// The layer's colour at part time t: its colour keys, otherwise `color`.
std::uint32_t layerColor(const Layer &layer, std::uint32_t t);

// The layer's whole matrix at part time t:
// Rz x Ry x Rx (rotationadd) x spin x scale x translation, and for shadow
// pass n >= 1 the flattening onto shadow slot n-1's plane after it.
Matrix buildLayerTransform(const Layer &layer, std::uint32_t t, int pass = 0);

} // namespace korvane
