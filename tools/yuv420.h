// A presented picture (R5G6B5 or X8R8G8B8) as the planes of a 4:2:0 frame:
// what Y4M files carry and players expect.
#pragma once

#include <cstdint>

#include "platform/cpu/cpu.h"

namespace tools {

// BT.601 studio range in fixed point, on 8-bit channels (R5G6B5 channels
// first widened by repeating their top bits): for every pixel
//   Y = (66 r + 129 g + 25 b + 128 + 16 * 256) >> 8,
// and for every 2x2 block, with R, G, B the sums of its four pixels,
//   Cb = (-38 R - 74 G + 112 B + 512 + 128 * 1024) >> 10,
//   Cr = (112 R - 94 G - 18 B + 512 + 128 * 1024) >> 10.
// width and height are even; rows lie without padding; `planes` holds
// width * height * 3 / 2 bytes: Y, then Cb, then Cr.
// Takes the widest width the process may use (cpu::simd_ceiling()) that
// the picture's width allows.
void rgb565_to_yuv420(const uint16_t* pixels, int width, int height, uint8_t* planes);
// The same for 0xXXRRGGBB words; the top byte is ignored.
void xrgb8888_to_yuv420(const uint32_t* pixels, int width, int height, uint8_t* planes);

// The widths behind them, the same bytes, for tests and benchmarks: the
// portable one, SSE2 (width a multiple of 16) and AVX2 (a multiple of 32),
// each with the instruction set it needs. Only those the process may use
// are callable; a null pointer is a width not built for that source.
struct Yuv420Width {
  const char* name;
  cpu::SimdLevel needs;
  int width_multiple;
  void (*convert)(const uint16_t* pixels, int width, int height, uint8_t* planes);
  void (*convert_xrgb)(const uint32_t* pixels, int width, int height, uint8_t* planes);
};
extern const Yuv420Width kYuv420Widths[3];

}  // namespace tools
