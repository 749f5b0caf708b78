// The matrix helpers and the transforms the cameras set on the device.
#include <cmath>

#include "mesh/mesh.h"
#include "mesh_test_util.h"

namespace {

using mesh::Vec3;

Vec3 transform(const Vec3& p, const D3DMATRIX& m) {
  return {p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41,
          p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
          p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43};
}

D3DMATRIX numbered(float start) {
  D3DMATRIX m;
  for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = start + static_cast<float>(i) * 0.5f - static_cast<float>(i % 3);
  return m;
}

// Compares to the 7 significant digits the expectations are given in.
void expect_rows(const D3DMATRIX& m, const float (&rows)[16]) {
  for (int i = 0; i < 16; ++i) {
    const float want = rows[i];
    EXPECT_NEAR(m.m[i / 4][i % 4], want, 6e-7f * std::fabs(want) + 1e-9f)
        << "_" << (i / 4 + 1) << (i % 4 + 1);
  }
}

TEST(Matrices, ProductIntoEitherInputEqualsProductIntoAThirdMatrix) {
  const D3DMATRIX a = numbered(1.0f);
  const D3DMATRIX b = numbered(-3.25f);
  D3DMATRIX ab, aa;
  mesh::MultiplyMatrices(&ab, &a, &b);
  mesh::MultiplyMatrices(&aa, &a, &a);
  EXPECT_EQ(ab._11, a._11 * b._11 + a._12 * b._21 + a._13 * b._31 + a._14 * b._41);

  struct Case {
    const char* name;
    bool out_is_m1, out_is_m2;
  };
  for (const Case& c : {Case{"out = m1", true, false}, Case{"out = m2", false, true},
                        Case{"out = m1 = m2", true, true}}) {
    SCOPED_TRACE(c.name);
    D3DMATRIX x = a;
    D3DMATRIX y = c.out_is_m1 && c.out_is_m2 ? a : b;
    D3DMATRIX* m1 = &x;
    D3DMATRIX* m2 = c.out_is_m1 && c.out_is_m2 ? &x : &y;
    D3DMATRIX* out = c.out_is_m1 ? m1 : m2;
    mesh::MultiplyMatrices(out, m1, m2);
    const D3DMATRIX& want = c.out_is_m1 && c.out_is_m2 ? aa : ab;
    EXPECT_EQ(std::memcmp(out, &want, sizeof want), 0);
  }
}

TEST(Matrices, RotationsCarryTheUnitAxesTheDocumentedWay) {
  constexpr float kHalfPi = 1.5707964f;
  D3DMATRIX m;
  mesh::BuildRotationY(&m, kHalfPi);
  Vec3 p = transform({1, 0, 0}, m);
  EXPECT_NEAR(p.x, 0, 1e-7);
  EXPECT_EQ(p.y, 0);
  EXPECT_NEAR(p.z, -1, 1e-7);
  mesh::BuildRotationX(&m, kHalfPi);
  p = transform({0, 1, 0}, m);
  EXPECT_EQ(p.x, 0);
  EXPECT_NEAR(p.y, 0, 1e-7);
  EXPECT_NEAR(p.z, 1, 1e-7);
  EXPECT_EQ(m._44, 1.0f);
}

TEST(Matrices, WorldRotationTurnsAboutYFirstThenX) {
  mesh_test::ensure_device();
  D3DMATRIX world;
  mesh::SetWorldRotation(0, 0);
  ASSERT_GE(shell::Device->GetTransform(D3DTS_WORLD, &world), 0);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(&world, identity, sizeof identity), 0);

  // y first takes (1,0,0) to (0,0,-1); x then to (0,1,0). The other order
  // would leave (0,0,-1).
  mesh::SetWorldRotation(1.5707964f, 1.5707964f);
  ASSERT_GE(shell::Device->GetTransform(D3DTS_WORLD, &world), 0);
  const Vec3 p = transform({1, 0, 0}, world);
  EXPECT_NEAR(p.x, 0, 1e-6);
  EXPECT_NEAR(p.y, 1, 1e-6);
  EXPECT_NEAR(p.z, 0, 1e-6);
}

TEST(Matrices, FixedCameraSetsTheDocumentedViewAndProjection) {
  mesh_test::ensure_device();
  mesh::SetFixedCamera();
  D3DMATRIX view, projection;
  ASSERT_GE(shell::Device->GetTransform(D3DTS_VIEW, &view), 0);
  ASSERT_GE(shell::Device->GetTransform(D3DTS_PROJECTION, &projection), 0);
  expect_rows(view, {-0.9968153f, 0.02000672f, 0.07719477f, 0, 0, 0.9680174f, -0.250883f, 0,
                     -0.07974523f, -0.250084f, -0.9649345f, 0, 0.3987261f, 1.25042f, 4.824673f, 1});
  expect_rows(projection,
              {1.8106600f, 0, 0, 0, 0, 2.4142134f, 0, 0, 0, 0, 1.0101010f, 1, 0, 0, -1.0101010f, 0});
  // Depth runs from 0 at the near plane to 1 at the far one.
  for (float distance : {1.0f, 100.0f}) {
    const Vec3 p = transform({0, 0, distance}, projection);
    EXPECT_NEAR(p.z / distance, distance == 1.0f ? 0.0f : 1.0f, 1e-6);
  }
}

TEST(Matrices, DegenerateLookAtGivesZeroAxesNotNaN) {
  struct Case {
    const char* name;
    Vec3 eye, at, up;
    bool z_zero;
  };
  const Case cases[] = {
      {"eye equal to at", {1, 2, 3}, {1, 2, 3}, {0, 1, 0}, true},
      {"up along the view", {0, 0, 0}, {0, 5, 0}, {0, 1, 0}, false},
      {"no up", {0, 0, -5}, {0, 0, 0}, {0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    D3DMATRIX m;
    mesh::BuildLookAtMatrix(&m, c.eye, c.at, c.up);
    for (int row = 0; row < 4; ++row) {
      for (int col = 0; col < 4; ++col) EXPECT_FALSE(std::isnan(m.m[row][col]));
    }
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(m.m[row][0], 0.0f);  // x axis
      EXPECT_EQ(m.m[row][1], 0.0f);  // y axis
    }
    if (c.z_zero) {
      const float bottom[4] = {m._41, m._42, m._43, m._44};
      EXPECT_EQ(bottom[0], 0.0f);
      EXPECT_EQ(bottom[1], 0.0f);
      EXPECT_EQ(bottom[2], 0.0f);
      EXPECT_EQ(bottom[3], 1.0f);
      EXPECT_EQ(m._33, 0.0f);
    } else {
      EXPECT_NEAR(std::fabs(m._13) + std::fabs(m._23) + std::fabs(m._33), 1.0f, 1e-6);
    }
  }
}

TEST(Matrices, NearlyUnitDirectionIsUsedUnchanged) {
  // Squared length 1.000008: within 1e-5 of 1, so not divided.
  D3DMATRIX m;
  mesh::BuildLookAtMatrix(&m, {0, 0, 0}, {0, 0, 1.000004f}, {0, 1, 0});
  EXPECT_EQ(m._33, 1.000004f);
  // Squared length 1.0002: normalised.
  mesh::BuildLookAtMatrix(&m, {0, 0, 0}, {0, 0, 1.0001f}, {0, 1, 0});
  EXPECT_EQ(m._33, 1.0f);
}

}  // namespace
