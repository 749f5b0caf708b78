// The pixel arithmetic every path shares: R5G6B5 widening and rounding,
// and exact division by 255. The SIMD paths use the same formulas lane by
// lane, so they give the same bytes.
#pragma once

#include <cstdint>

namespace d3d8::raster {

// 5 and 6 bit channels widen by repeating their top bits: 0 stays 0, full
// stays 255 (the same widening as the RGB888 read-back).
inline uint32_t expand5(uint32_t v) { return v << 3 | v >> 2; }
inline uint32_t expand6(uint32_t v) { return v << 2 | v >> 4; }

// 8-bit results go into the back buffer rounded to the nearest level,
// round(c * 31 / 255) and round(c * 63 / 255), not truncated: truncation
// would darken every additive and modulate pass a little, and a widened
// R5G6B5 value rounds back to itself, so an R5G6B5 texel drawn unchanged
// lands unchanged. The multiply-shift forms are exact for c in 0..255
// (checked exhaustively by the tests).
inline uint32_t round_to5(uint32_t c8) { return (c8 * 249 + 1014) >> 11; }
inline uint32_t round_to6(uint32_t c8) { return (c8 * 253 + 505) >> 10; }

inline uint16_t pack565(uint32_t r8, uint32_t g8, uint32_t b8) {
  return static_cast<uint16_t>(round_to5(r8) << 11 | round_to6(g8) << 5 | round_to5(b8));
}

// round(x / 255), halves up, exact for x in 0..65535.
inline uint32_t div255(uint32_t x) { return ((x + 128) * 257) >> 16; }

// ARGB8888 channel access (the texture cache and vertex colours use it).
inline uint32_t channel_b(uint32_t argb) { return argb & 0xFF; }
inline uint32_t channel_g(uint32_t argb) { return (argb >> 8) & 0xFF; }
inline uint32_t channel_r(uint32_t argb) { return (argb >> 16) & 0xFF; }
inline uint32_t channel_a(uint32_t argb) { return argb >> 24; }

}  // namespace d3d8::raster
