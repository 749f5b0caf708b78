// Which pixels a triangle covers: pixel centres at integer coordinates and
// the top-left rule, so shared edges draw each pixel exactly once.
#include <cmath>
#include <random>
#include <string>

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/triangle.h"
#include "raster_fixture.h"

namespace raster_test {
namespace {

class FillRule : public RasterTest {};

TEST_F(FillRule, LayerLeavesColumn639AndRow479AtTheClearColour) {
  clear(0x00102030);
  const uint16_t cleared = pixel(0, 0);
  ASSERT_EQ(draw_layer(0xFFFFFFFF), D3D_OK);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      bool covered = x < 639 && y < 479;
      ASSERT_EQ(pixel(x, y), covered ? 0xFFFF : cleared) << x << "," << y;
    }
  }
}

TEST_F(FillRule, LayerDiagonalIsDrawnOnceAcrossBothTriangles) {
  count_draws();
  ASSERT_EQ(draw_layer(kOneLevel), D3D_OK);
  for (int y = 0; y < 479; ++y) {
    for (int x = 0; x < 639; ++x) ASSERT_EQ(draws(x, y), 1) << x << "," << y;
  }
}

struct CoverageCase {
  const char* name;
  float x0, y0, x1, y1, x2, y2;
  // Rows 0..5 of columns 0..5: '#' covered once, '.' untouched.
  const char* rows[6];
};

const CoverageCase kCoverage[] = {
    {"right angle on pixel centres: top and left edges in, diagonal out",
     0, 0, 4, 0, 0, 4, {"####..", "###...", "##....", "#.....", "......", "......"}},
    {"same winding reversed covers the same pixels",
     0, 0, 0, 4, 4, 0, {"####..", "###...", "##....", "#.....", "......", "......"}},
    {"half-pixel offset: only centres strictly inside",
     0.5f, 0.5f, 4.5f, 0.5f, 0.5f, 4.5f, {"......", ".###..", ".##...", ".#....", "......", "......"}},
    {"bottom-right half: right and bottom edges out",
     4, 0, 4, 4, 0, 4, {"......", "...#..", "..##..", ".###..", "......", "......"}},
    {"sliver between centres covers nothing",
     0.1f, 0.1f, 0.9f, 0.1f, 0.5f, 0.9f, {"......", "......", "......", "......", "......", "......"}},
    {"sub-pixel snapping: 1/16 pixel left of a centre is still left of it",
     1.9375f, 0, 5, 0, 1.9375f, 5, {"..###.", "..###.", "..##..", "..##..", "..#...", "......"}},
};

TEST_F(FillRule, SmallTrianglesCoverTheCentresTheTopLeftRuleGives) {
  for (const CoverageCase& c : kCoverage) {
    count_draws();
    ASSERT_EQ(draw_screen({{c.x0, c.y0, 0.5f, 1, kOneLevel, 0, 0},
                           {c.x1, c.y1, 0.5f, 1, kOneLevel, 0, 0},
                           {c.x2, c.y2, 0.5f, 1, kOneLevel, 0, 0}}),
              D3D_OK);
    for (int y = 0; y < 6; ++y) {
      std::string row;
      for (int x = 0; x < 6; ++x) row += draws(x, y) == 0 ? '.' : draws(x, y) == 1 ? '#' : '2';
      EXPECT_EQ(row, c.rows[y]) << c.name << ", row " << y;
    }
  }
}


