#pragma once

// Texture coordinates generated from camera-space normals, computed the
// way Direct3D 8's fixed-function pipeline computes them, for the draws
// where GL's own generation gives another result: a world x view that
// flattens space (a planar shadow), whose normals GL and Direct3D
// transform differently.

#include "base/math3d.h"
#include "device/device_state.h"

#include <cstdint>
#include <vector>

namespace korvane {

// The matrix normals are transformed with (n' = n x N): the transposed
// inverse of `modelview` by Gauss-Jordan elimination with partial pivoting;
// where a pivot is exactly zero, the transposed `modelview` itself.
Matrix normalMatrix(const Matrix &modelview);

// Whether the upper 3x3 of `modelview` is singular or nearly so.
bool flattens(const Matrix &modelview);

struct TexgenInput {
  const std::uint8_t *vertices; // position (3 floats) first
  std::uint32_t stride;
  std::uint32_t count;
  int normaloffset;      // bytes to the normal; -1 when there is none
  Matrix modelview;      // world x view
  Matrix normal;         // normalMatrix(modelview)
  bool normalize;        // D3DRS_NORMALIZENORMALS
  bool reflection;       // the reflection vector, else the normal
  const Matrix *texture; // the stage's texture transform, or null
};

// Two coordinates per vertex into `out`: the camera-space reflection
// vector (or normal) as (x, y, z, 1), through the texture transform.
void generateCoordinates(const TexgenInput &input, float *out);

// The stage's generated coordinates for `count` vertices from `vertices`
// (the stream at the first vertex drawn), as the device's state asks:
// two per vertex into `out`. `normaloffset`: bytes to the normal, or -1.
void generateStageCoordinates(const DeviceState &state, int stage,
                              const std::uint8_t *vertices, std::uint32_t count,
                              int normaloffset, std::vector<float> &out);

} // namespace korvane
