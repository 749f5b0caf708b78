// The fast path for screen layers: a textured triangle whose u depends on
// the column only and v on the row only, with one colour and one depth (a
// full-screen quad of the demo). Same bytes as the reference path: the
// values below come from the same plane evaluations, only computed once per
// column (u) or once per row (v) instead of once per pixel.
#include <algorithm>

#include "platform/d3d8/fast_paths.h"
#include "platform/d3d8/layer_rows.h"
#include "platform/d3d8/pixel_pipeline.h"

namespace d3d8::raster {

namespace {

// Fills `windows` for columns group_begin .. group_end (whole groups of
// sixteen) of a texture `width` texels wide, and says whether every
// half-group's pairs fit eight texels. Texels are taken around the wrap
// (255, 0, 1 as 255, 256, 257 of a 256-wide texture), which the planes'
// periodic padding serves.
bool fill_windows(const LayerColumns& c, int width, int group_begin, int group_end, LayerWindows& windows,
                  int16_t* planes) {
  const int half = width / 2;
  for (int x0 = group_begin; x0 < group_end; x0 += 8) {
    const int32_t* texel = c.texel + x0;
    int32_t offset[8];
    int32_t low = 0, high = 0;
    for (int k = 0; k < 8; ++k) {
      offset[k] = ((texel[k] - texel[0] + half) & (width - 1)) - half;
      low = std::min(low, offset[k]);
      high = std::max(high, offset[k]);
    }
    if (high - low > 6) return false;  // the right texel of the pair must fit too
    alignas(16) uint8_t left[16], right[16];
    for (int k = 0; k < 8; ++k) {
      const int at = 2 * (offset[k] - low);
      left[2 * k] = static_cast<uint8_t>(at), left[2 * k + 1] = static_cast<uint8_t>(at + 1);
      right[2 * k] = static_cast<uint8_t>(at + 2), right[2 * k + 1] = static_cast<uint8_t>(at + 3);
    }
    const int h = x0 / 8;
    windows.base[h] = texel[0] + low;  // -6 .. width - 1
    windows.left[h] = _mm_load_si128(reinterpret_cast<const __m128i*>(left));
    windows.right[h] = _mm_load_si128(reinterpret_cast<const __m128i*>(right));
  }
  for (int x0 = group_begin; x0 < group_end; x0 += 16) {
    // The weights of pixels k, as (kFilterOne - fu, fu) in 32-bit lanes; the
    // 16-wide column table holds columns x and x + 8 side by side.
    alignas(16) int32_t w[16];
    for (int k = 0; k < 16; ++k) w[k] = _mm_cvtsi128_si32(c.weights[weight_slot(x0 + k, 16)]);
    const int g = x0 / 16;
    windows.weights[4 * g + 0] = _mm_setr_epi32(w[0], w[1], w[2], w[3]);
    windows.weights[4 * g + 1] = _mm_setr_epi32(w[8], w[9], w[10], w[11]);
    windows.weights[4 * g + 2] = _mm_setr_epi32(w[4], w[5], w[6], w[7]);
    windows.weights[4 * g + 3] = _mm_setr_epi32(w[12], w[13], w[14], w[15]);
  }
  windows.planes = planes + LayerWindows::kPlanePadding;
  windows.wrap = width >= 2 * LayerWindows::kPlanePadding ? 0 : -1;
  for (int h = group_begin / 8 + 1; h < group_end / 8 && windows.wrap >= 0; ++h) {
    if (windows.base[h] >= windows.base[h - 1]) continue;
    windows.wrap = windows.wrap == 0 ? h : -1;
  }
  return true;
}


// Splits an interpolated coordinate (1/kFilterOne texel) into the left texel
// and weight of a bilinear pair, or the texel and weight 0 of point sampling.
void split_coordinate(int32_t coordinate, bool bilinear, int size, int32_t& texel, int32_t& weight) {
  if (bilinear) coordinate -= kFilterOne / 2;
  texel = (coordinate >> kFilterBits) & (size - 1);
  weight = bilinear ? coordinate & (kFilterOne - 1) : 0;
}

// Either colour pointer is null: the target is one or the other.
bool shade_layer(const DrawStates& s, RasterScratch& scratch, const Triangle& t, const Span* spans, int count,
                 uint16_t* colour, uint32_t* colour_xrgb, uint16_t* depth);

}  // namespace

void row_texels(const LayerJob& job, const Span& span, int32_t& j, int32_t& fv) {
  const Triangle& t = *job.triangle;
  const float dy = static_cast<float>(span.y) - t.y0;
  const float dx = static_cast<float>(span.x_begin) - t.x0;
  split_coordinate(texel_coord(eval_at(t.v, eval_row(t.v, dy), dx)), t.bilinear, job.states->texture.height, j, fv);
}

bool shade_spans_layer(const DrawStates& s, RasterScratch& scratch, const Triangle& t, const Span* spans,
                       int count, uint16_t* colour, uint16_t* depth) {
  return shade_layer(s, scratch, t, spans, count, colour, nullptr, depth);
}

bool shade_spans_layer(const DrawStates& s, RasterScratch& scratch, const Triangle& t, const Span* spans,
                       int count, uint32_t* colour, uint16_t* depth) {
  return shade_layer(s, scratch, t, spans, count, nullptr, colour, depth);
}

namespace {

bool shade_layer(const DrawStates& s, RasterScratch& scratch, const Triangle& t, const Span* spans, int count,
                 uint16_t* colour, uint32_t* colour_xrgb, uint16_t* depth) {
  const SamplerTexture& tex = s.texture;
  simd::BlendKind kind;
  if (tex.texels == nullptr || !tex.pow2 || tex.width + 1 > kMaxLayerRowTexels ||
      s.address_u != D3DTADDRESS_WRAP || s.address_v != D3DTADDRESS_WRAP || t.perspective ||
      !t.flat_colour || t.u.b != 0.0f || t.v.a != 0.0f ||
      (s.z_enable && (t.z.a != 0.0f || t.z.b != 0.0f)) || !simd::default_colour_op(s) ||
      !simd::blend_supported(s, kind)) {
    return false;
  }
  finish_deferred_pixels(s, scratch);
  // The columns are laid out for sixteen pixels whenever AVX2 is there;
  // the widest width reads them through the windows alone, and its groups
  // of thirty-two are whole groups of sixteen too.
  const KernelTable& kernels = *s.kernels;
  const int width = kernels.layer_width;
  const int group = kernels.layer_group;
  LayerColumns& columns = scratch.columns;
  int x_begin = s.target.width, x_end = 0;
  for (int n = 0; n < count; ++n) {
    x_begin = std::min<int>(x_begin, spans[n].x_begin);
    x_end = std::max<int>(x_end, spans[n].x_end);
  }
  const int group_begin = x_begin & ~(group - 1);
  const int group_end = std::min(s.target.width, (x_end + group - 1) & ~(group - 1));
  // u for every column, from the same evaluation the reference makes
  // (u.b is 0, so every row gives the same row value).
  const float u_row = eval_row(t.u, static_cast<float>(spans[0].y) - t.y0);
  for (int x = group_begin; x < group_end; ++x) {
    int32_t i, fu;
    split_coordinate(texel_coord(eval_at(t.u, u_row, static_cast<float>(x) - t.x0)), t.bilinear, tex.width, i, fu);
    columns.texel[x] = i;
    columns.weights[weight_slot(x, width)] = _mm_set1_epi32((kFilterOne - fu) | fu << 16);
  }
  // Columns whose texels only grow (no wrap inside the triangle) let each
  // row blend just the texels it reads.
  bool monotonic = true;
  for (int x = group_begin + 1; x < group_end; ++x) {
    monotonic = monotonic && columns.texel[x] >= columns.texel[x - 1];
  }
  uint32_t fragment_depth = 0;
  if (s.z_enable) {
    const float dy = static_cast<float>(spans[0].y) - t.y0;
    fragment_depth = apply_bias(
        depth16(eval_at(t.z, eval_row(t.z, dy), static_cast<float>(spans[0].x_begin) - t.x0)), s.z_bias);
  }
  // Windowed rows blend the whole texture row: worth it unless the layer
  // covers only a small part of a wide texture.
  const bool windowed = width == 16 && tex.width <= 2 * (group_end - group_begin) &&
                        fill_windows(columns, tex.width, group_begin, group_end, scratch.windows, scratch.planes);
  const LayerJob job = {&s, &t, spans, count, colour, colour_xrgb, depth, &columns, windowed ? &scratch.windows : nullptr,
                        scratch.row,
                        group_begin, monotonic,
                        (t.flat_argb & 0xFFFFFF) == 0xFFFFFF, int(channel_r(t.flat_argb)),
                        int(channel_g(t.flat_argb)), int(channel_b(t.flat_argb)), fragment_depth, kind};
  (windowed ? kernels.shade_windowed_layer_rows : kernels.shade_layer_rows)(job);
  return true;
}

}  // namespace

}  // namespace d3d8::raster
