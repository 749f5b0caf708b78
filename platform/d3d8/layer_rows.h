// What the screen-layer path hands the code that shades its rows: the
// per-column texture table, built once per triangle, and the rest of the
// triangle's values. The rows are shaded at one of three widths: thirty-two
// pixels at a time on CPUs with AVX-512 (BW) for windowed layers, sixteen
// with AVX2, eight otherwise; all give the same bytes, and a group never
// leaves its row because every target's width (640 times the scale) is a
// multiple of 32.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/raster_types.h"
#include "platform/d3d8/simd_pixels.h"

namespace d3d8::raster {

static_assert(kBackBufferWidth % 32 == 0 && kMaxTargetWidth % 32 == 0);

// Per column of the triangle: the left texel of the bilinear pair (already
// wrapped) and the pair's weights, (kFilterOne - fu, fu) in every 32-bit
// lane for pmaddwd. The weights are stored in the order the chosen width
// reads them: for sixteen pixels, columns x and x + 8 of a group side by
// side, so one 256-bit load gives the weights of both halves.
struct LayerColumns {
  int32_t texel[kMaxTargetWidth];
  alignas(32) __m128i weights[kMaxTargetWidth];
};

// Where column x's weights sit for groups of `width` pixels.
inline int weight_slot(int x, int width) {
  if (width == 8) return x;
  return (x & ~15) + ((x & 7) << 1) + ((x >> 3) & 1);
}

// Per texel of one texture row blended vertically for the current screen
// row: b, g, r, a as int16, with one extra entry for the wrap.
constexpr int kMaxLayerRowTexels = 4097;

// For a layer magnified enough that the eight columns of every aligned
// half-group read their pairs from at most eight neighbouring texels (all
// the demo's layers): each half-group's first texel, byte shuffles picking
// every column's left and right texel out of those eight, and the weights
// as the 16-pixel filter reads them. The AVX2 width then filters each
// channel of sixteen pixels with two shuffles and two pmaddwd from a row
// blended into planes (b, g, r), instead of one load and pmaddwd a pixel.
struct LayerWindows {
  static constexpr int kHalves = kMaxTargetWidth / 8;
  // Each plane holds texels -kPlanePadding .. width + kPlanePadding - 1 of
  // the blended row, repeating it periodically on both sides, so a window
  // starting anywhere from -6 to width - 1 reads blended texels.
  static constexpr int kPlanePadding = 8;
  static constexpr int kPlaneStride = kMaxLayerRowTexels + 2 * kPlanePadding;
  int32_t base[kHalves];
  // Aligned for the widest width's loads of four half-groups at once.
  alignas(64) __m128i left[kHalves], right[kHalves];
  // Per 16-pixel group: pixels 0-3 of each half, then pixels 4-7 of each.
  alignas(32) __m128i weights[kHalves * 2];
  int16_t* planes;  // texel 0 of the b plane; g and r follow kPlaneStride apart
  // The half-group whose window lies left of its neighbour's (where the
  // texture wraps), 0 when every window lies right of the one before, -1
  // when the planes are filled whole (more than one wrap, or a texture
  // narrower than twice the padding).
  int wrap;
};

struct LayerJob {
  const DrawStates* states;
  const Triangle* triangle;
  const Span* spans;
  int count;
  uint16_t* colour;        // an R5G6B5 target's, or null
  uint32_t* colour_xrgb;   // an X8R8G8B8 target's, or null
  uint16_t* depth;
  const LayerColumns* columns;
  const LayerWindows* windows;  // null unless every half-group fits a window
  int16_t* row;               // kMaxLayerRowTexels + 1 entries of four int16
  int group_begin;            // first group's column, a multiple of the width
  bool monotonic;             // texel columns only grow: blend just what a row reads
  bool white;                 // the diffuse colour leaves the texel unchanged
  int diffuse_r, diffuse_g, diffuse_b;
  uint32_t fragment_depth;
  simd::BlendKind blend;
};

// The texture row j and vertical weight fv of a span's row.
void row_texels(const LayerJob& job, const Span& span, int32_t& j, int32_t& fv);

}  // namespace d3d8::raster
