// The fast path for screen layers: a textured triangle whose u depends on
// the column only and v on the row only, with one colour and one depth (a
// full-screen quad of the demo). Same bytes as the reference path: the
// values below come from the same plane evaluations, only computed once per
// column (u) or once per row (v) instead of once per pixel.
#include <algorithm>
#include <array>

#include "platform/d3d8/fast_paths.h"
#include "platform/d3d8/pixel_pipeline.h"
#include "platform/d3d8/simd_pixels.h"

namespace d3d8::raster {

namespace {

using simd::BlendKind;
using simd::Rgb8;

// Per column of the triangle: the left texel of the bilinear pair (already
// wrapped) and the pair's weights, (kFilterOne - fu, fu) in every 32-bit
// lane for pmaddwd.
struct ColumnTable {
  std::array<int32_t, kBackBufferWidth> texel;
  __m128i weights[kBackBufferWidth];
};

// Per texel of one texture row blended vertically for the current screen
// row: b, g, r, a as int16, with one extra entry for the wrap.
constexpr int kMaxRowTexels = 4097;

struct Scratch {
  ColumnTable columns;
  alignas(16) int16_t row[(kMaxRowTexels + 1) * 4];
};

// Written and read only by shade_spans_layer, on the drawing thread.
Scratch scratch;

// Splits an interpolated coordinate (1/kFilterOne texel) into the left texel
// and weight of a bilinear pair, or the texel and weight 0 of point sampling.
void split(int32_t coordinate, bool bilinear, int size, int32_t& texel, int32_t& weight) {
  if (bilinear) coordinate -= kFilterOne / 2;
  texel = (coordinate >> kFilterBits) & (size - 1);
  weight = bilinear ? coordinate & (kFilterOne - 1) : 0;
}

// Texels first..last of row j blended with row j + 1 by fv into
// scratch.row (last at most width: the padded column).
void blend_rows(const SamplerTexture& tex, int32_t j, int32_t fv, int first, int last) {
  const uint32_t* r0 = tex.texels + size_t(j) * tex.stride;
  const uint32_t* r1 = r0 + tex.stride;
  const __m128i w0 = simd::splat16(kFilterOne - fv), w1 = simd::splat16(fv);
  const __m128i zero = _mm_setzero_si128();
  int16_t* out = scratch.row;
  int i = first;
  for (; i + 4 <= last + 1; i += 4) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + i));
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), w0),
                               _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), w1));
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), w0),
                               _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), w1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i + 8), hi);
  }
  for (; i <= last; ++i) {
    for (int ch = 0; ch < 4; ++ch) {
      out[4 * i + ch] = static_cast<int16_t>(((r0[i] >> (8 * ch)) & 0xFF) * (kFilterOne - fv) +
                                             ((r1[i] >> (8 * ch)) & 0xFF) * fv);
    }
  }
}

// Filters one pixel from the blended row: four int32 lanes b, g, r, a.
inline __m128i filter_pixel(int x) {
  // [c_i | c_i+1] -> pairs (c_i.ch, c_i+1.ch) -> weighted sums per channel.
  __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scratch.row + 4 * scratch.columns.texel[x]));
  pair = _mm_unpacklo_epi16(pair, _mm_srli_si128(pair, 8));
  __m128i sum = _mm_madd_epi16(pair, scratch.columns.weights[x]);
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (2 * kFilterBits - 1))), 2 * kFilterBits);
}

// Eight filtered pixels from column x0 on, as planar channels.
inline Rgb8 filter_group(int x0) {
  __m128i q0 = _mm_packs_epi32(filter_pixel(x0), filter_pixel(x0 + 1));
  __m128i q1 = _mm_packs_epi32(filter_pixel(x0 + 2), filter_pixel(x0 + 3));
  __m128i q2 = _mm_packs_epi32(filter_pixel(x0 + 4), filter_pixel(x0 + 5));
  __m128i q3 = _mm_packs_epi32(filter_pixel(x0 + 6), filter_pixel(x0 + 7));
  // Transpose [b g r a b g r a] pairs into eight-lane channels.
  __m128i t0 = _mm_unpacklo_epi16(q0, q1), t1 = _mm_unpackhi_epi16(q0, q1);
  __m128i t2 = _mm_unpacklo_epi16(q2, q3), t3 = _mm_unpackhi_epi16(q2, q3);
  __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
  __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
  return {_mm_unpacklo_epi64(u1, u3), _mm_unpackhi_epi64(u0, u2), _mm_unpacklo_epi64(u0, u2)};
}

