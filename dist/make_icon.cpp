// Writes the desktop icon, 256x256 RGBA PNG, from code like the media pack:
// a wind-blown kantele (the demo's name is "wind kantele") on a rounded
// dusk-blue tile. Usage: make_icon OUT.png
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

// The size of the hicolor folder it is installed in (256x256/apps).
constexpr int kSize = 256;
// Samples per pixel edge: 4x4 samples give edges a smooth 16-level ramp.
constexpr int kSamples = 4;
constexpr double kPi = 3.14159265358979323846;

struct Rgba {
  double r, g, b, a;
};

// Straight-alpha "over".
Rgba over(Rgba top, Rgba under) {
  double a = top.a + under.a * (1 - top.a);
  if (a <= 0) return {0, 0, 0, 0};
  auto channel = [&](double t, double u) { return (t * top.a + u * under.a * (1 - top.a)) / a; };
  return {channel(top.r, under.r), channel(top.g, under.g), channel(top.b, under.b), a};
}

bool in_rounded_square(double x, double y, double inset, double radius) {
  double lo = inset + radius;
  double hi = kSize - inset - radius;
  double dx = std::max({lo - x, 0.0, x - hi});
  double dy = std::max({lo - y, 0.0, y - hi});
  return dx * dx + dy * dy <= radius * radius;
}

double distance_to_segment(double x, double y, double x0, double y0, double x1, double y1) {
  double vx = x1 - x0, vy = y1 - y0;
  double t = std::clamp(((x - x0) * vx + (y - y0) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
  return std::hypot(x - (x0 + t * vx), y - (y0 + t * vy));
}

// The kantele's body: a wing-shaped board, narrow at the left, wide at the
// right, its top edge rising.
bool in_body(double x, double y) {
  if (x < 44 || x > 212) return false;
  double t = (x - 44) / 168;
  double top = 150 - 64 * t;
  double bottom = 176 + 20 * t;
  return y >= top && y <= bottom;
}

// Five strings fanning out from the narrow end, as a kantele's do.
bool on_string(double x, double y) {
  for (int i = 0; i < 5; ++i) {
    double y0 = 156 + i * 4.5;
    double y1 = 96 + i * 20;
    if (distance_to_segment(x, y, 52, y0, 204, y1) <= 1.6) return true;
  }
  return false;
}

// Three gusts above it: sine strokes of decreasing length.
bool on_gust(double x, double y) {
  for (int i = 0; i < 3; ++i) {
    double x0 = 40 + i * 22, x1 = 216 - i * 30;
    if (x < x0 || x > x1) continue;
    double phase = (x - x0) / 40 * kPi;
    double centre = 52 + i * 20 + 7 * std::sin(phase);
    double slope = 7 * kPi / 40 * std::cos(phase);
    if (std::abs(y - centre) / std::sqrt(1 + slope * slope) <= 3.2) return true;
  }
  return false;
}

Rgba sample(double x, double y) {
  if (!in_rounded_square(x, y, 8, 44)) return {0, 0, 0, 0};
  double t = y / kSize;
  Rgba pixel{0.10 + 0.08 * t, 0.16 + 0.34 * t, 0.32 + 0.24 * t, 1};
  if (in_body(x, y)) pixel = over({0.62, 0.38, 0.20, 1}, pixel);
  if (on_string(x, y)) pixel = over({0.97, 0.92, 0.78, 1}, pixel);
  if (on_gust(x, y)) pixel = over({0.80, 0.95, 1.00, 0.85}, pixel);
  return pixel;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon OUT.png\n");
    return 2;
  }
  std::vector<uint8_t> rgba(static_cast<size_t>(kSize) * kSize * 4);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      // Averaged with premultiplied colour so transparent samples add no black fringe.
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          Rgba s = sample(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples);
          r += s.r * s.a;
          g += s.g * s.a;
          b += s.b * s.a;
          a += s.a;
        }
      }
      uint8_t* out = &rgba[(static_cast<size_t>(y) * kSize + x) * 4];
      auto byte = [](double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
      out[0] = byte(a > 0 ? r / a : 0);
      out[1] = byte(a > 0 ? g / a : 0);
      out[2] = byte(a > 0 ? b / a : 0);
      out[3] = byte(a / (kSamples * kSamples));
    }
  }
  if (!stbi_write_png(argv[1], kSize, kSize, 4, rgba.data(), kSize * 4)) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
