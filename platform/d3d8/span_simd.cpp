// The fast path for textured triangles in general (the meshes): four pixels
// at a time in SSE2, perspective-correct or affine, bilinear or point, with
// Gouraud or flat colour. Each step is the reference formula lane by lane:
// the planes are evaluated in the same float order, 1/q is a true division
// (never the approximate reciprocal, whose bits differ between CPUs), and
// the filter and blend are the same integer arithmetic.
#include <algorithm>

#include "platform/d3d8/fast_paths.h"
#include "platform/d3d8/pixel_pipeline.h"
#include "platform/d3d8/simd_pixels.h"

namespace d3d8::raster {

namespace {

using simd::BlendKind;
using simd::Rgb8;

int log2_of(int v) {
  int n = 0;
  while ((1 << n) < v) ++n;
  return n;
}

// A plane's row value and slope, four lanes.
struct Lanes {
  __m128 row, slope;
  __m128 at(__m128 dx) const { return _mm_add_ps(row, _mm_mul_ps(slope, dx)); }
};

Lanes lanes_of(const Plane& p, float dy) {
  return {_mm_set1_ps(eval_row(p, dy)), _mm_set1_ps(p.a)};
}

// texel_coord: clamp, then truncate.
inline __m128i texel_coords(__m128 v) {
  v = _mm_max_ps(v, _mm_set1_ps(-kTexelCoordLimit));
  v = _mm_min_ps(v, _mm_set1_ps(kTexelCoordLimit));
  return _mm_cvttps_epi32(v);
}

// colour_byte: add a half, clamp, truncate.
inline __m128i colour_bytes(__m128 v) {
  v = _mm_add_ps(v, _mm_set1_ps(0.5f));
  v = _mm_max_ps(v, _mm_setzero_ps());
  v = _mm_min_ps(v, _mm_set1_ps(255.0f));
  return _mm_cvttps_epi32(v);
}

// int32 lanes (0..65535) to the low four 16-bit lanes.
inline __m128i narrow_u16(__m128i v) {
  const __m128i bias = _mm_set1_epi32(32768);
  __m128i packed = _mm_packs_epi32(_mm_sub_epi32(v, bias), _mm_sub_epi32(v, bias));
  return _mm_xor_si128(packed, simd::splat16(-32768));
}

inline __m128i depth_passes32(uint32_t func, __m128i f, __m128i s) {
  const __m128i all = _mm_set1_epi32(-1);
  switch (func) {
    case D3DCMP_NEVER: return _mm_setzero_si128();
    case D3DCMP_LESS: return _mm_cmplt_epi32(f, s);
    case D3DCMP_EQUAL: return _mm_cmpeq_epi32(f, s);
    case D3DCMP_LESSEQUAL: return _mm_xor_si128(_mm_cmpgt_epi32(f, s), all);
    case D3DCMP_GREATER: return _mm_cmpgt_epi32(f, s);
    case D3DCMP_NOTEQUAL: return _mm_xor_si128(_mm_cmpeq_epi32(f, s), all);
    case D3DCMP_GREATEREQUAL: return _mm_xor_si128(_mm_cmplt_epi32(f, s), all);
    default: return all;
  }
}

struct Setup {
  const uint32_t* texels;
  int stride, width_shift;
  __m128i width_mask, height_mask;
  bool bilinear, perspective, flat, white, z_test, z_write;
  uint32_t z_func;
  __m128i z_bias;
  Rgb8 flat_diffuse;
};

// Bilinear (or point, with zero weights) filtering of four pixels whose
// texel coordinates are s, t: b, g, r in lanes 0..3 of the channels.
inline Rgb8 sample4(const Setup& k, __m128i s, __m128i t) {
  if (k.bilinear) {
    s = _mm_sub_epi32(s, _mm_set1_epi32(kFilterOne / 2));
    t = _mm_sub_epi32(t, _mm_set1_epi32(kFilterOne / 2));
  }
  const __m128i fraction = _mm_set1_epi32(kFilterOne - 1);
  __m128i i = _mm_and_si128(_mm_srai_epi32(s, kFilterBits), k.width_mask);
  __m128i j = _mm_and_si128(_mm_srai_epi32(t, kFilterBits), k.height_mask);
  __m128i fu = k.bilinear ? _mm_and_si128(s, fraction) : _mm_setzero_si128();
  __m128i fv = k.bilinear ? _mm_and_si128(t, fraction) : _mm_setzero_si128();
  // Row j of the padded copy starts at j * (width + 1).
  __m128i index = _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(j, k.width_shift), j), i);
  // Per pixel: (kFilterOne - fu, fu) for pmaddwd, and fv in 16-bit lanes.
  const __m128i one = _mm_set1_epi32(kFilterOne);
  __m128i u_weights = _mm_or_si128(_mm_sub_epi32(one, fu), _mm_slli_epi32(fu, 16));
  __m128i v_weights = _mm_packs_epi32(fv, fv);
  v_weights = _mm_unpacklo_epi16(v_weights, v_weights);  // fv0 fv0 fv1 fv1 ...
  alignas(16) int32_t at[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
  const __m128i zero = _mm_setzero_si128();
  const __m128i round = _mm_set1_epi32(1 << (2 * kFilterBits - 1));
  __m128i result[4];
  auto pixel = [&](int lane, __m128i fv_lane, __m128i u_lane) {
    const uint32_t* p = k.texels + at[lane];
    __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    __m128i bottom = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + k.stride)), zero);
    // t0 * (1 - fv) + t1 * fv, computed as 128 t0 + (t1 - t0) fv: the same integer.
    __m128i column = _mm_add_epi16(_mm_slli_epi16(top, kFilterBits),
                                   _mm_mullo_epi16(_mm_sub_epi16(bottom, top), fv_lane));
    __m128i pair = _mm_unpacklo_epi16(column, _mm_srli_si128(column, 8));
    result[lane] = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pair, u_lane), round), 2 * kFilterBits);
  };
  pixel(0, _mm_shuffle_epi32(v_weights, 0x00), _mm_shuffle_epi32(u_weights, 0x00));
  pixel(1, _mm_shuffle_epi32(v_weights, 0x55), _mm_shuffle_epi32(u_weights, 0x55));
  pixel(2, _mm_shuffle_epi32(v_weights, 0xAA), _mm_shuffle_epi32(u_weights, 0xAA));
  pixel(3, _mm_shuffle_epi32(v_weights, 0xFF), _mm_shuffle_epi32(u_weights, 0xFF));
  __m128i q0 = _mm_packs_epi32(result[0], result[1]);  // b g r a b g r a
  __m128i q1 = _mm_packs_epi32(result[2], result[3]);
  __m128i t0 = _mm_unpacklo_epi16(q0, q1), t1 = _mm_unpackhi_epi16(q0, q1);
  __m128i u0 = _mm_unpacklo_epi16(t0, t1);  // b0..b3 g0..g3
  __m128i u1 = _mm_unpackhi_epi16(t0, t1);  // r0..r3 a0..a3
  return {u1, _mm_srli_si128(u0, 8), u0};
}