template <BlendKind kBlend>
void shade(const DrawStates& s, const Triangle& t, const Span* spans, int count, uint16_t* colour,
           uint16_t* depth, int group_begin, bool monotonic, bool white, const Rgb8& diffuse,
           uint32_t fragment_depth) {
  const SamplerTexture& tex = s.texture;
  const __m128i fragment = simd::splat16(static_cast<int>(fragment_depth));
  for (int n = 0; n < count; ++n) {
    const Span& span = spans[n];
    const float dy = static_cast<float>(span.y) - t.y0;
    int32_t j, fv;
    const float dx = static_cast<float>(span.x_begin) - t.x0;
    split(texel_coord(eval_at(t.v, eval_row(t.v, dy), dx)), t.bilinear, tex.height, j, fv);
    const int x_first = std::max(group_begin, span.x_begin & ~7);
    if (monotonic) {
      // Only the texels this row's groups read: from the first group's
      // left texel to the last group's right one.
      const int x_last = ((span.x_end + 7) & ~7) - 1;
      blend_rows(tex, j, fv, scratch.columns.texel[x_first], scratch.columns.texel[x_last] + 1);
    } else {
      blend_rows(tex, j, fv, 0, tex.width);
    }
    uint16_t* colour_row = colour + size_t(span.y) * kBackBufferWidth;
    uint16_t* depth_row = depth + size_t(span.y) * kBackBufferWidth;
    for (int x0 = x_first; x0 < span.x_end; x0 += 8) {
      __m128i mask = simd::span_mask(x0, span.x_begin, span.x_end);
      __m128i* depth_at = reinterpret_cast<__m128i*>(depth_row + x0);
      if (s.z_enable) {
        mask = _mm_and_si128(mask, simd::depth_passes(s.z_func, fragment, _mm_loadu_si128(depth_at)));
        if (_mm_movemask_epi8(mask) == 0) continue;
      }
      Rgb8 c = filter_group(x0);
      if (!white) c = simd::modulate(c, diffuse);
      __m128i* colour_at = reinterpret_cast<__m128i*>(colour_row + x0);
      const __m128i old = _mm_loadu_si128(colour_at);
      _mm_storeu_si128(colour_at, simd::select(mask, simd::blend<kBlend>(s, c, old), old));
      if (s.z_enable && s.z_write) {
        _mm_storeu_si128(depth_at, simd::select(mask, fragment, _mm_loadu_si128(depth_at)));
      }
    }
  }
}

}  // namespace

bool shade_spans_layer(const DrawStates& s, const Triangle& t, const Span* spans, int count,
                       uint16_t* colour, uint16_t* depth) {
  const SamplerTexture& tex = s.texture;
  BlendKind kind;
  if (tex.texels == nullptr || !tex.pow2 || tex.width + 1 > kMaxRowTexels ||
      s.address_u != D3DTADDRESS_WRAP || s.address_v != D3DTADDRESS_WRAP || t.perspective ||
      !t.flat_colour || t.u.b != 0.0f || t.v.a != 0.0f ||
      (s.z_enable && (t.z.a != 0.0f || t.z.b != 0.0f)) || !simd::default_colour_op(s) ||
      !simd::blend_supported(s, kind)) {
    return false;
  }
  // Groups of eight start at multiples of 8; 640 is one, so a group never
  // leaves its row.
  static_assert(kBackBufferWidth % 8 == 0);
  int x_begin = kBackBufferWidth, x_end = 0;
  for (int n = 0; n < count; ++n) {
    x_begin = std::min<int>(x_begin, spans[n].x_begin);
    x_end = std::max<int>(x_end, spans[n].x_end);
  }
  const int group_begin = x_begin & ~7;
  const int group_end = std::min(kBackBufferWidth, (x_end + 7) & ~7);
  // u for every column, from the same evaluation the reference makes
  // (u.b is 0, so every row gives the same row value).
  const float u_row = eval_row(t.u, static_cast<float>(spans[0].y) - t.y0);
  for (int x = group_begin; x < group_end; ++x) {
    int32_t i, fu;
    split(texel_coord(eval_at(t.u, u_row, static_cast<float>(x) - t.x0)), t.bilinear, tex.width, i, fu);
    scratch.columns.texel[x] = i;
    scratch.columns.weights[x] = _mm_set1_epi32((kFilterOne - fu) | fu << 16);
  }
  // Columns whose texels only grow (no wrap inside the triangle) let each
  // row blend just the texels it reads.
  bool monotonic = true;
  for (int x = group_begin + 1; x < group_end; ++x) {
    monotonic = monotonic && scratch.columns.texel[x] >= scratch.columns.texel[x - 1];
  }
  uint32_t fragment_depth = 0;
  if (s.z_enable) {
    const float dy = static_cast<float>(spans[0].y) - t.y0;
    fragment_depth = apply_bias(
        depth16(eval_at(t.z, eval_row(t.z, dy), static_cast<float>(spans[0].x_begin) - t.x0)), s.z_bias);
  }
  const bool white = (t.flat_argb & 0xFFFFFF) == 0xFFFFFF;
  const Rgb8 diffuse = {simd::splat16(int(channel_r(t.flat_argb))), simd::splat16(int(channel_g(t.flat_argb))),
                        simd::splat16(int(channel_b(t.flat_argb)))};
  switch (kind) {
    case BlendKind::kOpaque:
      shade<BlendKind::kOpaque>(s, t, spans, count, colour, depth, group_begin, monotonic, white, diffuse, fragment_depth);
      break;
    case BlendKind::kAdd:
      shade<BlendKind::kAdd>(s, t, spans, count, colour, depth, group_begin, monotonic, white, diffuse, fragment_depth);
      break;
    case BlendKind::kModulate2x:
      shade<BlendKind::kModulate2x>(s, t, spans, count, colour, depth, group_begin, monotonic, white, diffuse, fragment_depth);
      break;
    case BlendKind::kGeneral:
      shade<BlendKind::kGeneral>(s, t, spans, count, colour, depth, group_begin, monotonic, white, diffuse, fragment_depth);
      break;
  }
  return true;
}

}  // namespace d3d8::raster
