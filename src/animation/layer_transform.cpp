#include "animation/layer_transform.h"

#include <cmath>

namespace korvane {
namespace {

Vec3 toVec3(const float (&v)[3]) { return {v[0], v[1], v[2]}; }

Vec3 channel(bool haskeys, const TripleTrack &track, const float (&setting)[3],
             std::uint32_t t) {
  // A second timeline block leaves a flag set over an empty channel; the
  // setting is all there is then.
  if (haskeys && track.usable())
    return sampleTrack(track.times.get(), track.values.get(), track.count, t);
  return toVec3(setting);
}

// Position, scale and spin at t; the colour is left at the setting.
LayerSample sampleMotion(const Layer &layer, std::uint32_t t) {
  const bool timeline = layer.hastimeline != 0;
  LayerSample out;
  out.position = channel(timeline && layer.haspositionkeys, layer.positionkeys,
                         layer.position, t);
  out.scale =
      channel(timeline && layer.hasscalekeys, layer.scalekeys, layer.scale, t);
  out.rotation = channel(timeline && layer.hasrotationkeys, layer.rotationkeys,
                         layer.rotation, t);
  out.color = layer.color;
  return out;
}

} // namespace

Vec3 sampleTrack(const std::int32_t *times, const float (*values)[3], int count,
                 std::uint32_t t) {
  if (count <= 0)
    return {};
  const std::int64_t time = t;
  if (time <= times[0])
    return toVec3(values[0]);
  int k = 1;
  while (k < count && times[k] < time)
    ++k;
  if (k == count)
    return toVec3(values[count - 1]);

  const std::int64_t t0 = times[k - 1], t1 = times[k];
  const float *a = values[k - 1];
  const float *b = values[k];
  if (t1 == t0) // cannot happen for t0 < t <= t1; kept as a guard
    return toVec3(values[k]);
  const float inv = 1.0f / static_cast<float>(t1 - t0);
  const float f = static_cast<float>(time - t0);
  return {a[0] + ((b[0] - a[0]) * inv) * f, a[1] + ((b[1] - a[1]) * inv) * f,
          a[2] + ((b[2] - a[2]) * inv) * f};
}

std::uint32_t sampleColorTrack(const std::int32_t *times,
                               const std::uint32_t *values, int count,
                               std::uint32_t t) {
  if (count <= 0)
    return 0;
  const std::int64_t time = t;
  if (times[0] > time)
    return values[0];
  int k = 1;
  while (k < count && times[k] <= time)
    ++k;
  if (k == count)
    return values[count - 1];

  const std::uint32_t c0 = values[k - 1], c1 = values[k];
  const std::int64_t t0 = times[k - 1], t1 = times[k];
  const float f = static_cast<float>(time - t0) / static_cast<float>(t1 - t0);
  std::uint32_t out = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const int from = static_cast<int>((c0 >> shift) & 0xFFu);
    const int to = static_cast<int>((c1 >> shift) & 0xFFu);
    const int d = static_cast<int>(static_cast<float>(to - from) * f);
    out |= static_cast<std::uint32_t>(from + d) << shift;
  }
  return out;
}

std::uint32_t layerColor(const Layer &layer, std::uint32_t t) {
  if (layer.hastimeline && layer.hascolorkeys && layer.colorkeys.usable())
    return sampleColorTrack(layer.colorkeys.times.get(),
                            layer.colorkeys.values.get(), layer.colorkeys.count,
                            t);
  return layer.color;
}

LayerSample sampleLayer(const Layer &layer, std::uint32_t t) {
  LayerSample out = sampleMotion(layer, t);
  out.color = layerColor(layer, t);
  return out;
}

Matrix buildLayerTransform(const Layer &layer, std::uint32_t t, int pass) {
  const LayerSample sample = sampleMotion(layer, t);
  const Vec3 &p = sample.position, &s = sample.scale, &r = sample.rotation;

  const Matrix translation = matrixTranslation(p.x, p.y, p.z);
  const float speed = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
  const float angle = speed * static_cast<float>(t) * 0.001f;
  const Matrix scaling = matrixScaling(s.x, s.y, s.z);

  Matrix m = matrixIdentity();
  m = matrixMultiply(translation, m);
  m = matrixMultiply(scaling, m);
  // The static setting decides whether the layer spins at all; a zero spin
  // vector from the keys has no axis and gives no spin either.
  const Vec3 setting = toVec3(layer.rotation);
  if (std::sqrt(vec3Dot(setting, setting)) != 0.0f && speed != 0.0f)
    m = matrixMultiply(matrixRotationAxis(vec3Normalize(r), angle), m);
  m = matrixMultiply(matrixRotationX(layer.rotationadd[0]), m);
  m = matrixMultiply(matrixRotationY(layer.rotationadd[1]), m);
  m = matrixMultiply(matrixRotationZ(layer.rotationadd[2]), m);

  if (pass >= 1 && pass <= maxShadows) {
    const int slot = pass - 1;
    const Shadow &shadow = layer.shadows[slot];
    const Plane plane = planeFromPoints(
        toVec3(shadow.plane_a), toVec3(shadow.plane_b), toVec3(shadow.plane_c));
    const Vec4 light = {shadow.light[0], shadow.light[1], shadow.light[2],
                        0.0f};
    m = matrixMultiply(m, matrixShadow(light, plane));
  }
  return m;
}

} // namespace korvane
