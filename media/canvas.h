// A floating-point RGB picture to paint on, and the shape helpers the
// generators share. Colours are 0..1 per channel until the picture is
// quantised to bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "codec/clip_encoder.h"
#include "media/det_math.h"
#include "media/media.h"

namespace media {

struct Colour {
  double r = 0, g = 0, b = 0;
};

inline Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour operator-(Colour a, Colour b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Colour operator*(Colour a, double s) { return {a.r * s, a.g * s, a.b * s}; }
inline Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Colour mix(Colour a, Colour b, double t) { return a + (b - a) * t; }
inline Colour grey(double v) { return {v, v, v}; }
// From 0..255 components, as colours are usually written down.
inline Colour rgb255(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }
inline double luma(Colour c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// A colour ramp through evenly spaced stops, t in [0, 1] (clamped).
Colour ramp(const std::vector<Colour>& stops, double t);

class Canvas {
 public:
  Canvas(int width, int height, Colour fill = {});
  int width() const { return width_; }
  int height() const { return height_; }
  Colour& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  const Colour& at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  // Alpha-blends `c` over the pixel; out-of-range pixels are ignored.
  void blend(int x, int y, Colour c, double alpha);
  void add(int x, int y, Colour c, double amount);

  // Bytes rounded to nearest and clamped to 0..255.
  Image to_image() const;
  codec::RgbFrame to_frame() const;

 private:
  int width_;
  int height_;
  std::vector<Colour> pixels_;
};

// Where a texel lands on the 640x480 screen. A layer stretches the top-left
// nine tenths of a texture over the screen (texture coordinates 0..0.9), so a
// square texture is drawn 4:3 wide; generators that draw shapes work in these
// screen units so that circles stay round on screen.
// Positions are continuous texel coordinates (a pixel's centre is at +0.5).
struct ScreenMap {
  int width;
  int height;
  double x(double px) const { return px * 640.0 / (0.9 * width); }
  double y(double py) const { return py * 480.0 / (0.9 * height); }
  // Screen units covered by one texel, for antialiasing edges.
  double texel() const { return 480.0 / (0.9 * height); }
};

// Signed distances (negative inside) in whatever units the caller uses.
inline double sd_circle(double x, double y, double cx, double cy, double radius) {
  return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) - radius;
}
double sd_round_box(double x, double y, double cx, double cy, double half_w, double half_h,
                    double radius);
double sd_segment(double x, double y, double ax, double ay, double bx, double by);

// Coverage of a shape at signed distance d with an edge `soft` units wide.
inline double cover(double d, double soft) { return clamp01(0.5 - d / soft); }

}  // namespace media
