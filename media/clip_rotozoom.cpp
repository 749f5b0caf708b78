// hp: a rotozoomer over a tiled pattern of bevelled squares. It is often
// multiplied 2x over other clips, so its colours keep near mid-grey on
// average and never reach black.
#include "media/clips.h"

namespace media {

namespace {

// One tile of the pattern, u and v in [0, 1): two by two bevelled squares.
Colour tile(double u, double v) {
  int cell_x = u < 0.5 ? 0 : 1, cell_y = v < 0.5 ? 0 : 1;
  double lu = u * 2.0 - cell_x - 0.5, lv = v * 2.0 - cell_y - 0.5;  // -0.5..0.5
  bool even = ((cell_x + cell_y) & 1) == 0;
  const Colour grout = rgb255(70, 50, 90);
  Colour face = even ? rgb255(235, 150, 60) : rgb255(70, 130, 225);
  double d = sd_round_box(lu, lv, 0.0, 0.0, 0.42, 0.42, 0.12);
  if (d > 0.0) return grout;
  // Bevel: lighter towards the top-left edge, darker towards the bottom-right.
  double bevel = clamp01(1.0 + d / 0.07);
  double light = 1.0 + 0.35 * bevel * (lu + lv < 0.0 ? 1.0 : -1.0);
  Colour c = face * light;
  double ring = std::fabs(std::sqrt(lu * lu + lv * lv) - 0.22);
  double emblem = even ? cover(ring - 0.05, 0.03)
                       : cover(std::fabs(lu) + std::fabs(lv) - 0.2, 0.03);
  return mix(c, rgb255(245, 235, 210), emblem * 0.85);
}

}  // namespace

std::vector<codec::RgbFrame> render_rotozoom(int width, int count) {
  const ScreenMap screen{width, width};
  return render_frames(width, count, 2, [&](int, double phase) -> FrameShader {
    double p = kTwoPi * phase;
    double angle = p;                             // one turn per loop
    double zoom = 1.5 + 0.9 * det_sin(p);         // tiles per screen height
    double u0 = 2.0 * phase, v0 = 0.4 * det_sin(2.0 * p);  // two whole tiles per loop
    double ca = det_cos(angle), sa = det_sin(angle);
    return [&, ca, sa, zoom, u0, v0](double px, double py) {
      double x = (screen.x(px) - 320.0) / 480.0, y = (screen.y(py) - 240.0) / 480.0;
      double u = u0 + (x * ca - y * sa) * zoom, v = v0 + (x * sa + y * ca) * zoom;
      return tile(fract(u), fract(v));
    };
  });
}

}  // namespace media
