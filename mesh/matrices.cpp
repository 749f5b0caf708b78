// The matrix helpers and the two transforms built on them: the world
// rotation the mesh scenes set before drawing, and the headless scene's
// fixed camera. Row vectors, left-handed, D3DMATRIX layout (_ij: row i,
// column j), as Direct3D 8's fixed-function pipeline takes them.
#include <cmath>

#include "mesh/mesh.h"
#include "shell/shell.h"

namespace mesh {

namespace {

D3DMATRIX identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

// Trigonometry in double, rounded once to float.
float cos_f(float a) { return static_cast<float>(std::cos(static_cast<double>(a))); }
float sin_f(float a) { return static_cast<float>(std::sin(static_cast<double>(a))); }

Vec3 subtract(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A vector already of unit length (within 1e-5 in its square) is kept as it
// is; one too short to have a direction becomes zero instead of being
// divided by (nearly) nothing, which is what makes a degenerate look-at
// give zero axes.
Vec3 normalise(const Vec3& v) {
  constexpr float kUnitTolerance = 0.00001f;
  constexpr float kShortest = 9.9999994e-11f;  // the float nearest 1e-10
  const float d = dot(v, v);
  if (std::fabs(d - 1.0f) <= kUnitTolerance) return v;
  if (d <= kShortest) return {0.0f, 0.0f, 0.0f};
  const float length = std::sqrt(d);
  return {v.x / length, v.y / length, v.z / length};
}

}  // namespace

void MultiplyMatrices(D3DMATRIX* out, const D3DMATRIX* m1, const D3DMATRIX* m2) {
  // Both inputs are read in full before anything is written: `out` may be
  // either of them, or both.
  D3DMATRIX product;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      product.m[i][j] = m1->m[i][0] * m2->m[0][j] + m1->m[i][1] * m2->m[1][j] +
                        m1->m[i][2] * m2->m[2][j] + m1->m[i][3] * m2->m[3][j];
    }
  }
  *out = product;
}

void BuildRotationX(D3DMATRIX* out, float angle) {
  const float c = cos_f(angle);
  const float s = sin_f(angle);
  *out = identity();
  out->_22 = c;
  out->_23 = s;
  out->_32 = -s;
  out->_33 = c;
}

void BuildRotationY(D3DMATRIX* out, float angle) {
  const float c = cos_f(angle);
  const float s = sin_f(angle);
  *out = identity();
  out->_11 = c;
  out->_13 = -s;
  out->_31 = s;
  out->_33 = c;
}

void BuildLookAtMatrix(D3DMATRIX* out, const Vec3& eye, const Vec3& at, const Vec3& up) {
  const Vec3 z = normalise(subtract(at, eye));
  const Vec3 x = normalise(cross(up, z));
  const Vec3 y = cross(z, x);
  *out = D3DMATRIX{};
  out->_11 = x.x;
  out->_12 = y.x;
  out->_13 = z.x;
  out->_21 = x.y;
  out->_22 = y.y;
  out->_23 = z.y;
  out->_31 = x.z;
  out->_32 = y.z;
  out->_33 = z.z;
  out->_41 = -dot(x, eye);
  out->_42 = -dot(y, eye);
  out->_43 = -dot(z, eye);
  out->_44 = 1.0f;
}

void BuildPerspectiveMatrix(D3DMATRIX* out, float fovY, float aspect, float zn, float zf) {
  const float h = fovY / 2.0f;
  const float y_scale = cos_f(h) / sin_f(h);
  const float x_scale = y_scale / aspect;
  const float q = zf / (zf - zn);
  *out = D3DMATRIX{};
  out->_11 = x_scale;
  out->_22 = y_scale;
  out->_33 = q;
  out->_34 = 1.0f;
  out->_43 = -q * zn;
}

void SetWorldRotation(float yAngle, float xAngle) {
  if (shell::Device == nullptr) return;
  D3DMATRIX about_y;
  D3DMATRIX about_x;
  D3DMATRIX world;
  BuildRotationY(&about_y, yAngle);
  BuildRotationX(&about_x, xAngle);
  MultiplyMatrices(&world, &about_y, &about_x);
  shell::Device->SetTransform(D3DTS_WORLD, &world);
}

void SetFixedCamera() {
  if (shell::Device == nullptr) return;
  D3DMATRIX view;
  BuildLookAtMatrix(&view, Vec3{0.0f, 0.0f, 5.0f}, Vec3{0.4f, -1.3f, 0.0f},
                    Vec3{0.0f, 1.0f, 0.0f});
  shell::Device->SetTransform(D3DTS_VIEW, &view);
  D3DMATRIX projection;
  BuildPerspectiveMatrix(&projection, kCameraFovY, kCameraAspect, kCameraNear, kCameraFar);
  shell::Device->SetTransform(D3DTS_PROJECTION, &projection);
}

}  // namespace mesh
