// The presented R5G6B5 picture as the planes of a 4:2:0 frame: what Y4M
// files carry and players expect.
#pragma once

#include <cstdint>

#include "platform/cpu/cpu.h"

namespace tools {

// BT.601 studio range in fixed point, each channel first widened to 8 bits
// by repeating its top bits: for every pixel
//   Y = (66 r + 129 g + 25 b + 128 + 16 * 256) >> 8,
// and for every 2x2 block, with R, G, B the sums of its four pixels,
//   Cb = (-38 R - 74 G + 112 B + 512 + 128 * 1024) >> 10,
//   Cr = (112 R - 94 G - 18 B + 512 + 128 * 1024) >> 10.
// width and height are even, width a multiple of 16; `planes` holds
// width * height * 3 / 2 bytes: Y, then Cb, then Cr.
// Takes the widest width the process may use (cpu::simd_ceiling()).
void rgb565_to_yuv420(const uint16_t* pixels, int width, int height, uint8_t* planes);

// The widths behind it, the same bytes, for tests and benchmarks: the
// portable one, SSE2 and AVX2 (width a multiple of 32), each with the
// instruction set it needs. Only those the process may use are callable.
struct Yuv420Width {
  const char* name;
  cpu::SimdLevel needs;
  void (*convert)(const uint16_t* pixels, int width, int height, uint8_t* planes);  // null: not built
};
extern const Yuv420Width kYuv420Widths[3];

}  // namespace tools
