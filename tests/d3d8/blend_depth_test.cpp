// The blend unit, the R5G6B5 rounding, and the depth test with its flags
// and bias.
#include <cmath>

#include "platform/d3d8/pixel_format.h"
#include "raster_fixture.h"

namespace raster_test {
namespace {

using d3d8::raster::div255;
using d3d8::raster::expand5;
using d3d8::raster::expand6;
using d3d8::raster::round_to5;
using d3d8::raster::round_to6;

TEST(PixelFormat, ShiftFormsAreExactRoundings) {
  for (uint32_t c = 0; c < 256; ++c) {
    ASSERT_EQ(round_to5(c), uint32_t(std::lround(c * 31 / 255.0))) << c;
    ASSERT_EQ(round_to6(c), uint32_t(std::lround(c * 63 / 255.0))) << c;
  }
  for (uint32_t v = 0; v < 32; ++v) ASSERT_EQ(round_to5(expand5(v)), v);
  for (uint32_t v = 0; v < 64; ++v) ASSERT_EQ(round_to6(expand6(v)), v);
  for (uint32_t x = 0; x <= 65535; ++x) ASSERT_EQ(div255(x), uint32_t(std::floor(x / 255.0 + 0.5))) << x;
}

class Blending : public RasterTest {
 protected:
  void square(uint32_t colour) {
    ASSERT_EQ(draw_screen({{0, 0, 0.5f, 1, colour, 0, 0},
                           {8, 0, 0.5f, 1, colour, 0, 0},
                           {0, 8, 0.5f, 1, colour, 0, 0},
                           {8, 8, 0.5f, 1, colour, 0, 0}},
                          D3DPT_TRIANGLESTRIP),
              D3D_OK);
  }
};

struct BlendCase {
  const char* name;
  bool enable;
  DWORD src, dst;
  uint32_t source;       // ARGB diffuse, no texture
  uint32_t destination;  // clear colour
};

const BlendCase kBlends[] = {
    {"opaque", false, D3DBLEND_ONE, D3DBLEND_ONE, 0x00336699, 0x00FFFFFF},
    {"additive", true, D3DBLEND_ONE, D3DBLEND_ONE, 0x00102030, 0x00203040},
    {"additive saturates at white", true, D3DBLEND_ONE, D3DBLEND_ONE, 0x0080C0F0, 0x00A0A0A0},
    {"modulate-2x by one half is identity", true, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR, 0x00808080, 0x00406080},
    {"modulate-2x saturates", true, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR, 0x00FFE0C0, 0x00C0C0C0},
    {"modulate-2x darkens", true, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR, 0x00402010, 0x0080FF80},
    {"source alpha", true, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0x40FF8000, 0x000080FF},
    {"modulate", true, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 0x0080FF40, 0x00FFFFFF},
    {"inverse source colour", true, D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR, 0x00204080, 0x00FFFFFF},
    {"inverse destination colour", true, D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, 0x00FFFFFF, 0x00204080},
    {"destination only", true, D3DBLEND_ZERO, D3DBLEND_ONE, 0x00FFFFFF, 0x00204080},
};

double factor(DWORD kind, double s, double sa, double d) {
  switch (kind) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 1;
    case D3DBLEND_SRCCOLOR: return s / 255;
    case D3DBLEND_INVSRCCOLOR: return 1 - s / 255;
    case D3DBLEND_SRCALPHA: return sa / 255;
    case D3DBLEND_INVSRCALPHA: return 1 - sa / 255;
    case D3DBLEND_DESTCOLOR: return d / 255;
    case D3DBLEND_INVDESTCOLOR: return 1 - d / 255;
  }
  return -1;
}

TEST_F(Blending, EachModeOnKnownColours) {
  device_->SetTexture(0, nullptr);
  for (const BlendCase& c : kBlends) {
    clear(c.destination);
    const uint16_t d565 = pixel(0, 0);
    const double d[3] = {double(expand5(d565 >> 11)), double(expand6((d565 >> 5) & 63)),
                         double(expand5(d565 & 31))};
    state(D3DRS_ALPHABLENDENABLE, c.enable);
    state(D3DRS_SRCBLEND, c.src);
    state(D3DRS_DESTBLEND, c.dst);
    square(c.source);
    const double sa = c.source >> 24;
    int level[3];
    for (int k = 0; k < 3; ++k) {
      double s = (c.source >> (16 - 8 * k)) & 0xFF;
      double out = c.enable ? std::min(255.0, std::round(s * factor(c.src, s, sa, d[k]) +
                                                         d[k] * factor(c.dst, s, sa, d[k])))
                            : s;
      level[k] = int(std::lround(out * (k == 1 ? 63 : 31) / 255));
    }
    EXPECT_EQ(pixel(3, 3), rgb565(level[0], level[1], level[2])) << c.name;
  }
}

TEST_F(Blending, BlendOffKeepsTheFactorsForTheNextBlend) {
  device_->SetTexture(0, nullptr);
  clear(0x00404040);
  state(D3DRS_ALPHABLENDENABLE, TRUE);
  state(D3DRS_SRCBLEND, D3DBLEND_ONE);
  state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  state(D3DRS_ALPHABLENDENABLE, FALSE);
  square(0x00404040);
  const uint16_t opaque = pixel(3, 3);
  state(D3DRS_ALPHABLENDENABLE, TRUE);
  square(0x00404040);
  EXPECT_EQ(opaque, rgb565(8, 16, 8));
  EXPECT_EQ(pixel(3, 3), rgb565(16, 32, 16));
}

struct DepthCase {
  const char* name;
  bool enable, write;
  DWORD func;
  float stored, fragment;
  bool drawn;
  float stored_after;
};

const DepthCase kDepth[] = {
    {"nearer passes LESSEQUAL", true, true, D3DCMP_LESSEQUAL, 1.0f, 0.5f, true, 0.5f},
    {"farther fails LESSEQUAL", true, true, D3DCMP_LESSEQUAL, 0.25f, 0.5f, false, 0.25f},
    {"equal passes LESSEQUAL", true, true, D3DCMP_LESSEQUAL, 0.5f, 0.5f, true, 0.5f},
    {"equal fails LESS", true, true, D3DCMP_LESS, 0.5f, 0.5f, false, 0.5f},
    {"farther passes GREATER", true, true, D3DCMP_GREATER, 0.25f, 0.5f, true, 0.5f},
    {"equal passes EQUAL", true, true, D3DCMP_EQUAL, 0.5f, 0.5f, true, 0.5f},
    {"unequal passes NOTEQUAL", true, true, D3DCMP_NOTEQUAL, 0.25f, 0.5f, true, 0.5f},
    {"equal passes GREATEREQUAL", true, true, D3DCMP_GREATEREQUAL, 0.5f, 0.5f, true, 0.5f},
    {"NEVER draws nothing", true, true, D3DCMP_NEVER, 1.0f, 0.5f, false, 1.0f},
    {"ALWAYS draws behind", true, true, D3DCMP_ALWAYS, 0.25f, 0.5f, true, 0.5f},
    {"depth off draws behind and writes nothing", false, true, D3DCMP_LESSEQUAL, 0.25f, 0.5f, true, 0.25f},
    {"write off tests but keeps the depth", true, false, D3DCMP_LESSEQUAL, 1.0f, 0.5f, true, 1.0f},
};

TEST_F(Blending, DepthTestAndWriteFlags) {
  device_->SetTexture(0, nullptr);
  auto depth_of = [](float z) { return uint16_t(z * 65535.0f + 0.5f); };
  for (const DepthCase& c : kDepth) {
    clear(0, c.stored);
    state(D3DRS_ZENABLE, c.enable ? D3DZB_TRUE : D3DZB_FALSE);
    state(D3DRS_ZWRITEENABLE, c.write);
    state(D3DRS_ZFUNC, c.func);
    ASSERT_EQ(draw_screen({{0, 0, c.fragment, 1, 0xFFFFFFFF, 0, 0},
                           {8, 0, c.fragment, 1, 0xFFFFFFFF, 0, 0},
                           {0, 8, c.fragment, 1, 0xFFFFFFFF, 0, 0}}),
              D3D_OK);
    EXPECT_EQ(pixel(2, 2) == 0xFFFF, c.drawn) << c.name;
    EXPECT_EQ(depth(2, 2), depth_of(c.stored_after)) << c.name;
  }
}

TEST_F(Blending, LayerPassesOnlyWhereTheDepthIsStillCleared) {
  device_->SetTexture(0, nullptr);
  clear(0);
  draw_screen({{100, 100, 0.5f, 1, 0x000000FF, 0, 0},
               {200, 100, 0.5f, 1, 0x000000FF, 0, 0},
               {100, 200, 0.5f, 1, 0x000000FF, 0, 0}});
  draw_layer(0x00FF0000);
  EXPECT_EQ(pixel(110, 110), rgb565(0, 0, 31));
  EXPECT_EQ(pixel(300, 300), rgb565(31, 0, 0));
  EXPECT_EQ(depth(300, 300), 65534);  // 0.99999 just in front of the cleared 65535
  draw_layer(0x0000FF00);             // equal depth passes LESSEQUAL
  EXPECT_EQ(pixel(300, 300), rgb565(0, 63, 0));
}

class DepthBias : public RasterTest {
 protected:
  // The same two triangles through the untransformed path, at depth z.
  void surface(uint32_t colour, float z_offset = 0) {
    std::vector<MeshVertex> v = {{-1, 1, 2 + z_offset, colour, 0, 0},
                                 {1, 1, 2.5f + z_offset, colour, 0, 0},
                                 {-1, -1, 2.5f + z_offset, colour, 0, 0},
                                 {1, -1, 3 + z_offset, colour, 0, 0}};
    ASSERT_EQ(draw_mesh(v, {0, 1, 2, 2, 1, 3}), D3D_OK);
  }
  void SetUp() override {
    RasterTest::SetUp();
    device_->SetTexture(0, nullptr);
    D3DMATRIX projection = perspective_matrix(0.7853982f, 1.3333334f, 1.0f, 100.0f);
    device_->SetTransform(D3DTS_PROJECTION, &projection);
  }
  int count(uint16_t colour) {
    return int(std::count(colour_buffer().begin(), colour_buffer().end(), colour));
  }
};

TEST_F(DepthBias, Bias15WinsOverTheSameSurface) {
  struct Case {
    DWORD func;
    DWORD bias;
    bool second_wins;
  } cases[] = {{D3DCMP_LESS, 0, false}, {D3DCMP_LESS, 15, true}, {D3DCMP_LESS, 1, true},
               {D3DCMP_LESSEQUAL, 15, true}};
  for (const Case& c : cases) {
    clear(0);
    state(D3DRS_ZFUNC, c.func);
    state(D3DRS_ZBIAS, 0);
    surface(0x00FF0000);
    const int covered = count(rgb565(31, 0, 0));
    ASSERT_GT(covered, 10000);
    state(D3DRS_ZBIAS, c.bias);
    surface(0x0000FF00);
    EXPECT_EQ(count(rgb565(0, 63, 0)), c.second_wins ? covered : 0) << c.func << " bias " << c.bias;
  }
}

TEST_F(DepthBias, BiasCountsDepthStepsUpTo16) {
  // A pre-transformed surface k depth steps behind one already drawn: a
  // bias of b lets it through when k <= b; a bias above 16 acts as 16.
  struct Case {
    DWORD bias;
    int steps_behind;
    bool wins;
  } cases[] = {{15, 15, true}, {15, 16, false}, {16, 16, true}, {1000, 16, true}, {1000, 17, false},
               {0xFFFFFFFF, 17, false}};
  for (const Case& c : cases) {
    clear(0);
    state(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    state(D3DRS_ZBIAS, 0);
    const float z = 32768.0f / 65535.0f;
    draw_screen({{0, 0, z, 1, 0x00FF0000, 0, 0}, {8, 0, z, 1, 0x00FF0000, 0, 0}, {0, 8, z, 1, 0x00FF0000, 0, 0}});
    ASSERT_EQ(depth(1, 1), 32768);
    state(D3DRS_ZBIAS, c.bias);
    const float behind = (32768.0f + c.steps_behind) / 65535.0f;
    draw_screen({{0, 0, behind, 1, 0x0000FF00, 0, 0},
                 {8, 0, behind, 1, 0x0000FF00, 0, 0},
                 {0, 8, behind, 1, 0x0000FF00, 0, 0}});
    EXPECT_EQ(pixel(1, 1) == rgb565(0, 63, 0), c.wins) << "bias " << c.bias << ", " << c.steps_behind;
  }
}

}  // namespace
}  // namespace raster_test
