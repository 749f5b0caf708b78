// The pack's own numerics: the machine-independent elementary functions must
// track the C library closely over the ranges the generators use (a wrong
// quadrant or range reduction shows up as a visibly broken picture or a
// detuned note), and tileable noise must really repeat.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "media/det_math.h"
#include "media/font.h"
#include "media/noise.h"

namespace {

TEST(DetMath, TracksTheLibraryAcrossQuadrantsAndRanges) {
  const double angles[] = {0.0,  1e-9, 0.5,   0.785398, 1.5707963, 2.0,  3.14159265, 4.0,
                           5.5,  -0.3, -2.5,  -7.0,     12.9,      100.0, 1000.5,    -4321.25};
  for (double x : angles) {
    EXPECT_NEAR(media::det_sin(x), std::sin(x), 1e-11) << x;
    EXPECT_NEAR(media::det_cos(x), std::cos(x), 1e-11) << x;
  }
  const double exps[] = {-30.0, -5.0, -0.7, -1e-6, 0.0, 0.3, 1.0, 2.5, 20.0};
  for (double x : exps) EXPECT_NEAR(media::det_exp(x) / std::exp(x), 1.0, 1e-12) << x;
  const double logs[] = {1e-6, 0.1, 0.5, 0.70710678, 1.0, 1.4142, 2.0, 10.0, 44100.0};
  for (double x : logs) EXPECT_NEAR(media::det_log(x), std::log(x), 1e-12) << x;
  // Equal temperament leans on pow: twelve semitones are exactly an octave.
  EXPECT_NEAR(media::det_pow(2.0, 1.0), 2.0, 1e-12);
  EXPECT_NEAR(media::det_pow(2.0, -9.0 / 12.0), std::pow(2.0, -0.75), 1e-12);
  const double points[][2] = {{0, 1}, {1, 0}, {1, 1},   {-1, 1},  {-1, -1}, {1, -1},
                              {0, -1}, {-1, 0}, {3, 0.2}, {0.2, 3}, {-5, 0.01}, {-5, -0.01}};
  for (const auto& p : points) EXPECT_NEAR(media::det_atan2(p[0], p[1]), std::atan2(p[0], p[1]), 1e-12);
  EXPECT_EQ(media::det_atan2(0.0, 0.0), 0.0);
  EXPECT_NEAR(media::det_tanh(0.5), std::tanh(0.5), 1e-12);
  EXPECT_EQ(media::det_tanh(50.0), 1.0);
  EXPECT_EQ(media::det_log(0.0), -INFINITY);
  EXPECT_EQ(media::fract(-0.25), 0.75);
}

TEST(TileNoise, RepeatsAfterItsPeriodsAndStaysInRange) {
  struct Case {
    double x, y;
    int px, py;
  };
  const Case cases[] = {{0.3, 0.7, 4, 4}, {2.9, 1.1, 3, 5}, {-1.25, 7.5, 8, 2}, {0.0, 0.0, 1, 1}};
  for (const Case& c : cases) {
    double a = media::tile_noise2(5, c.x, c.y, c.px, c.py);
    EXPECT_DOUBLE_EQ(a, media::tile_noise2(5, c.x + c.px, c.y, c.px, c.py));
    EXPECT_DOUBLE_EQ(a, media::tile_noise2(5, c.x, c.y - 2 * c.py, c.px, c.py));
    EXPECT_GE(a, 0.0);
    EXPECT_LT(a, 1.0);
    // Octaves double the periods, so the sum repeats like the first octave.
    double f = media::tile_fbm3(9, c.x, c.y, 0.4, c.px, c.py, 3, 4);
    EXPECT_NEAR(f, media::tile_fbm3(9, c.x + c.px, c.y + c.py, 3.4, c.px, c.py, 3, 4), 1e-12);
  }
  EXPECT_NE(media::tile_noise2(5, 0.5, 0.5, 4, 4), media::tile_noise2(6, 0.5, 0.5, 4, 4));
}

TEST(Font, MissingFontIsAClearErrorNamingThePackage) {
  try {
    media::Font font("NoSuchFont.ttf");
    FAIL() << "a missing font was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("fonts-dejavu-core"), std::string::npos) << e.what();
  }
}

TEST(Font, SqueezedTextIsNarrowerAndEveryPixelIsCoverage) {
  media::Font font("DejaVuSans-Bold.ttf");
  media::TextMask wide = font.render("TUULIKANNEL", 40.0, 1.0);
  media::TextMask narrow = font.render("TUULIKANNEL", 40.0, 0.75);
  EXPECT_EQ(wide.height, narrow.height);
  EXPECT_NEAR(static_cast<double>(narrow.width) / wide.width, 0.75, 0.03);
  double ink = 0;
  for (double a : narrow.alpha) {
    ASSERT_GE(a, 0.0);
    ASSERT_LE(a, 1.0);
    ink += a;
  }
  EXPECT_GT(ink, 100.0);
  EXPECT_EQ(font.render("", 20.0, 1.0).alpha.size(), static_cast<size_t>(font.render("", 20.0, 1.0).width) *
                                                         font.render("", 20.0, 1.0).height);
}

}  // namespace
