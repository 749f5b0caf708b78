// Drawing larger than the program asks and in 32-bit colour: the raster
// rules hold at the target's own size, the program's picture lands where
// it did, N times larger, and 32 bits keep what 16 bits round away.
#include <cmath>
#include <set>

#include "raster_fixture.h"

namespace raster_test {
namespace {

class Scaled : public RasterTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    target_.scale = GetParam();
    RasterTest::SetUp();
  }
};

TEST_P(Scaled, TheTargetIsThePicturesSizeTimesTheScale) {
  const int n = GetParam();
  EXPECT_EQ(width(), 640 * n);
  EXPECT_EQ(height(), 480 * n);
  const win32::Frame frame = d3d8::back_buffer_frame(device_);
  EXPECT_EQ(frame.width, 640 * n);
  EXPECT_EQ(frame.height, 480 * n);
  EXPECT_EQ(frame.pitch_bytes, 640 * n * 2);
}

// The layer's right and bottom edges lie on the program's last pixel
// centres, 639 and 479: scaled, they leave the last N columns and rows.
TEST_P(Scaled, LayerCoversItsScaledRectangleOnce) {
  const int n = GetParam();
  count_draws();
  draw_layer(kOneLevel);
  int wrong = 0;
  for (int y = 0; y < height(); ++y) {
    for (int x = 0; x < width(); ++x) {
      const int expected = x < 639 * n && y < 479 * n ? 1 : 0;
      wrong += draws(x, y) != expected;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_P(Scaled, SharedEdgesOfAJitteredMeshAreNeitherMissedNorDrawnTwice) {
  const int n = GetParam();
  for (unsigned seed : {1u, 2u}) {
    count_draws();
    ASSERT_EQ(draw_screen(jittered_grid(kOneLevel, seed)), D3D_OK);
    for (int y = 30 * n; y <= 310 * n; ++y) {
      for (int x = 30 * n; x <= 310 * n; ++x) ASSERT_EQ(draws(x, y), 1) << "seed " << seed << " at " << x << "," << y;
    }
  }
}

// Transformed vertices go through a viewport of the target's size: from
// inside a box every target pixel sees exactly one face.
TEST_P(Scaled, CameraInsideABoxSeesEveryPixelOnce) {
  D3DMATRIX projection = perspective_matrix(1.5707964f, 1.3333334f, 1.0f, 100.0f);
  device_->SetTransform(D3DTS_PROJECTION, &projection);
  D3DMATRIX view = identity_matrix();
  view._11 = std::cos(0.3f), view._13 = -std::sin(0.3f), view._31 = std::sin(0.3f), view._33 = std::cos(0.3f);
  device_->SetTransform(D3DTS_VIEW, &view);
  device_->SetTexture(0, nullptr);
  const float s = 10;
  const float corner[8][3] = {{-s, -s, -s}, {s, -s, -s}, {-s, s, -s}, {s, s, -s},
                              {-s, -s, s},  {s, -s, s},  {-s, s, s},  {s, s, s}};
  const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 4, 5}, {2, 3, 6, 7}, {0, 2, 4, 6}, {1, 3, 5, 7}};
  std::vector<MeshVertex> v;
  std::vector<uint16_t> indices;
  for (auto& f : faces) {
    auto at = [&](int i) { return MeshVertex{corner[i][0], corner[i][1], corner[i][2], kOneLevel, 0, 0}; };
    v.insert(v.end(), {at(f[0]), at(f[1]), at(f[3]), at(f[0]), at(f[3]), at(f[2])});
  }
  for (size_t i = 0; i < v.size(); ++i) indices.push_back(uint16_t(i));
  count_draws();
  ASSERT_EQ(draw_mesh(v, indices), D3D_OK);
  int wrong = 0;
  for (int y = 0; y < height(); ++y) {
    for (int x = 0; x < width(); ++x) wrong += draws(x, y) != 1;
  }
  EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, Scaled, ::testing::Values(1, 2, 3));

// The demo's kinds of drawing: bilinear layers, depth-tested perspective
// triangles with a biased decal over them, Gouraud triangles; inside the
// guard band. Pre-transformed corners lie on sixteenths of a pixel, where
// positions snap to anyway; `mesh` adds a sphere through the transform,
// whose projected corners do not.
void draw_scene(RasterTest& t, IDirect3DDevice8* device, bool mesh) {
  t.texture(64, 64, D3DFMT_R5G6B5, [](int x, int y) { return uint32_t((x * 7) << 11 | ((x ^ y) * 3) << 5 | (y >> 1)); });
  t.clear(0x00203040);
  t.state(D3DRS_ZENABLE, FALSE);
  t.state(D3DRS_ALPHABLENDENABLE, FALSE);
  t.draw_layer(0xFFFFFFFF);
  t.state(D3DRS_ALPHABLENDENABLE, TRUE);
  t.state(D3DRS_SRCBLEND, D3DBLEND_ONE);
  t.state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  auto shifted = layer_strip(0x50505050);
  for (auto& v : shifted) v.u += 0.37f, v.v -= 0.21f;
  t.draw_screen(shifted, D3DPT_TRIANGLESTRIP);
  t.state(D3DRS_ALPHABLENDENABLE, FALSE);
  t.state(D3DRS_ZENABLE, TRUE);
  const std::vector<ScreenVertex> slanted = {
      {40.0625f, 300.5f, 0.2f, 1.0f, 0xFFFFFFFF, 0, 0},     {600.25f, 250.875f, 0.7f, 0.25f, 0xFFFFFFFF, 5, 0},
      {80.5f, 470.125f, 0.3f, 0.8f, 0xFFFFFFFF, 0, 4},      {610.75f, 20.3125f, 0.9f, 0.3f, 0xFFFFFFFF, 6, 3},
      {300.4375f, 460.0f, 0.1f, 0.9f, 0xFFFFFFFF, 1, 5},    {20.8125f, 30.5f, 0.5f, 0.6f, 0xFFFFFFFF, -2, -1}};
  t.draw_screen(slanted);
  t.state(D3DRS_ZBIAS, 8);
  t.state(D3DRS_ZFUNC, D3DCMP_LESS);
  t.state(D3DRS_ALPHABLENDENABLE, TRUE);
  t.state(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR);
  t.state(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
  t.draw_screen(slanted);
  t.state(D3DRS_ZBIAS, 0);
  t.state(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  if (mesh) {
    D3DMATRIX projection = perspective_matrix(0.7853982f, 1.3333334f, 1.0f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DMATRIX world = identity_matrix();
    world._11 = 0.8f, world._13 = -0.6f, world._31 = 0.6f, world._33 = 0.8f, world._43 = 4;
    device->SetTransform(D3DTS_WORLD, &world);
    t.state(D3DRS_ALPHABLENDENABLE, FALSE);
    std::vector<MeshVertex> v;
    std::vector<uint16_t> indices;
    for (int j = 0; j <= 16; ++j) {
      for (int i = 0; i <= 16; ++i) {
        float a = i / 16.0f * 6.2831853f, b = j / 16.0f * 3.1415927f;
        v.push_back({std::cos(a) * std::sin(b) * 2, std::cos(b) * 2, std::sin(a) * std::sin(b) * 2, 0x00FFFFFF,
                     i / 8.0f, j / 8.0f});
      }
    }
    for (int j = 0; j < 16; ++j) {
      for (int i = 0; i < 16; ++i) {
        uint16_t a = uint16_t(j * 17 + i);
        indices.insert(indices.end(), {a, uint16_t(a + 1), uint16_t(a + 17), uint16_t(a + 1), uint16_t(a + 18), uint16_t(a + 17)});
      }
    }
    t.draw_mesh(v, indices);
  }
  t.state(D3DRS_ZENABLE, FALSE);
  device->SetTexture(0, nullptr);
  t.state(D3DRS_ALPHABLENDENABLE, TRUE);
  t.state(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  t.state(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  t.draw_screen({{100.3125f, 50.75f, 0.5f, 1, 0x80FF0000, 0, 0},
                 {520.625f, 130.1875f, 0.5f, 1, 0x4000FF00, 0, 0},
                 {260.0625f, 430.875f, 0.5f, 1, 0xC00000FF, 0, 0}});
}

// The scene at scale 1, then at the test's scale, on a fresh device.
class PowerOfTwoScale : public RasterTest, public ::testing::WithParamInterface<int> {
 protected:
  void draw_both(bool mesh) {
    draw_scene(*this, device_, mesh);
    one_ = colour_buffer();
    one_depth_ = depth_buffer();
    TearDown();
    target_.scale = GetParam();
    SetUp();
    draw_scene(*this, device_, mesh);
  }
  std::vector<uint16_t> one_, one_depth_;
};

// Every value a pixel's centre gets is the same at the program's pixel
// centre (x, y) and at the target's (Nx, Ny) for N a power of two:
// positions on sixteenths, planes and texture coordinates scale exactly.
// So those pixels are the scale-1 picture, byte for byte, on every path:
// a misplaced row, a texel off by half, a depth bias scaled as if it were
// a distance shows here.
TEST_P(PowerOfTwoScale, EveryNthPixelIsTheScaleOnePicture) {
  draw_both(false);
  const int n = GetParam();
  int wrong = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const size_t at = size_t(y) * 640 + x;
      if (pixel(n * x, n * y) == one_[at] && depth(n * x, n * y) == one_depth_[at]) continue;
      EXPECT_LT(wrong++, 3) << "at " << x << "," << y << ": " << std::hex << pixel(n * x, n * y) << "/"
                            << depth(n * x, n * y) << " where scale 1 has " << one_[at] << "/" << one_depth_[at];
    }
  }
  EXPECT_EQ(wrong, 0);
  // And the pixels between are drawn: the picture is not just spread out.
  std::set<uint16_t> odd;
  for (int x = 1; x < width(); x += 2) odd.insert(pixel(x, 301));
  EXPECT_GT(odd.size(), 100u);
}

// Projected corners snap to sixteenths of the target's pixels, finer than
// the program's: the viewport is right when the mesh lands within a level
// or two of the scale-1 picture almost everywhere.
TEST_P(PowerOfTwoScale, TheViewportPlacesAMeshWhereScaleOneDoes) {
  draw_both(true);
  const int n = GetParam();
  int far = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const uint16_t a = pixel(n * x, n * y), b = one_[size_t(y) * 640 + x];
      const int dr = std::abs((a >> 11) - (b >> 11)), dg = std::abs(((a >> 5) & 63) - ((b >> 5) & 63)),
                db = std::abs((a & 31) - (b & 31));
      far += std::max({dr, dg / 2, db}) > 2;
    }
  }
  EXPECT_LT(far, 640 * 480 / 200) << "more than half a percent of the pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Scales, PowerOfTwoScale, ::testing::Values(2, 4));

class Colour32 : public RasterTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    target_.colour_bits = GetParam();
    RasterTest::SetUp();
  }
  // The picture's green channel along row y, as the frame widens it.
  std::vector<int> green_row(int y) {
    const win32::Frame frame = d3d8::back_buffer_frame(device_);
    std::vector<uint8_t> rgb(size_t(frame.width) * 3);
    win32::row_to_rgb888(frame, y, rgb.data());
    std::vector<int> green;
    for (int x = 0; x < frame.width; ++x) green.push_back(rgb[3 * x + 1]);
    return green;
  }
};

// A faint gradient added twice: 16 bits hold at most 64 greens (6 bits),
// rounded after each pass; 32 bits keep every level the sums reach.
TEST_P(Colour32, AnAdditiveGradientKeepsTheLevelsOfTheDepth) {
  device_->SetTexture(0, nullptr);
  clear(0);
  state(D3DRS_ZENABLE, FALSE);
  state(D3DRS_ALPHABLENDENABLE, TRUE);
  state(D3DRS_SRCBLEND, D3DBLEND_ONE);
  state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  const std::vector<ScreenVertex> gradient = {{0, 0, 0.5f, 1, 0xFF000000, 0, 0}, {640, 0, 0.5f, 1, 0xFF007F00, 0, 0},
                                              {0, 480, 0.5f, 1, 0xFF000000, 0, 0}, {640, 480, 0.5f, 1, 0xFF007F00, 0, 0}};
  draw_screen(gradient, D3DPT_TRIANGLESTRIP);
  draw_screen(gradient, D3DPT_TRIANGLESTRIP);
  const std::vector<int> green = green_row(240);
  const std::set<int> levels(green.begin(), green.end());
  if (GetParam() == 16) {
    EXPECT_LE(levels.size(), 64u);
  } else {
    EXPECT_GT(levels.size(), 64u);
    // Twice an exact 8-bit value: nothing rounds through 6 bits.
    for (int g : green) EXPECT_EQ(g % 2, 0);
  }
  EXPECT_GE(*levels.rbegin(), 250);
}

TEST_P(Colour32, ClearsAndOpaqueDrawsKeepEveryBit) {
  if (GetParam() != 32) GTEST_SKIP() << "16-bit pixels round to 5/6/5 by design";
  device_->SetTexture(0, nullptr);
  clear(0x00123456);
  EXPECT_EQ(pixel_xrgb(5, 5), 0x123456u);
  state(D3DRS_ZENABLE, FALSE);
  state(D3DRS_ALPHABLENDENABLE, TRUE);
  state(D3DRS_SRCBLEND, D3DBLEND_ONE);
  state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  draw_layer(0x00010203);
  EXPECT_EQ(pixel_xrgb(5, 5), 0x133659u);
  state(D3DRS_ALPHABLENDENABLE, FALSE);
  draw_layer(0x00ABCDEF);
  EXPECT_EQ(pixel_xrgb(100, 100), 0xABCDEFu);
  EXPECT_EQ(pixel_xrgb(639, 479), 0x123456u);  // the layers leave the last column and row
}

// Bands on several threads write 32-bit pixels in the same order as one.
TEST_P(Colour32, AnyNumberOfThreadsGivesTheSameBytes) {
  auto run = [&](int threads) {
    d3d8::raster_options.threads = threads;
    draw_scene(*this, device_, true);
    d3d8::finish_drawing(device_);
    d3d8::raster_options = {};
    const win32::Frame frame = d3d8::back_buffer_frame(device_);
    std::vector<uint8_t> rgb(size_t(frame.width) * frame.height * 3);
    win32::frame_to_rgb888(frame, rgb.data());
    return rgb;
  };
  const auto one = run(1);
  EXPECT_TRUE(run(3) == one);
}

INSTANTIATE_TEST_SUITE_P(Depths, Colour32, ::testing::Values(16, 32));

}  // namespace
}  // namespace raster_test
