// Clipping: the near and far planes in homogeneous space for untransformed
// vertices, and the guard band for anything far outside the target. No
// vertex behind the eye or far off-screen may produce stray pixels.
#include <cmath>
#include <limits>

#include "raster_fixture.h"

namespace raster_test {
namespace {

class Clipping : public RasterTest {
 protected:
  void SetUp() override {
    RasterTest::SetUp();
    device_->SetTexture(0, nullptr);
    D3DMATRIX projection = perspective_matrix(1.5707964f, 1.3333334f, 1.0f, 100.0f);
    device_->SetTransform(D3DTS_PROJECTION, &projection);
  }
  HRESULT mesh(const std::vector<MeshVertex>& v) {
    std::vector<uint16_t> indices(v.size());
    for (size_t i = 0; i < v.size(); ++i) indices[i] = uint16_t(i);
    return draw_mesh(v, indices);
  }
};

TEST_F(Clipping, TriangleCrossingTheEyePlaneDrawsOnlyItsVisiblePart) {
  // A floor triangle at y = -1 from z = 2 back to z = -2, behind the eye.
  // With a 90 degree field of view the part in front of the near plane
  // (z = 1) spans rows 360..479 and is the quad the test clips by hand.
  count_draws();
  ASSERT_EQ(mesh({{-1, -1, 2, kOneLevel, 0, 0}, {1, -1, 2, kOneLevel, 0, 0}, {0, -1, -2, kOneLevel, 0, 0}}),
            D3D_OK);
  std::vector<uint16_t> clipped(colour_buffer());
  for (int y = 0; y < 360; ++y) {
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(draws(x, y), 0) << x << "," << y;
  }
  EXPECT_EQ(draws(320, 470), 1);
  EXPECT_EQ(draws(5, 470), 0);
  EXPECT_EQ(draws(635, 470), 0);

  count_draws();
  mesh({{-1, -1, 2, kOneLevel, 0, 0}, {1, -1, 2, kOneLevel, 0, 0}, {0.75f, -1, 1, kOneLevel, 0, 0},
        {-1, -1, 2, kOneLevel, 0, 0}, {0.75f, -1, 1, kOneLevel, 0, 0}, {-0.75f, -1, 1, kOneLevel, 0, 0}});
  EXPECT_TRUE(colour_buffer() == clipped);
}

TEST_F(Clipping, CameraInsideABoxSeesEveryPixelExactlyOnce) {
  // Twelve triangles of a cube around the eye: every view ray leaves through
  // one face; faces that reach behind the eye are cut at the near plane.
  count_draws();
  const float s = 10;
  const float corner[8][3] = {{-s, -s, -s}, {s, -s, -s}, {-s, s, -s}, {s, s, -s},
                              {-s, -s, s},  {s, -s, s},  {-s, s, s},  {s, s, s}};
  const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 4, 5}, {2, 3, 6, 7}, {0, 2, 4, 6}, {1, 3, 5, 7}};
  std::vector<MeshVertex> v;
  for (auto& f : faces) {
    auto at = [&](int i) { return MeshVertex{corner[i][0], corner[i][1], corner[i][2], kOneLevel, 0, 0}; };
    v.insert(v.end(), {at(f[0]), at(f[1]), at(f[3]), at(f[0]), at(f[3]), at(f[2])});
  }
  for (float yaw : {0.0f, 0.3f, 1.0f}) {
    D3DMATRIX view = identity_matrix();
    view._11 = std::cos(yaw), view._13 = -std::sin(yaw), view._31 = std::sin(yaw), view._33 = std::cos(yaw);
    device_->SetTransform(D3DTS_VIEW, &view);
    count_draws();
    ASSERT_EQ(mesh(v), D3D_OK);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) ASSERT_EQ(draws(x, y), 1) << "yaw " << yaw << " at " << x << "," << y;
    }
  }
}

TEST_F(Clipping, FloorCrossingTheNearPlaneHasNoCracks) {
  // A grid of quads on the floor from behind the eye to z = 20.
  std::vector<MeshVertex> v;
  for (int j = 0; j < 25; ++j) {
    for (int i = 0; i < 20; ++i) {
      float x0 = -10.0f + i, x1 = x0 + 1, z0 = -5.0f + j, z1 = z0 + 1;
      MeshVertex a{x0, -1, z0, kOneLevel, 0, 0}, b{x1, -1, z0, kOneLevel, 0, 0};
      MeshVertex c{x0, -1, z1, kOneLevel, 0, 0}, d{x1, -1, z1, kOneLevel, 0, 0};
      v.insert(v.end(), {a, b, d, a, d, c});
    }
  }
  count_draws();
  ASSERT_EQ(mesh(v), D3D_OK);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if (y >= 300) {
        ASSERT_EQ(draws(x, y), 1) << x << "," << y;
      } else {
        ASSERT_LE(draws(x, y), 1) << x << "," << y;
      }
    }
  }
}