template <BlendKind kBlend>
void shade(const DrawStates& s, const Setup& k, const Triangle& t, const Span* spans, int count,
           uint16_t* colour, uint16_t* depth) {
  const __m128 lane_offsets = _mm_setr_ps(0, 1, 2, 3);
  const __m128i lane_index = _mm_setr_epi32(0, 1, 2, 3);
  for (int n = 0; n < count; ++n) {
    const Span& span = spans[n];
    const float dy = static_cast<float>(span.y) - t.y0;
    const Lanes z = lanes_of(t.z, dy), q = lanes_of(t.q, dy), u = lanes_of(t.u, dy), v = lanes_of(t.v, dy);
    Lanes c[3];
    if (!k.flat) {
      for (int ch = 0; ch < 3; ++ch) c[ch] = lanes_of(t.colour[ch], dy);
    }
    uint16_t* colour_row = colour + size_t(span.y) * kBackBufferWidth;
    uint16_t* depth_row = depth + size_t(span.y) * kBackBufferWidth;
    const __m128i x_end = _mm_set1_epi32(span.x_end);
    // Groups start where the span does (short spans are one group), moved
    // back at the row's end so they never leave it; lanes before `from`
    // were drawn by the previous group.
    for (int from = span.x_begin; from < span.x_end; from += 4) {
      const int x0 = std::min(from, kBackBufferWidth - 4);
      const __m128i x = _mm_add_epi32(_mm_set1_epi32(x0), lane_index);
      __m128i mask = _mm_andnot_si128(_mm_cmplt_epi32(x, _mm_set1_epi32(from)), _mm_cmplt_epi32(x, x_end));
      // Exact: both are multiples of 1/16 well inside float's precision.
      const __m128 dx = _mm_sub_ps(_mm_add_ps(_mm_set1_ps(static_cast<float>(x0)), lane_offsets), _mm_set1_ps(t.x0));
      __m128i* depth_at = reinterpret_cast<__m128i*>(depth_row + x0);
      __m128i fragment = _mm_setzero_si128();
      if (k.z_test) {
        __m128 d = _mm_add_ps(_mm_mul_ps(z.at(dx), _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
        d = _mm_min_ps(_mm_max_ps(d, _mm_setzero_ps()), _mm_set1_ps(65535.0f));
        fragment = _mm_cvttps_epi32(d);
        // apply_bias: depth > bias ? depth - bias : 0.
        fragment = _mm_and_si128(_mm_sub_epi32(fragment, k.z_bias), _mm_cmpgt_epi32(fragment, k.z_bias));
        const __m128i stored = _mm_unpacklo_epi16(_mm_loadl_epi64(depth_at), _mm_setzero_si128());
        mask = _mm_and_si128(mask, depth_passes32(k.z_func, fragment, stored));
      }
      if (_mm_movemask_epi8(mask) == 0) continue;
      __m128 su = u.at(dx), sv = v.at(dx);
      __m128 w = _mm_setzero_ps();
      if (k.perspective) {
        w = _mm_div_ps(_mm_set1_ps(1.0f), q.at(dx));
        su = _mm_mul_ps(su, w);
        sv = _mm_mul_ps(sv, w);
      }
      Rgb8 texel = sample4(k, texel_coords(su), texel_coords(sv));
      if (!k.white) {
        Rgb8 diffuse = k.flat_diffuse;
        if (!k.flat) {
          __m128i channel[3];
          for (int ch = 0; ch < 3; ++ch) {
            __m128 value = c[ch].at(dx);
            if (k.perspective) value = _mm_mul_ps(value, w);
            channel[ch] = _mm_packs_epi32(colour_bytes(value), colour_bytes(value));
          }
          diffuse = {channel[2], channel[1], channel[0]};
        }
        texel = simd::modulate(texel, diffuse);
      }
      const __m128i mask16 = _mm_packs_epi32(mask, mask);
      __m128i* colour_at = reinterpret_cast<__m128i*>(colour_row + x0);
      const __m128i old = _mm_loadl_epi64(colour_at);
      _mm_storel_epi64(colour_at, simd::select(mask16, simd::blend<kBlend>(s, texel, old), old));
      if (k.z_write) {
        _mm_storel_epi64(depth_at, simd::select(mask16, narrow_u16(fragment), _mm_loadl_epi64(depth_at)));
      }
    }
  }
}

}  // namespace

bool shade_spans_simd(const DrawStates& s, const Triangle& t, const Span* spans, int count,
                      uint16_t* colour, uint16_t* depth) {
  const SamplerTexture& tex = s.texture;
  BlendKind kind;
  if (tex.texels == nullptr || !tex.pow2 || s.address_u != D3DTADDRESS_WRAP ||
      s.address_v != D3DTADDRESS_WRAP || !simd::default_colour_op(s) || !simd::blend_supported(s, kind)) {
    return false;
  }
  Setup k;
  k.texels = tex.texels;
  k.stride = tex.stride;
  k.width_shift = log2_of(tex.width);
  k.width_mask = _mm_set1_epi32(tex.width - 1);
  k.height_mask = _mm_set1_epi32(tex.height - 1);
  k.bilinear = t.bilinear;
  k.perspective = t.perspective;
  k.flat = t.flat_colour;
  k.white = t.flat_colour && (t.flat_argb & 0xFFFFFF) == 0xFFFFFF;
  k.z_test = s.z_enable;
  k.z_write = s.z_enable && s.z_write;
  k.z_func = s.z_func;
  k.z_bias = _mm_set1_epi32(static_cast<int>(s.z_bias));
  k.flat_diffuse = {simd::splat16(int(channel_r(t.flat_argb))), simd::splat16(int(channel_g(t.flat_argb))),
                    simd::splat16(int(channel_b(t.flat_argb)))};
  switch (kind) {
    case BlendKind::kOpaque: shade<BlendKind::kOpaque>(s, k, t, spans, count, colour, depth); break;
    case BlendKind::kAdd: shade<BlendKind::kAdd>(s, k, t, spans, count, colour, depth); break;
    case BlendKind::kModulate2x: shade<BlendKind::kModulate2x>(s, k, t, spans, count, colour, depth); break;
    case BlendKind::kGeneral: shade<BlendKind::kGeneral>(s, k, t, spans, count, colour, depth); break;
  }
  return true;
}

}  // namespace d3d8::raster
