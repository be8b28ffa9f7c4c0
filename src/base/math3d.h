#pragma once

// Vectors, planes, quaternions and 4x4 matrices in Direct3D's conventions:
// row vectors (a point p is transformed as p x M, translation in the fourth
// row), left-handed rotations, products in the D3DX helpers' order. The
// device and every renderer use these and no other matrix code.

namespace korvane {

struct Vec3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct Vec4 {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
};

// a*x + b*y + c*z + d = 0
struct Plane {
  float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
};

// (x, y, z) the vector part, w the scalar part.
struct Quaternion {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};

struct Matrix {
  float m[4][4] = {};
  bool operator==(const Matrix &) const = default;
};

// I
Matrix matrixIdentity();
// I with row 4 = (x, y, z, 1)
Matrix matrixTranslation(float x, float y, float z);
// diag(x, y, z, 1)
Matrix matrixScaling(float x, float y, float z);
// rows (1 0 0), (0 c s), (0 -s c): y turns towards z
Matrix matrixRotationX(float angle);
// rows (c 0 -s), (0 1 0), (s 0 c): z turns towards x
Matrix matrixRotationY(float angle);
// rows (c s 0), (-s c 0), (0 0 1): x turns towards y
Matrix matrixRotationZ(float angle);
// n = axis/|axis|: m[i][j] = (1-c) n_i n_j + c d_ij + s e_ijk n_k (the signs of
// matrixRotationX for n = x)
Matrix matrixRotationAxis(const Vec3 &axis, float angle);
// out[i][j] = sum_k a[i][k] b[k][j]: applying `out` applies a, then b
Matrix matrixMultiply(const Matrix &a, const Matrix &b);
// v / |v|, the zero vector for a zero vector
Vec3 vec3Normalize(const Vec3 &v);
// n = normalize((b - a) x (c - a)), plane (n, -a.n)
Plane planeFromPoints(const Vec3 &a, const Vec3 &b, const Vec3 &c);
// P = plane / |(a,b,c)|, d = P.L: m[i][j] = d d_ij - P_i L_j; w = 0 makes
// L a direction. Flattened points keep a positive w only where the plane's
// normal faces the light; elsewhere they are clipped.
Matrix matrixShadow(const Vec4 &light, const Plane &plane);
// ys = cot(fovy/2), xs = ys/aspect: rows (xs 0 0 0), (0 ys 0 0),
// (0 0 zf/(zf-zn) 1), (0 0 -zn zf/(zf-zn) 0)
Matrix matrixPerspectiveFovLH(float fovy, float aspect, float zn, float zf);
// z = normalize(at - eye), x = normalize(up x z), y = z x x: columns x, y, z,
// row 4 = (-x.eye, -y.eye, -z.eye, 1)
Matrix matrixLookAtLH(const Vec3 &eye, const Vec3 &at, const Vec3 &up);
// q2 q1 (Hamilton): the rotation of q1 followed by that of q2
Quaternion quaternionMultiply(const Quaternion &q1, const Quaternion &q2);
// rows (1-2(yy+zz), 2(xy+zw), 2(xz-yw)), (2(xy-zw), 1-2(xx+zz), 2(yz+xw)),
// (2(xz+yw), 2(yz-xw), 1-2(xx+yy))
Matrix matrixRotationQuaternion(const Quaternion &q);
// p x M with w = 1, then divided by the resulting w
Vec3 vec3TransformCoord(const Vec3 &p, const Matrix &m);

inline Vec3 operator+(const Vec3 &a, const Vec3 &b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(const Vec3 &a, const Vec3 &b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
// a . b
inline float vec3Dot(const Vec3 &a, const Vec3 &b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
// (a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x)
inline Vec3 vec3Cross(const Vec3 &a, const Vec3 &b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

} // namespace korvane
