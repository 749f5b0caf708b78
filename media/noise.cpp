#include "media/noise.h"

#include <cmath>

namespace media {

namespace {

int wrap(int32_t i, int period) {
  int r = i % period;
  return r < 0 ? r + period : r;
}

// Quintic fade: continuous second derivative, so octaves show no lattice grid.
double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

}  // namespace

uint32_t hash_ints(uint32_t seed, int32_t a, int32_t b, int32_t c) {
  // lowbias32 rounds (Chris Wellons' integer hash prospector) on each input.
  auto mix = [](uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
  };
  uint32_t h = mix(seed ^ 0x9e3779b9U);
  h = mix(h ^ static_cast<uint32_t>(a));
  h = mix((h + 0x85ebca6bU) ^ static_cast<uint32_t>(b));
  h = mix((h + 0xc2b2ae35U) ^ static_cast<uint32_t>(c));
  return h;
}

double hash_unit(uint32_t seed, int32_t a, int32_t b, int32_t c) {
  return static_cast<double>(hash_ints(seed, a, b, c) >> 8) * (1.0 / 16777216.0);
}

double tile_noise2(uint32_t seed, double x, double y, int period_x, int period_y) {
  double fx = std::floor(x);
  double fy = std::floor(y);
  int ix = static_cast<int>(fx);
  int iy = static_cast<int>(fy);
  double tx = fade(x - fx);
  double ty = fade(y - fy);
  int x0 = wrap(ix, period_x), x1 = wrap(ix + 1, period_x);
  int y0 = wrap(iy, period_y), y1 = wrap(iy + 1, period_y);
  double a = hash_unit(seed, x0, y0);
  double b = hash_unit(seed, x1, y0);
  double c = hash_unit(seed, x0, y1);
  double d = hash_unit(seed, x1, y1);
  double top = a + (b - a) * tx;
  double bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

double tile_noise3(uint32_t seed, double x, double y, double z, int period_x, int period_y,
                   int period_z) {
  double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy), iz = static_cast<int>(fz);
  double tx = fade(x - fx), ty = fade(y - fy), tz = fade(z - fz);
  int x0 = wrap(ix, period_x), x1 = wrap(ix + 1, period_x);
  int y0 = wrap(iy, period_y), y1 = wrap(iy + 1, period_y);
  int z0 = wrap(iz, period_z), z1 = wrap(iz + 1, period_z);
  auto layer = [&](int zz) {
    double a = hash_unit(seed, x0, y0, zz);
    double b = hash_unit(seed, x1, y0, zz);
    double c = hash_unit(seed, x0, y1, zz);
    double d = hash_unit(seed, x1, y1, zz);
    double top = a + (b - a) * tx;
    double bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
  };
  double near = layer(z0);
  double far = layer(z1);
  return near + (far - near) * tz;
}

double tile_fbm2(uint32_t seed, double x, double y, int period_x, int period_y, int octaves,
                 double gain) {
  double sum = 0.0, amplitude = 1.0, total = 0.0;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * tile_noise2(seed + static_cast<uint32_t>(o) * 1013U, x, y, period_x,
                                   period_y);
    total += amplitude;
    amplitude *= gain;
    x *= 2.0;
    y *= 2.0;
    period_x *= 2;
    period_y *= 2;
  }
  return sum / total;
}

double tile_fbm3(uint32_t seed, double x, double y, double z, int period_x, int period_y,
                 int period_z, int octaves, double gain) {
  double sum = 0.0, amplitude = 1.0, total = 0.0;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * tile_noise3(seed + static_cast<uint32_t>(o) * 1013U, x, y, z, period_x,
                                   period_y, period_z);
    total += amplitude;
    amplitude *= gain;
    x *= 2.0;
    y *= 2.0;
    z *= 2.0;
    period_x *= 2;
    period_y *= 2;
    period_z *= 2;
  }
  return sum / total;
}

uint32_t Random::next_u32() {
  // splitmix64
  state_ += 0x9E3779B97F4A7C15ull;
  uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<uint32_t>(z >> 32);
}

double Random::next_unit() { return static_cast<double>(next_u32() >> 8) * (1.0 / 16777216.0); }

double Random::next_signed() { return next_unit() * 2.0 - 1.0; }

}  // namespace media
