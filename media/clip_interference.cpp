// kolpo: interfering ring waves around moving centres. The pattern tiles in
// both directions, because the orbiter scenes wrap it around a sphere and
// repeat it across the wave surface.
#include "media/clips.h"

namespace media {

namespace {

// A distance that repeats with the texture: smooth everywhere but at the
// centre, so rings cross the texture's edges without a seam.
double torus_distance(double u, double v, double cu, double cv) {
  double su = det_sin(kPi * (u - cu)), sv = det_sin(kPi * (v - cv));
  return std::sqrt(su * su + sv * sv) / kPi;
}

}  // namespace

std::vector<codec::RgbFrame> render_interference(int width, int count) {
  const std::vector<Colour> palette = {
      rgb255(10, 20, 60),   rgb255(20, 80, 140),  rgb255(40, 170, 180), rgb255(230, 210, 120),
      rgb255(250, 250, 235), rgb255(200, 120, 60), rgb255(60, 40, 90),  rgb255(10, 20, 60)};
  return render_frames(width, count, 1, [&](int, double phase) -> FrameShader {
    double p = kTwoPi * phase;
    // One centre circles, the other crosses the whole texture once per loop.
    double c1u = 0.5 + 0.22 * det_cos(p), c1v = 0.5 + 0.22 * det_sin(p);
    double c2u = fract(0.15 + phase), c2v = 0.5 + 0.18 * det_sin(2.0 * p);
    return [&, p, c1u, c1v, c2u, c2v](double px, double py) {
      double u = px / width, v = py / width;
      double d1 = torus_distance(u, v, c1u, c1v);
      double d2 = torus_distance(u, v, c2u, c2v);
      double value = det_sin(d1 * 70.0 - 2.0 * p) + det_sin(d2 * 56.0 + 3.0 * p) +
                     0.6 * det_sin(kTwoPi * (2.0 * u + v) + p);
      return ramp(palette, fract(value * 0.19 + 0.5));
    };
  });
}

}  // namespace media