TEST_F(FillRule, SharedEdgesOfAJitteredMeshAreNeitherMissedNorDrawnTwice) {
  for (unsigned seed : {1u, 2u, 3u}) {
    count_draws();
    ASSERT_EQ(draw_screen(jittered_grid(kOneLevel, seed)), D3D_OK);
    for (int y = 0; y < 360; ++y) {
      for (int x = 0; x < 360; ++x) {
        // Well inside the outer boundary (which jitters by 15 around 10 and 330).
        bool interior = x >= 30 && x <= 310 && y >= 30 && y <= 310;
        if (interior) {
          ASSERT_EQ(draws(x, y), 1) << "seed " << seed << " at " << x << "," << y;
        } else {
          ASSERT_LE(draws(x, y), 1) << "seed " << seed << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(FillRule, CullModesDropTheNamedWinding) {
  // Clockwise on screen (y down): right, then down-left.
  const std::vector<ScreenVertex> clockwise = {
      {10, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {50, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {10, 50, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
  const std::vector<ScreenVertex> counter = {clockwise[0], clockwise[2], clockwise[1]};
  struct Case {
    DWORD cull;
    bool clockwise_drawn, counter_drawn;
  } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
  for (const Case& c : cases) {
    state(D3DRS_CULLMODE, c.cull);
    clear(0);
    draw_screen(clockwise);
    EXPECT_EQ(pixel(20, 20) != 0, c.clockwise_drawn) << "cull " << c.cull;
    clear(0);
    draw_screen(counter);
    EXPECT_EQ(pixel(20, 20) != 0, c.counter_drawn) << "cull " << c.cull;
  }
}

TEST_F(FillRule, StripKeepsTheWindingOfItsFirstTriangle) {
  // Both triangles of a layer strip are clockwise: culling CCW keeps the
  // whole layer, culling CW drops all of it.
  state(D3DRS_CULLMODE, D3DCULL_CCW);
  clear(0);
  draw_layer(0xFFFFFFFF);
  EXPECT_EQ(pixel(10, 400), 0xFFFF);
  EXPECT_EQ(pixel(600, 10), 0xFFFF);
  state(D3DRS_CULLMODE, D3DCULL_CW);
  clear(0);
  draw_layer(0xFFFFFFFF);
  EXPECT_EQ(pixel(10, 400), 0);
  EXPECT_EQ(pixel(600, 10), 0);
}

// Positions snap to the nearest 1/16 pixel, halves up (floor(16 v + 0.5)),
// on both sides of 0 and out to the setup limit; beyond it, or not finite,
// a vertex is left for triangle setup to refuse. The guard band is the
// clipper's narrower box.
TEST(Snapping, PositionsRoundToSixteenthsWithinTheSetupLimit) {
  const double limit = d3d8::raster::kSetupLimitPixels, band = d3d8::raster::kGuardBandPixels;
  const double nan = std::nan(""), inf = HUGE_VAL;
  struct Case {
    double x, y;
    bool snapped, in_band;
    int32_t sx, sy;
  } cases[] = {
      {0, 0, true, true, 0, 0},
      {1.0 / 32, -1.0 / 32, true, true, 1, 0},  // halves go up, on both sides
      {1.0 / 32 - 1e-9, -1.0 / 32 - 1e-9, true, true, 0, -1},
      {-0.03, -15.5 / 16, true, true, 0, -15},
      {-1, -1.03125, true, true, -16, -16},
      {639.97, 479.5, true, true, 10240, 7672},
      {-band, 480 + band, true, true, int32_t(-16 * band), int32_t(16 * (480 + band))},
      {-band - 0.25, 0, true, false, int32_t(-16 * band - 4), 0},
      {-limit, 480 + limit, true, false, int32_t(-16 * limit), int32_t(16 * (480 + limit))},
      {-limit - 0.01, 0, false, false, 0, 0},
      {0, 480 + limit + 0.01, false, false, 0, 0},
      {nan, 0, false, false, 0, 0},
      {0, -inf, false, false, 0, 0},
  };
  for (const Case& c : cases) {
    d3d8::raster::ScreenVertex v;
    v.x = c.x, v.y = c.y;
    d3d8::raster::snap_vertex(v, d3d8::raster::TargetSize{});
    EXPECT_EQ(v.snapped, c.snapped) << c.x << "," << c.y;
    EXPECT_EQ(v.in_guard_band, c.in_band) << c.x << "," << c.y;
    if (c.snapped) {
      EXPECT_EQ(v.snapped_x, c.sx) << c.x;
      EXPECT_EQ(v.snapped_y, c.sy) << c.y;
    }
  }
}

// The spans the row walk gives against the pixel centres the top-left
// rule covers, found one by one with the edge functions. Vertices are put
// on whole rows as often as not, since the rows through a vertex are where
// the walk changes the edges it follows; the families reach from single
// pixels past the target's edges.
TEST(Coverage, SpansAreThePixelCentresTheEdgeFunctionsCover) {
  namespace r = d3d8::raster;
  struct Family {
    const char* name;
    double extent;  // how far the vertices spread, in pixels
    double step;    // the grid the vertices sit on, in pixels
    bool sliver;    // the third vertex a sixteenth off the first two's line
  } families[] = {{"tiny, sixteenths", 3, 1.0 / 16, false},  {"tiny, whole pixels", 4, 1, false},
                  {"small, sixteenths", 24, 1.0 / 16, false}, {"small, half pixels", 24, 0.5, false},
                  {"large, sixteenths", 400, 1.0 / 16, false}, {"large, whole pixels", 700, 1, false},
                  {"slivers", 300, 1.0 / 16, true}};
  std::mt19937 rng(23);
  r::DrawStates states;
  for (const Family& f : families) {
    std::uniform_real_distribution<double> offset(-f.extent / 2, f.extent / 2);
    std::uniform_real_distribution<double> centre(-60, 700);
    for (int n = 0; n < 3000; ++n) {
      const double cx = centre(rng), cy = centre(rng) * 480 / 640;
      r::ScreenVertex v[3];
      for (auto& p : v) {
        p.x = std::round((cx + offset(rng)) / f.step) * f.step;
        p.y = std::round((cy + offset(rng)) / f.step) * f.step;
      }
      if (f.sliver) v[2].x = v[0].x + (v[1].x - v[0].x) * 0.5 + 1.0 / 16;
      r::Triangle t;
      if (!r::setup_triangle(v[0], v[1], v[2], states, t)) continue;
      static r::Span spans[r::kMaxSpans];
      const int count = r::compute_spans(t, spans);
      // Each edge: E >= 1, or E >= 0 on a top or left edge.
      auto covered = [&](int x, int y) {
        for (int e = 0; e < 3; ++e) {
          const int b = (e + 1) % 3;
          const int64_t dx = int64_t{t.X[b]} - t.X[e], dy = int64_t{t.Y[b]} - t.Y[e];
          const int64_t value = dx * (16 * int64_t{y} - t.Y[e]) - dy * (16 * int64_t{x} - t.X[e]);
          const bool top_left = dy < 0 || (dy == 0 && dx > 0);
          if (value < (top_left ? 0 : 1)) return false;
        }
        return true;
      };
      std::string expected, got;
      for (int y = t.y_begin; y < t.y_end; ++y) {
        int first = -1, last = -1;
        for (int x = t.x_begin; x < t.x_end; ++x) {
          if (covered(x, y)) {
            if (first < 0) first = x;
            last = x;
          }
        }
        if (first >= 0) expected += std::to_string(y) + ":" + std::to_string(first) + "-" + std::to_string(last + 1) + " ";
      }
      for (int i = 0; i < count; ++i) {
        got += std::to_string(spans[i].y) + ":" + std::to_string(spans[i].x_begin) + "-" +
               std::to_string(spans[i].x_end) + " ";
      }
      ASSERT_EQ(got, expected) << f.name << ": " << v[0].x << "," << v[0].y << " " << v[1].x << "," << v[1].y << " "
                               << v[2].x << "," << v[2].y;
    }
  }
}

}  // namespace
}  // namespace raster_test
