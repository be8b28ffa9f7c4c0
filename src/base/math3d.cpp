#include "base/math3d.h"

#include <cmath>

namespace korvane {

Matrix matrixIdentity() {
  Matrix out;
  for (int i = 0; i < 4; ++i)
    out.m[i][i] = 1.0f;
  return out;
}

Matrix matrixTranslation(float x, float y, float z) {
  Matrix out = matrixIdentity();
  out.m[3][0] = x;
  out.m[3][1] = y;
  out.m[3][2] = z;
  return out;
}

Matrix matrixScaling(float x, float y, float z) {
  Matrix out;
  out.m[0][0] = x;
  out.m[1][1] = y;
  out.m[2][2] = z;
  out.m[3][3] = 1.0f;
  return out;
}

Matrix matrixRotationX(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  Matrix out = matrixIdentity();
  out.m[1][1] = c;
  out.m[1][2] = s;
  out.m[2][1] = -s;
  out.m[2][2] = c;
  return out;
}

Matrix matrixRotationY(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  Matrix out = matrixIdentity();
  out.m[0][0] = c;
  out.m[0][2] = -s;
  out.m[2][0] = s;
  out.m[2][2] = c;
  return out;
}

Matrix matrixRotationZ(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  Matrix out = matrixIdentity();
  out.m[0][0] = c;
  out.m[0][1] = s;
  out.m[1][0] = -s;
  out.m[1][1] = c;
  return out;
}

Matrix matrixRotationAxis(const Vec3 &axis, float angle) {
  const Vec3 n = vec3Normalize(axis);
  const float s = std::sin(angle), c = std::cos(angle), d = 1.0f - c;
  Matrix out = matrixIdentity();
  out.m[0][0] = d * n.x * n.x + c;
  out.m[1][0] = d * n.x * n.y - s * n.z;
  out.m[2][0] = d * n.x * n.z + s * n.y;
  out.m[0][1] = d * n.y * n.x + s * n.z;
  out.m[1][1] = d * n.y * n.y + c;
  out.m[2][1] = d * n.y * n.z - s * n.x;
  out.m[0][2] = d * n.z * n.x - s * n.y;
  out.m[1][2] = d * n.z * n.y + s * n.x;
  out.m[2][2] = d * n.z * n.z + c;
  return out;
}

Matrix matrixMultiply(const Matrix &a, const Matrix &b) {
  Matrix out;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      out.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] +
                    a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
  return out;
}

Vec3 vec3Normalize(const Vec3 &v) {
  const float length = std::sqrt(vec3Dot(v, v));
  if (length == 0.0f)
    return {};
  return {v.x / length, v.y / length, v.z / length};
}

Plane planeFromPoints(const Vec3 &a, const Vec3 &b, const Vec3 &c) {
  const Vec3 n = vec3Normalize(vec3Cross(b - a, c - a));
  return {n.x, n.y, n.z, -vec3Dot(a, n)};
}

Matrix matrixShadow(const Vec4 &light, const Plane &plane) {
  const float length =
      std::sqrt(plane.a * plane.a + plane.b * plane.b + plane.c * plane.c);
  Plane p = plane;
  if (length != 0.0f)
    p = {plane.a / length, plane.b / length, plane.c / length,
         plane.d / length};
  const float dot =
      p.a * light.x + p.b * light.y + p.c * light.z + p.d * light.w;
  const float pv[4] = {p.a, p.b, p.c, p.d};
  const float lv[4] = {light.x, light.y, light.z, light.w};
  Matrix out;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      out.m[i][j] = (i == j ? dot : 0.0f) - pv[i] * lv[j];
  return out;
}

Matrix matrixPerspectiveFovLH(float fovy, float aspect, float zn, float zf) {
  const float ys = 1.0f / std::tan(fovy / 2.0f);
  Matrix out;
  out.m[0][0] = ys / aspect;
  out.m[1][1] = ys;
  out.m[2][2] = zf / (zf - zn);
  out.m[2][3] = 1.0f;
  out.m[3][2] = -zn * zf / (zf - zn);
  return out;
}

Matrix matrixLookAtLH(const Vec3 &eye, const Vec3 &at, const Vec3 &up) {
  const Vec3 z = vec3Normalize(at - eye);
  const Vec3 x = vec3Normalize(vec3Cross(up, z));
  const Vec3 y = vec3Cross(z, x);
  Matrix out;
  out.m[0][0] = x.x;
  out.m[1][0] = x.y;
  out.m[2][0] = x.z;
  out.m[0][1] = y.x;
  out.m[1][1] = y.y;
  out.m[2][1] = y.z;
  out.m[0][2] = z.x;
  out.m[1][2] = z.y;
  out.m[2][2] = z.z;
  out.m[3][0] = -vec3Dot(x, eye);
  out.m[3][1] = -vec3Dot(y, eye);
  out.m[3][2] = -vec3Dot(z, eye);
  out.m[3][3] = 1.0f;
  return out;
}

Quaternion quaternionMultiply(const Quaternion &q1, const Quaternion &q2) {
  return {q2.w * q1.x + q2.x * q1.w + q2.y * q1.z - q2.z * q1.y,
          q2.w * q1.y - q2.x * q1.z + q2.y * q1.w + q2.z * q1.x,
          q2.w * q1.z + q2.x * q1.y - q2.y * q1.x + q2.z * q1.w,
          q2.w * q1.w - q2.x * q1.x - q2.y * q1.y - q2.z * q1.z};
}

Matrix matrixRotationQuaternion(const Quaternion &q) {
  Matrix out = matrixIdentity();
  out.m[0][0] = 1.0f - 2.0f * (q.y * q.y + q.z * q.z);
  out.m[0][1] = 2.0f * (q.x * q.y + q.z * q.w);
  out.m[0][2] = 2.0f * (q.x * q.z - q.y * q.w);
  out.m[1][0] = 2.0f * (q.x * q.y - q.z * q.w);
  out.m[1][1] = 1.0f - 2.0f * (q.x * q.x + q.z * q.z);
  out.m[1][2] = 2.0f * (q.y * q.z + q.x * q.w);
  out.m[2][0] = 2.0f * (q.x * q.z + q.y * q.w);
  out.m[2][1] = 2.0f * (q.y * q.z - q.x * q.w);
  out.m[2][2] = 1.0f - 2.0f * (q.x * q.x + q.y * q.y);
  return out;
}

Vec3 vec3TransformCoord(const Vec3 &p, const Matrix &m) {
  float r[4];
  for (int j = 0; j < 4; ++j)
    r[j] = p.x * m.m[0][j] + p.y * m.m[1][j] + p.z * m.m[2][j] + m.m[3][j];
  if (r[3] == 0.0f)
    return {r[0], r[1], r[2]};
  return {r[0] / r[3], r[1] / r[3], r[2] / r[3]};
}

} // namespace korvane
