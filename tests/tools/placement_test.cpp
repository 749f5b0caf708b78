// Where a window puts the picture: whole multiples where one fits, the
// letterbox only for a picture larger than the window, and the scale that
// `--scale fit` picks.
#include <gtest/gtest.h>

#include "platform/win32/letterbox.h"

namespace {

TEST(Placement, WholeMultiplesCentredAndLetterboxOnlyWhenTooLarge) {
  struct Case {
    int drawable_width, drawable_height, picture_width, picture_height;
    win32::Placement expected;
  } cases[] = {
      // scale 2 on a 1080p screen: sharp, unscaled, centred
      {1920, 1080, 1280, 960, {320, 60, 1280, 960, 1}},
      {1920, 1080, 640, 480, {320, 60, 1280, 960, 2}},
      {1280, 960, 640, 480, {0, 0, 1280, 960, 2}},
      {800, 600, 640, 480, {80, 60, 640, 480, 1}},
      {3840, 2160, 1920, 1440, {960, 360, 1920, 1440, 1}},
      // one pixel short of a multiple: the smaller one
      {1279, 960, 640, 480, {319, 240, 640, 480, 1}},
      // larger than the drawable: shrunk to the letterbox, filtered
      {1280, 960, 1920, 1440, {0, 0, 1280, 960, 0}},
      {1000, 1000, 1280, 960, {0, 125, 1000, 750, 0}},
      {1920, 1080, 3840, 2880, {240, 0, 1440, 1080, 0}},
      // nothing to draw into, or nothing to draw
      {0, 0, 640, 480, {0, 0, 0, 0, 0}},
      {640, 480, 0, 0, {0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const win32::Placement p =
        win32::place_picture(c.drawable_width, c.drawable_height, c.picture_width, c.picture_height);
    const win32::Placement& e = c.expected;
    EXPECT_TRUE(p.x == e.x && p.y == e.y && p.width == e.width && p.height == e.height &&
                p.integer_scale == e.integer_scale)
        << c.picture_width << "x" << c.picture_height << " in " << c.drawable_width << "x"
        << c.drawable_height << ": got " << p.x << "," << p.y << " " << p.width << "x" << p.height
        << " x" << p.integer_scale;
  }
}

TEST(Placement, FitIsTheLargestScaleWhosePictureFits) {
  struct Case {
    int drawable_width, drawable_height, expected;
  } cases[] = {
      {1920, 1080, 2}, {1280, 960, 2}, {2560, 1440, 3}, {3840, 2160, 4},
      {1920, 1200, 2}, {640, 480, 1},  {600, 400, 1},   {7680, 4320, 6},  // at most 6
  };
  for (const Case& c : cases) {
    EXPECT_EQ(win32::fit_scale(c.drawable_width, c.drawable_height, 640, 480, 6), c.expected)
        << c.drawable_width << "x" << c.drawable_height;
  }
}

}  // namespace
