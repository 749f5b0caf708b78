// headless: a sculpted head and shoulders, lit like a plaster bust. The
// scene multiplies it 2x over the television, so 128 leaves the video as it
// is: the ground sits a little below that, the lit head well above.
#include <algorithm>

#include "media/images.h"

namespace media {

namespace {

struct Vec {
  double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double length(Vec v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Approximate distance to an ellipsoid (Inigo Quilez's bound).
double sd_ellipsoid(Vec p, Vec centre, Vec radii) {
  Vec q = p - centre;
  double k0 = length({q.x / radii.x, q.y / radii.y, q.z / radii.z});
  double k1 = length({q.x / (radii.x * radii.x), q.y / (radii.y * radii.y), q.z / (radii.z * radii.z)});
  return k1 > 0.0 ? k0 * (k0 - 1.0) / k1 : -std::min(radii.x, std::min(radii.y, radii.z));
}

double smooth_union(double a, double b, double k) {
  double h = clamp01(0.5 + 0.5 * (b - a) / k);
  return lerp(b, a, h) - k * h * (1.0 - h);
}

double smooth_cut(double a, double cut, double k) {  // a minus cut
  double h = clamp01(0.5 - 0.5 * (a + cut) / k);
  return lerp(a, -cut, h) + k * h * (1.0 - h);
}

double bust(Vec p) {
  double d = sd_ellipsoid(p, {0, 0.35, 0}, {0.58, 0.74, 0.66});          // skull
  d = smooth_union(d, sd_ellipsoid(p, {0, -0.12, 0.12}, {0.42, 0.45, 0.5}), 0.2);  // jaw
  d = smooth_union(d, sd_ellipsoid(p, {0, 0.12, 0.66}, {0.09, 0.2, 0.14}), 0.06);  // nose
  double ears = std::min(sd_ellipsoid(p, {0.58, 0.22, 0.0}, {0.08, 0.18, 0.12}),
                         sd_ellipsoid(p, {-0.58, 0.22, 0.0}, {0.08, 0.18, 0.12}));
  d = smooth_union(d, ears, 0.05);
  double neck = std::max(std::sqrt(p.x * p.x + (p.z - 0.02) * (p.z - 0.02)) - 0.27, p.y + 0.1);
  d = smooth_union(d, neck, 0.1);
  d = smooth_union(d, sd_ellipsoid(p, {0, -1.3, -0.05}, {1.35, 0.5, 0.55}), 0.25);  // shoulders
  double sockets = std::min(sd_ellipsoid(p, {0.21, 0.33, 0.6}, {0.13, 0.09, 0.12}),
                            sd_ellipsoid(p, {-0.21, 0.33, 0.6}, {0.13, 0.09, 0.12}));
  d = smooth_cut(d, sockets, 0.05);
  d = smooth_cut(d, sd_ellipsoid(p, {0, -0.2, 0.6}, {0.15, 0.02, 0.1}), 0.03);  // mouth
  return d;
}

// Shade of the bust seen along -z through (x, y); negative when missed.
double shade_ray(double x, double y, Vec& normal) {
  double z = 2.0;
  for (int step = 0; step < 80; ++step) {
    double d = bust({x, y, z});
    if (d < 0.0005) {
      constexpr double e = 0.002;
      Vec p{x, y, z};
      normal = {bust({p.x + e, p.y, p.z}) - bust({p.x - e, p.y, p.z}),
                bust({p.x, p.y + e, p.z}) - bust({p.x, p.y - e, p.z}),
                bust({p.x, p.y, p.z + e}) - bust({p.x, p.y, p.z - e})};
      double n = length(normal);
      normal = {normal.x / n, normal.y / n, normal.z / n};
      return z;
    }
    z -= d * 0.8;
    if (z < -2.0) break;
  }
  return -10.0;
}

}  // namespace

Image render_head() {
  constexpr int kSize = 256;
  const ScreenMap screen{kSize, kSize};
  Canvas canvas(kSize, kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      Colour sum;
      for (int s = 0; s < 4; ++s) {
        double sx = screen.x(x + 0.25 + 0.5 * (s & 1)), sy = screen.y(y + 0.25 + 0.5 * (s >> 1));
        double wx = (sx - 320.0) / 212.0, wy = (267.0 - sy) / 212.0;
        // Ground: just under "unchanged", darker towards the corners.
        double vignette = (wx * wx * 0.5 + wy * wy * 0.7);
        Colour c = grey(0.46 - 0.12 * vignette);
        Vec n{};
        if (shade_ray(wx, wy, n) > -5.0) {
          double key = std::max(0.0, -0.45 * n.x + 0.55 * n.y + 0.7 * n.z);
          double rim = det_pow(clamp01(1.0 - n.z) + 1e-9, 3.0) * clamp01(0.3 + n.x);
          c = rgb255(255, 240, 215) * (0.18 + 0.72 * key) + rgb255(150, 190, 255) * (0.45 * rim);
        }
        sum = sum + c;
      }
      canvas.at(x, y) = sum * 0.25;
    }
  }
  return canvas.to_image();
}

}  // namespace media
