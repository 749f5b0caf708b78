// Texturing on stage 0: coordinates, point and bilinear filtering with texel
// centres at half-texel offsets, wrapping, the modulate operation and the
// texture formats.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/d3d8/texture_sampler.h"
#include "raster_fixture.h"

namespace raster_test {
namespace {

uint32_t widen5(uint32_t v) { return v << 3 | v >> 2; }
uint32_t widen6(uint32_t v) { return v << 2 | v >> 4; }

// The expected back-buffer value of an 8-bit colour, rounded to nearest.
uint16_t expected565(double r, double g, double b) {
  auto level = [](double c, int max) { return int(std::lround(c * max / 255.0)); };
  return rgb565(level(r, 31), level(g, 63), level(b, 31));
}

class Texturing : public RasterTest {
 protected:
  // An axis-aligned quad from (x0, y0) to (x1, y1) with coordinates from
  // (u0, v0) to (u1, v1), white diffuse.
  void quad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
            uint32_t colour = 0xFFFFFFFF) {
    ASSERT_EQ(draw_screen({{x0, y0, 0.5f, 1, colour, u0, v0},
                           {x1, y0, 0.5f, 1, colour, u1, v0},
                           {x0, y1, 0.5f, 1, colour, u0, v1},
                           {x1, y1, 0.5f, 1, colour, u1, v1}},
                          D3DPT_TRIANGLESTRIP),
              D3D_OK);
  }
  void filter(DWORD f) {
    stage(D3DTSS_MINFILTER, f);
    stage(D3DTSS_MAGFILTER, f);
  }
};

TEST_F(Texturing, LayerShowsTheTopLeftNineTenthsOfItsTexture) {
  // Texel (i, j) holds red level i and green level 2j: the picture says
  // which texel each pixel took.
  texture(32, 32, D3DFMT_X8R8G8B8,
          [](int x, int y) { return widen5(x) << 16 | widen6(2 * y) << 8; });
  filter(D3DTEXF_POINT);
  clear(0);
  draw_layer(0xFFFFFFFF);
  int checked = 0;
  for (int y = 0; y < 479; ++y) {
    for (int x = 0; x < 639; ++x) {
      double s = 0.9 * x / 639 * 32, t = 0.9 * y / 479 * 32;
      // Centres within rounding of a texel boundary may go either way.
      if (s - std::floor(s) < 0.01 || s - std::floor(s) > 0.99 || t - std::floor(t) < 0.01 ||
          t - std::floor(t) > 0.99) {
        continue;
      }
      ASSERT_EQ(pixel(x, y), rgb565(int(s), 2 * int(t), 0)) << x << "," << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 250000);
  EXPECT_EQ(pixel(638, 478), rgb565(28, 56, 0));  // 0.9 * 638/639 of 32 texels: texel 28
}

// A 4x4 texture over an 8x8 quad whose pixel centres fall on texel centres
// (even columns and rows) and halfway between them (odd ones).
struct Bilinear : Texturing {
  static constexpr int kSize = 4;
  uint32_t texels[kSize][kSize];
  void SetUp() override {
    Texturing::SetUp();
    std::mt19937 rng(7);
    for (auto& row : texels) {
      for (auto& t : row) t = 0xFF000000u | (rng() & 0xFFFFFF);
    }
    texture(kSize, kSize, D3DFMT_X8R8G8B8, [&](int x, int y) { return texels[y][x]; });
    filter(D3DTEXF_LINEAR);
    clear(0);
  }
  double channel(int i, int j, int shift) {
    return (texels[j % kSize][i % kSize] >> shift) & 0xFF;
  }
  void draw_offset(float offset) {
    quad(0, 0, 8, 8, 0.125f + offset, 0.125f + offset, 1.125f + offset, 1.125f + offset);
  }
  // Weights are exactly 0 or 1/2 here; the filter's one rounding is halves up.
  uint16_t expected(int x, int y) {
    double c[3];
    for (int k = 0; k < 3; ++k) {
      int shift = 16 - 8 * k;
      int i = x / 2, j = y / 2;
      double sum;
      if (x % 2 == 0 && y % 2 == 0) {
        sum = channel(i, j, shift);
      } else if (y % 2 == 0) {
        sum = std::floor((channel(i, j, shift) + channel(i + 1, j, shift) + 1) / 2);
      } else if (x % 2 == 0) {
        sum = std::floor((channel(i, j, shift) + channel(i, j + 1, shift) + 1) / 2);
      } else {
        sum = std::floor((channel(i, j, shift) + channel(i + 1, j, shift) + channel(i, j + 1, shift) +
                          channel(i + 1, j + 1, shift) + 2) / 4);
      }
      c[k] = sum;
    }
    return expected565(c[0], c[1], c[2]);
  }
};

TEST_F(Bilinear, ValuesAtTexelCentresAndHalfwayBetween) {
  draw_offset(0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(pixel(x, y), expected(x, y)) << x << "," << y;
  }
}

TEST_F(Bilinear, WrapRepeatsNegativeAndFarCoordinates) {
  draw_offset(0);
  std::vector<uint16_t> reference(colour_buffer());
  // Column 7 and row 7 already blend across the wrap (texel 3 with texel 0).
  for (float offset : {-1.0f, -3.0f, -1000.0f, 1000.0f, 1048576.0f, -1048576.0f}) {
    clear(0);
    draw_offset(offset);
    EXPECT_TRUE(colour_buffer() == reference) << "offset " << offset;
  }
}

// Triangle setup brings far and negative coordinates near 0 by whole
// periods of the address mode (two units for a mirror, none for a clamp)
// before its planes are rounded to float. One frame of every pair of modes
// with coordinates near 0, negative, far, beyond int32 and beyond 2^64
// pins those shifts: a change to them changes this hash. Regenerate only
// on purpose (TUULI_PRINT_RASTER_HASH=1 prints it).
TEST_F(Texturing, FarCoordinatesUnderEveryAddressModeArePinned) {
  std::mt19937 rng(8);
  texture(16, 16, D3DFMT_R5G6B5, [&](int, int) { return rng() & 0xFFFF; });
  filter(D3DTEXF_LINEAR);
  const DWORD modes[] = {D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP};
  const float bases[] = {0.3f, -2.7f, 1e5f + 0.25f, -3e9f, 5e10f, -1e20f};
  int cell = 0;
  for (DWORD mode_u : modes) {
    for (DWORD mode_v : modes) {
      stage(D3DTSS_ADDRESSU, mode_u);
      stage(D3DTSS_ADDRESSV, mode_v);
      for (float base : bases) {
        const float x = float(cell % 8) * 80, y = float(cell / 8) * 68;
        ++cell;
        const float far = base + std::fabs(base) * 1e-7f + 1.7f;
        ASSERT_EQ(draw_screen({{x + 2, y + 3, 0.5f, 1.0f, 0xFFFFFFFF, base, -base},
                               {x + 77, y + 9, 0.5f, 0.4f, 0xFFFFFFFF, far, -base},
                               {x + 11, y + 65, 0.5f, 0.7f, 0xFFFFFFFF, base, -far}}),
                  D3D_OK);
      }
    }
  }
  uint64_t hash = 1469598103934665603ull;
  for (uint16_t p : colour_buffer()) hash = (hash ^ p) * 1099511628211ull;
  if (std::getenv("TUULI_PRINT_RASTER_HASH") != nullptr) std::printf("addressing hash %016llx\n", (unsigned long long)hash);
  EXPECT_EQ(hash, 0x196babc965a2ac5bull);
}

TEST_F(Texturing, TexelsDrawnOneToOneComeBackUnchanged) {
  std::mt19937 rng(3);
  std::vector<uint16_t> texels(64 * 64);
  for (auto& t : texels) t = static_cast<uint16_t>(rng());
  texture(64, 64, D3DFMT_R5G6B5, [&](int x, int y) { return texels[y * 64 + x]; });
  for (DWORD f : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
    filter(f);
    clear(0);
    // Pixel centres on texel centres.
    quad(-0.5f, -0.5f, 63.5f, 63.5f, 0, 0, 1, 1);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) ASSERT_EQ(pixel(x, y), texels[y * 64 + x]) << f << ": " << x << "," << y;
    }
  }
}

