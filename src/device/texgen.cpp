#include "device/texgen.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace korvane {
namespace {

// [A | I] reduced to [I | A^-1]; false where a pivot is exactly zero.
bool invert(const Matrix &a, Matrix &inverse) {
  float rows[4][8];
  float *r[4];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      rows[i][j] = a.m[i][j];
      rows[i][4 + j] = i == j ? 1.0f : 0.0f;
    }
    r[i] = rows[i];
  }
  for (int col = 0; col < 4; ++col) {
    // One pass from the bottom brings the largest magnitude up.
    for (int k = 3; k > col; --k)
      if (std::fabs(r[k][col]) > std::fabs(r[k - 1][col]))
        std::swap(r[k], r[k - 1]);
    if (r[col][col] == 0.0f)
      return false;
    for (int k = col + 1; k < 4; ++k) {
      const float m = r[k][col] / r[col][col];
      for (int c = col + 1; c < 8; ++c)
        if (c < 4 || r[col][c] != 0.0f)
          r[k][c] -= m * r[col][c];
    }
  }
  for (int col = 3; col >= 0; --col) {
    const float s = 1.0f / r[col][col];
    for (int c = 4; c < 8; ++c)
      r[col][c] *= s;
    for (int k = 0; k < col; ++k)
      for (int c = 4; c < 8; ++c)
        r[k][c] -= r[col][c] * r[k][col];
  }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      inverse.m[i][j] = r[i][4 + j];
  return true;
}

} // namespace

Matrix normalMatrix(const Matrix &modelview) {
  Matrix source;
  if (!invert(modelview, source))
    source = modelview;
  Matrix out = matrixIdentity();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      out.m[i][j] = source.m[j][i];
  return out;
}

bool flattens(const Matrix &m) {
  const float(&a)[4][4] = m.m;
  const double det =
      double(a[0][0]) *
          (double(a[1][1]) * a[2][2] - double(a[1][2]) * a[2][1]) -
      double(a[0][1]) *
          (double(a[1][0]) * a[2][2] - double(a[1][2]) * a[2][0]) +
      double(a[0][2]) * (double(a[1][0]) * a[2][1] - double(a[1][1]) * a[2][0]);
  double scale = 1.0;
  for (int i = 0; i < 3; ++i)
    scale *= std::sqrt(double(a[i][0]) * a[i][0] + double(a[i][1]) * a[i][1] +
                       double(a[i][2]) * a[i][2]);
  return std::fabs(det) <= 1e-6 * scale;
}

void generateCoordinates(const TexgenInput &in, float *out) {
  const Matrix &mv = in.modelview;
  const Matrix &nm = in.normal;
  for (std::uint32_t v = 0; v < in.count; ++v) {
    const std::uint8_t *vertex = in.vertices + std::size_t(v) * in.stride;
    float p[3], n[3] = {0.0f, 0.0f, 0.0f};
    std::memcpy(p, vertex, sizeof p);
    if (in.normaloffset >= 0)
      std::memcpy(n, vertex + in.normaloffset, sizeof n);
    float e[4], normal[3];
    for (int j = 0; j < 4; ++j)
      e[j] = p[0] * mv.m[0][j] + p[1] * mv.m[1][j] + p[2] * mv.m[2][j] +
             mv.m[3][j];
    for (int j = 0; j < 3; ++j)
      normal[j] = n[0] * nm.m[0][j] + n[1] * nm.m[1][j] + n[2] * nm.m[2][j];
    if (in.normalize) {
      // A normal that the transform took to zero has no direction: it
      // becomes NaN (0 times the infinite inverse length), as the vertex
      // pipeline of Wine's Direct3D 8 makes it, and so does every
      // coordinate generated from it.
      const float length =
          std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] +
                    normal[2] * normal[2]);
      for (float &c : normal)
        c = length > 0.0f ? c / length
                          : std::numeric_limits<float>::quiet_NaN();
    }
    float g[3] = {normal[0], normal[1], normal[2]};
    if (in.reflection) {
      // The eye-space position, divided by its w, towards the vertex.
      float u[3] = {e[0] / e[3], e[1] / e[3], e[2] / e[3]};
      const float length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
      if (length > 0.0f)
        for (float &c : u)
          c /= length;
      const float d = normal[0] * u[0] + normal[1] * u[1] + normal[2] * u[2];
      for (int j = 0; j < 3; ++j)
        g[j] = u[j] - 2.0f * d * normal[j];
    }
    float *uv = out + 2 * std::size_t(v);
    if (in.texture) {
      const Matrix &t = *in.texture;
      for (int j = 0; j < 2; ++j)
        uv[j] =
            g[0] * t.m[0][j] + g[1] * t.m[1][j] + g[2] * t.m[2][j] + t.m[3][j];
    } else {
      uv[0] = g[0];
      uv[1] = g[1];
    }
  }
}

void generateStageCoordinates(const DeviceState &state, int stage,
                              const std::uint8_t *vertices, std::uint32_t count,
                              int normaloffset, std::vector<float> &out) {
  const std::uint32_t *ts = state.stagestate[stage];
  TexgenInput input;
  input.vertices = vertices;
  input.stride = state.stride;
  input.count = count;
  input.normaloffset = normaloffset;
  input.modelview = matrixMultiply(state.world, state.view);
  input.normal = normalMatrix(input.modelview);
  input.normalize = state.renderstate[D3DRS_NORMALIZENORMALS] != 0;
  input.reflection = (ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u) ==
                     D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR;
  input.texture = ts[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE
                      ? &state.texturetransform[stage]
                      : nullptr;
  out.resize(std::size_t(count) * 2);
  generateCoordinates(input, out.data());
}

} // namespace korvane