TEST_F(Clipping, FarPlaneCutsWhatLiesBeyondIt) {
  count_draws();
  // Entirely beyond the far plane (z = 100).
  mesh({{-1, -1, 150, kOneLevel, 0, 0}, {1, -1, 150, kOneLevel, 0, 0}, {0, 1, 150, kOneLevel, 0, 0}});
  EXPECT_TRUE(std::all_of(colour_buffer().begin(), colour_buffer().end(), [](uint16_t p) { return p == 0; }));
  // A wall leaning away through the far plane keeps only its near half:
  // its top (y = 50 at z = 50) shows, its far bottom does not.
  mesh({{-200, -100, 200, kOneLevel, 0, 0}, {200, -100, 200, kOneLevel, 0, 0}, {0, 50, 50, kOneLevel, 0, 0}});
  EXPECT_EQ(draws(320, 10), 1);
  EXPECT_EQ(draws(320, 300), 0);
}

TEST_F(Clipping, PreTransformedVerticesFarOutsideDrawOnlyInsideTheTarget) {
  // A triangle reaching 10^7 pixels out: clipped to the guard band, it still
  // covers the whole target once.
  count_draws();
  ASSERT_EQ(draw_screen({{-1e7f, -1e7f, 0.5f, 1, kOneLevel, 0, 0},
                         {1e7f, -1e7f, 0.5f, 1, kOneLevel, 0, 0},
                         {0, 1e7f, 0.5f, 1, kOneLevel, 0, 0}}),
            D3D_OK);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(draws(x, y), 1);
  }
  // Half-plane: rows whose centres lie above y = 100.5.
  count_draws();
  draw_screen({{-1e5f, 100.5f, 0.5f, 1, kOneLevel, 0, 0},
               {1e5f, 100.5f, 0.5f, 1, kOneLevel, 0, 0},
               {0, -1e5f, 0.5f, 1, kOneLevel, 0, 0}});
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; x += 7) ASSERT_EQ(draws(x, y), y <= 100 ? 1 : 0) << x << "," << y;
  }
}

TEST_F(Clipping, UnusableVerticesDrawNothing) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    ScreenVertex bad;
  } cases[] = {{"NaN x", {nan, 10, 0.5f, 1, kOneLevel, 0, 0}},
               {"infinite y", {10, inf, 0.5f, 1, kOneLevel, 0, 0}},
               {"NaN z", {10, 10, nan, 1, kOneLevel, 0, 0}},
               {"RHW 0", {10, 10, 0.5f, 0, kOneLevel, 0, 0}},
               {"negative RHW", {10, 10, 0.5f, -1, kOneLevel, 0, 0}},
               {"far off-screen", {1e30f, 1e30f, 0.5f, 1, kOneLevel, 0, 0}}};
  for (const Case& c : cases) {
    count_draws();
    std::vector<ScreenVertex> v = {c.bad, {2e6f, 2e6f, 0.5f, 1, kOneLevel, 0, 0}, {2e6f, 3e6f, 0.5f, 1, kOneLevel, 0, 0}};
    EXPECT_EQ(draw_screen(v), D3D_OK) << c.name;
    EXPECT_TRUE(std::all_of(colour_buffer().begin(), colour_buffer().end(), [](uint16_t p) { return p == 0; }))
        << c.name;
  }
  // NaN texture coordinates are read as 0 rather than poisoning the triangle.
  texture(2, 2, D3DFMT_X8R8G8B8, [](int, int) { return 0xFFFFFFFF; });
  count_draws();
  draw_screen({{0, 0, 0.5f, 1, kOneLevel, nan, nan}, {8, 0, 0.5f, 1, kOneLevel, 0, 0}, {0, 8, 0.5f, 1, kOneLevel, 0, 0}});
  EXPECT_EQ(draws(1, 1), 1);
}

TEST_F(Clipping, NonFiniteTransformDrawsNothing) {
  D3DMATRIX world = identity_matrix();
  world._11 = std::numeric_limits<float>::infinity();
  device_->SetTransform(D3DTS_WORLD, &world);
  count_draws();
  EXPECT_EQ(mesh({{-1, -1, 5, kOneLevel, 0, 0}, {1, -1, 5, kOneLevel, 0, 0}, {0, 1, 5, kOneLevel, 0, 0}}), D3D_OK);
  EXPECT_TRUE(std::all_of(colour_buffer().begin(), colour_buffer().end(), [](uint16_t p) { return p == 0; }));
}

}  // namespace
}  // namespace raster_test