TEST_F(Texturing, DiffuseModulatesTheTexture) {
  struct Case {
    uint32_t texel;
    uint32_t diffuse;
  } cases[] = {
      {0xFFFFFFFF, 0x00000000},  // grey layer 0: black
      {0xFF123456, 0xFFFFFFFF},  // white layer: unchanged
      {0xFF123456, 0xC8C8C8C8},  // grey layer 200
      {0xFFFF8040, 0x80808080},
      {0xFF808080, 0x00FF0000},  // mesh colours carry alpha 0: colour is RGB only
  };
  for (const Case& c : cases) {
    texture(1, 1, D3DFMT_X8R8G8B8, [&](int, int) { return c.texel; });
    clear(0);
    quad(0, 0, 4, 4, 0, 0, 1, 1, c.diffuse);
    double r = std::round(((c.texel >> 16) & 0xFF) * ((c.diffuse >> 16) & 0xFF) / 255.0);
    double g = std::round(((c.texel >> 8) & 0xFF) * ((c.diffuse >> 8) & 0xFF) / 255.0);
    double b = std::round((c.texel & 0xFF) * (c.diffuse & 0xFF) / 255.0);
    EXPECT_EQ(pixel(1, 1), expected565(r, g, b)) << std::hex << c.texel << " x " << c.diffuse;
  }
}

