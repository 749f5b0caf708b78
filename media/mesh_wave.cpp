// aalto2: a rolling wave surface, 100 by 100 units in the x-z plane with y
// up, texture coordinates 0..1 across it.
#include "media/det_math.h"
#include "media/media.h"

namespace media {

namespace {

constexpr int kCells = 48;  // per side
constexpr double kSize = 100.0;

double wave_height(double x, double z) {
  // Crossing swells, a few units high: the surface is seen from close above.
  return 4.0 * det_sin(x * 0.11 + z * 0.05) + 2.5 * det_sin(z * 0.19 - x * 0.07 + 1.3) +
         1.2 * det_sin((x + z) * 0.31 + 0.4);
}

}  // namespace

mesh::MeshData make_wave_mesh() {
  mesh::MeshData m;
  for (int row = 0; row <= kCells; ++row) {
    double v = static_cast<double>(row) / kCells;
    double z = (v - 0.5) * kSize;
    for (int col = 0; col <= kCells; ++col) {
      double u = static_cast<double>(col) / kCells;
      double x = (u - 0.5) * kSize;
      m.positions.push_back({static_cast<float>(x), static_cast<float>(wave_height(x, z)),
                             static_cast<float>(z)});
      m.tex_coords.push_back({static_cast<float>(u), static_cast<float>(v)});
    }
  }
  auto index = [](int row, int col) { return static_cast<uint16_t>(row * (kCells + 1) + col); };
  for (int row = 0; row < kCells; ++row) {
    for (int col = 0; col < kCells; ++col) {
      uint16_t a = index(row, col), b = index(row, col + 1);
      uint16_t c = index(row + 1, col), d = index(row + 1, col + 1);
      m.triangles.push_back({a, c, b});
      m.triangles.push_back({b, c, d});
    }
  }
  return m;
}

}  // namespace media
