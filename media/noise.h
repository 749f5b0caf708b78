// Seeded, tileable noise: the same numbers on every run and machine.
#pragma once

#include <cstdint>

namespace media {

// A well-mixed 32-bit hash of up to four integers and a seed.
uint32_t hash_ints(uint32_t seed, int32_t a, int32_t b = 0, int32_t c = 0);

// A value in [0, 1) from the hash.
double hash_unit(uint32_t seed, int32_t a, int32_t b = 0, int32_t c = 0);

// Value noise in [0, 1) on a lattice that repeats every `period_*` cells, so
// a picture sampled over whole periods tiles and an animation over a whole
// time period loops. Periods must be at least 1.
double tile_noise2(uint32_t seed, double x, double y, int period_x, int period_y);
double tile_noise3(uint32_t seed, double x, double y, double z, int period_x, int period_y,
                   int period_z);

// Sums of octaves; each octave doubles the frequency and the periods, so the
// result tiles like the first octave. Result roughly in [0, 1).
double tile_fbm2(uint32_t seed, double x, double y, int period_x, int period_y, int octaves,
                 double gain = 0.5);
double tile_fbm3(uint32_t seed, double x, double y, double z, int period_x, int period_y,
                 int period_z, int octaves, double gain = 0.5);

// A small deterministic generator for sequences (noise bursts, jitter).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t next_u32();
  double next_unit();            // [0, 1)
  double next_signed();          // [-1, 1)

 private:
  uint64_t state_;
};

}  // namespace media
