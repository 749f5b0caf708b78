// What the mesh path hands the code that shades a triangle's pixels, four
// at a time in SSE2 (span_simd_sse2.cpp) or eight in AVX2 and AVX-512
// (span_simd_avx2.cpp, span_simd_avx512.cpp), through the kernel table:
// the triangle, its spans and the values set up once per triangle.
#pragma once

#include <cstdint>

#include "platform/d3d8/raster_types.h"
#include "platform/d3d8/simd_pixels.h"

namespace d3d8::raster {

struct SpanJob {
  const DrawStates* states;
  const Triangle* triangle;
  const Span* spans;
  int count;
  uint16_t* colour;       // an R5G6B5 target's, else null
  uint32_t* colour_xrgb;  // an X8R8G8B8 target's, else null
  uint16_t* depth;
  const uint32_t* texels;
  int stride, width_shift, width_mask, height_mask;
  bool bilinear, perspective, flat, white, z_test, z_write;
  uint32_t z_func;
  int z_bias;
  int diffuse_r, diffuse_g, diffuse_b;  // the flat colour
  // What of the triangle's own values above its pixels are shaded with
  // (the flat colour, the filter, perspective), as one word: triangles are
  // compared by it, as their flags, written a byte at a time, read back
  // four at a time would wait on the writes.
  uint32_t shading_key;
  simd::BlendKind blend;
};

}  // namespace d3d8::raster