TEST_F(Texturing, WithoutATextureTheDiffuseColourIsDrawn) {
  device_->SetTexture(0, nullptr);
  clear(0);
  quad(0, 0, 4, 4, 0, 0, 1, 1, 0x00336699);
  EXPECT_EQ(pixel(1, 1), expected565(0x33, 0x66, 0x99));
}

TEST_F(Texturing, TextureAlphaFeedsTheAlphaBlendFactors) {
  // ALPHAOP SELECTARG1 of the texture: A8R8G8B8 carries it, the other
  // formats are opaque.
  struct Case {
    D3DFORMAT format;
    uint32_t texel;
    double alpha;
  } cases[] = {{D3DFMT_A8R8G8B8, 0x40FF0000, 0x40}, {D3DFMT_X8R8G8B8, 0x40FF0000, 255},
               {D3DFMT_R5G6B5, 0xF800, 255}};
  for (const Case& c : cases) {
    texture(1, 1, c.format, [&](int, int) { return c.texel; });
    clear(0x000000FF);
    state(D3DRS_ALPHABLENDENABLE, TRUE);
    state(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    state(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    quad(0, 0, 4, 4, 0, 0, 1, 1);
    double a = c.alpha;
    EXPECT_EQ(pixel(1, 1), expected565(std::round(255 * a / 255), 0, std::round(255 * (255 - a) / 255)))
        << c.format;
  }
}

TEST_F(Texturing, MagnificationAndMinificationUseTheirOwnFilters) {
  // 2x2 black and white checks.
  texture(2, 2, D3DFMT_X8R8G8B8, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFF : 0xFF000000; });
  auto distinct_values = [&](int x0, int y0, int size) {
    std::vector<uint16_t> seen;
    for (int y = y0; y < y0 + size; ++y) {
      for (int x = x0; x < x0 + size; ++x) {
        if (std::find(seen.begin(), seen.end(), pixel(x, y)) == seen.end()) seen.push_back(pixel(x, y));
      }
    }
    return seen.size();
  };
  // Magnified 32 times: point gives two values, bilinear a ramp.
  stage(D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  stage(D3DTSS_MAGFILTER, D3DTEXF_POINT);
  clear(0);
  quad(0, 0, 64, 64, 0, 0, 1, 1);
  EXPECT_EQ(distinct_values(0, 0, 64), 2u);
  stage(D3DTSS_MINFILTER, D3DTEXF_POINT);
  stage(D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  clear(0);
  quad(0, 0, 64, 64, 0, 0, 1, 1);
  EXPECT_GT(distinct_values(0, 0, 64), 10u);
  // Minified, 1.5 texels a pixel: point still gives only black and white,
  // bilinear also the greys between.
  stage(D3DTSS_MINFILTER, D3DTEXF_POINT);
  clear(0);
  quad(0, 0, 16, 16, 0.25f, 0.25f, 12.25f, 12.25f);
  EXPECT_EQ(distinct_values(0, 0, 16), 2u);
  stage(D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  clear(0);
  quad(0, 0, 16, 16, 0.25f, 0.25f, 12.25f, 12.25f);
  EXPECT_GT(distinct_values(0, 0, 16), 2u);
}

TEST_F(Texturing, ColourIsInterpolatedPerspectiveCorrectly) {
  // Left edge at w = 1, right edge four times as far (RHW 0.25); black on
  // the left, white on the right. Halfway across the screen the colour is
  // 255 * (0.25 * 0.5) / (0.5 + 0.25 * 0.5) = 51, not 127.5.
  device_->SetTexture(0, nullptr);
  clear(0);
  ASSERT_EQ(draw_screen({{0, 0, 0.5f, 1, 0x00000000, 0, 0},
                         {400, 0, 0.5f, 0.25f, 0x00FFFFFF, 0, 0},
                         {0, 100, 0.5f, 1, 0x00000000, 0, 0},
                         {400, 100, 0.5f, 0.25f, 0x00FFFFFF, 0, 0}},
                        D3DPT_TRIANGLESTRIP),
            D3D_OK);
  for (int x : {0, 100, 200, 300, 399}) {
    double s = x / 400.0;
    double c = 255 * 0.25 * s / ((1 - s) + 0.25 * s);
    int got = widen5(pixel(x, 50) >> 11);
    EXPECT_NEAR(got, c, 8.5) << x;  // within one 5-bit level
  }
  EXPECT_EQ(pixel(200, 50) >> 11, std::lround(51 * 31 / 255.0));
}


// The widened copy is built by one loop per format, eight texels at a time
// with a scalar tail: every R5G6B5 value, and widths that leave tails of
// every length, must widen to the repeated-top-bits value, with the padding
// column and row repeating the first ones.
struct WidenCase {
  D3DFORMAT format;
  int width, height;
};

TEST(TextureCopy, EveryTexelWidensAsItsFormatSaysWhateverTheRowLength) {
  const WidenCase cases[] = {{D3DFMT_R5G6B5, 256, 256}, {D3DFMT_R5G6B5, 13, 7},  {D3DFMT_R5G6B5, 1, 3},
                             {D3DFMT_R5G6B5, 9, 2},     {D3DFMT_X8R8G8B8, 11, 5}, {D3DFMT_X8R8G8B8, 64, 4},
                             {D3DFMT_A8R8G8B8, 7, 3}};
  std::mt19937 rng(3);
  for (const WidenCase& c : cases) {
    const int texel_bytes = c.format == D3DFMT_R5G6B5 ? 2 : 4;
    d3d8::TextureData data;
    data.format = c.format;
    data.generation = 1;
    d3d8::TextureLevel level;
    level.width = c.width;
    level.height = c.height;
    level.pitch_bytes = c.width * texel_bytes + 6;  // rows not packed
    level.bytes.resize(size_t(level.pitch_bytes) * c.height);
    uint32_t counter = 0;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        // The 256x256 case holds every R5G6B5 value once.
        const uint32_t v = c.width == 256 ? counter++ : uint32_t(rng());
        std::memcpy(level.bytes.data() + size_t(y) * level.pitch_bytes + x * texel_bytes, &v, texel_bytes);
      }
    }
    data.levels.push_back(level);
    const d3d8::raster::SamplerTexture tex = d3d8::raster::prepare_texture(data);
    ASSERT_NE(tex.texels, nullptr);
    for (int y = 0; y <= c.height; ++y) {
      for (int x = 0; x <= c.width; ++x) {
        const uint8_t* p = level.bytes.data() + size_t(y % c.height) * level.pitch_bytes + (x % c.width) * texel_bytes;
        uint32_t expected;
        if (c.format == D3DFMT_R5G6B5) {
          const uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8;
          expected = 0xFF000000u | widen5(v >> 11) << 16 | widen6((v >> 5) & 63) << 8 | widen5(v & 31);
        } else {
          std::memcpy(&expected, p, 4);
          if (c.format == D3DFMT_X8R8G8B8) expected |= 0xFF000000u;
        }
        ASSERT_EQ(tex.texels[size_t(y) * tex.stride + x], expected)
            << c.width << "x" << c.height << " format " << c.format << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace raster_test
