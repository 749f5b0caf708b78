// The mesh path four pixels at a time in SSE2, for any x86-64 CPU:
// perspective-correct or affine, bilinear or point, Gouraud or flat colour.
// Each step is the reference formula lane by lane: the planes are
// evaluated in the same float order, 1/q is a true division (never the
// approximate reciprocal, whose bits differ between CPUs), and the filter
// and blend are the same integer arithmetic.
#include "platform/d3d8/kernels.h"
#include <type_traits>

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/simd_xrgb.h"
#include "platform/d3d8/span_job.h"
#include "platform/d3d8/span_walk.h"

namespace d3d8::raster::sse2 {

namespace {

using simd::BlendKind;
using simd::Rgb8;
using Setup = SpanSetup<__m128i>;

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

// Bilinear (or point, with zero weights) filtering of four pixels whose
// texel coordinates are s, t: b, g, r in lanes 0..3 of the channels.
[[gnu::always_inline]] inline Rgb8 sample4(const Setup& k, __m128i s, __m128i t) {
  if (k.bilinear) {
    s = _mm_sub_epi32(s, k.filter_half);
    t = _mm_sub_epi32(t, k.filter_half);
  }
  const __m128i fraction = _mm_set1_epi32(kFilterOne - 1);
  __m128i i = _mm_and_si128(_mm_srai_epi32(s, kFilterBits), k.width_mask);
  __m128i j = _mm_and_si128(_mm_srai_epi32(t, kFilterBits), k.height_mask);
  __m128i fu = k.bilinear ? _mm_and_si128(s, fraction) : _mm_setzero_si128();
  __m128i fv = k.bilinear ? _mm_and_si128(t, fraction) : _mm_setzero_si128();
  // Row j of the padded copy starts at j * (width + 1).
  __m128i index = _mm_add_epi32(_mm_add_epi32(_mm_sll_epi32(j, k.width_shift_count), j), i);
  // Per pixel: (kFilterOne - fu, fu) for pmaddwd, and fv in 16-bit lanes.
  __m128i u_weights = _mm_or_si128(_mm_sub_epi32(k.filter_one, fu), _mm_slli_epi32(fu, 16));
  __m128i v_weights = _mm_packs_epi32(fv, fv);
  v_weights = _mm_unpacklo_epi16(v_weights, v_weights);  // fv0 fv0 fv1 fv1 ...
  // Unsigned (the indices are never negative), so each widens to an
  // address for free.
  alignas(16) uint32_t at[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
  const uint32_t* const bottom_row = k.texels + k.stride;
  const __m128i zero = _mm_setzero_si128();
  const __m128i round = k.filter_round;
  __m128i result[4];
  auto pixel = [&](int lane, __m128i fv_lane, __m128i u_lane) {
    const uint32_t* p = k.texels + at[lane];
    const uint32_t* below = bottom_row + at[lane];
    __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    __m128i bottom = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(below)), zero);
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

// The offsets of four pixels from the triangle's first vertex. Exact: both
// are multiples of 1/16 well inside float's precision.
struct Quad {
  __m128 dx, dy;
};

inline Quad quad_at(const Triangle& t, __m128i xi, __m128i yi) {
  return {_mm_sub_ps(_mm_cvtepi32_ps(xi), _mm_set1_ps(t.x0)), _mm_sub_ps(_mm_cvtepi32_ps(yi), _mm_set1_ps(t.y0))};
}

[[gnu::always_inline]] inline __m128 plane_at(const Plane& p, const Quad& q) {
  const __m128 row = _mm_add_ps(_mm_set1_ps(p.c), _mm_mul_ps(_mm_set1_ps(p.b), q.dy));
  return _mm_add_ps(row, _mm_mul_ps(_mm_set1_ps(p.a), q.dx));
}

// depth16 and apply_bias of four pixels, as int32 lanes.
[[gnu::always_inline]] inline __m128i fragment_depths(const Setup& k, const Triangle& t, const Quad& q) {
  __m128 d = _mm_add_ps(_mm_mul_ps(plane_at(t.z, q), _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
  d = _mm_min_ps(_mm_max_ps(d, _mm_setzero_ps()), _mm_set1_ps(65535.0f));
  const __m128i fragment = _mm_cvttps_epi32(d);
  // apply_bias: depth > bias ? depth - bias : 0.
  return _mm_and_si128(_mm_sub_epi32(fragment, k.z_bias), _mm_cmpgt_epi32(fragment, k.z_bias));
}

// The filtered texel and the diffuse colour of four pixels, in the low four
// 16-bit lanes of each channel (the flat diffuse fills all eight).
[[gnu::always_inline]] inline void colour_quad(const Setup& k, const Triangle& t, const Quad& q, Rgb8& texel,
                                               Rgb8& diffuse) {
  __m128 su = plane_at(t.u, q), sv = plane_at(t.v, q);
  __m128 w = _mm_setzero_ps();
  if (k.perspective) {
    w = _mm_div_ps(_mm_set1_ps(1.0f), plane_at(t.q, q));
    su = _mm_mul_ps(su, w);
    sv = _mm_mul_ps(sv, w);
  }
  texel = sample4(k, texel_coords(su), texel_coords(sv));
  diffuse = k.flat_diffuse;
  if (!k.white && !k.flat) {
    __m128i channel[3];
    for (int ch = 0; ch < 3; ++ch) {
      __m128 value = plane_at(t.colour[ch], q);
      if (k.perspective) value = _mm_mul_ps(value, w);
      channel[ch] = _mm_packs_epi32(colour_bytes(value), colour_bytes(value));
    }
    diffuse = {channel[2], channel[1], channel[0]};
  }
}

// Pixel is the target's: uint16_t (R5G6B5) or uint32_t (X8R8G8B8). Only
// the old colour's channels and the stored result differ between them.
template <BlendKind kBlend, class Pixel>
[[gnu::always_inline]] inline void shade_group(const DrawStates& s, const Setup& k, const Triangle& t,
                                               const int32_t* xs, const int32_t* ys, int count, Pixel* colour,
                                               uint16_t* depth) {
  const Quad q = quad_at(t, _mm_loadu_si128(reinterpret_cast<const __m128i*>(xs)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(ys)));
  int offset[4];
  for (int i = 0; i < 4; ++i) offset[i] = ys[i] * s.target.width + xs[i];
  __m128i mask = _mm_cmplt_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(count));
  __m128i fragment = _mm_setzero_si128();
  if (k.z_test) {
    fragment = fragment_depths(k, t, q);
    const __m128i stored = _mm_setr_epi32(depth[offset[0]], depth[offset[1]], depth[offset[2]], depth[offset[3]]);
    mask = _mm_and_si128(mask, depth_passes32(k.z_func, fragment, stored));
    if (_mm_movemask_epi8(mask) == 0) return;
  }
  Rgb8 texel, diffuse;
  colour_quad(k, t, q, texel, diffuse);
  if (!k.white) texel = simd::modulate(texel, diffuse);
  // Only the lanes that pass are written (never those past count): the
  // others keep what they hold, so opaque drawing never reads the old
  // colour, and no depth is read twice.
  alignas(16) Pixel out[16 / sizeof(Pixel)];
  if constexpr (std::is_same_v<Pixel, uint16_t>) {
    __m128i old = _mm_setzero_si128();
    if constexpr (kBlend != BlendKind::kOpaque) {
      old = _mm_setr_epi16(static_cast<int16_t>(colour[offset[0]]), static_cast<int16_t>(colour[offset[1]]),
                           static_cast<int16_t>(colour[offset[2]]), static_cast<int16_t>(colour[offset[3]]), 0, 0, 0,
                           0);
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(out), simd::blend<kBlend>(s, texel, old));
  } else {
    // The four pixels are the low half of a register's 16-bit lanes.
    Rgb8 result = texel;
    if constexpr (kBlend != BlendKind::kOpaque) {
      const simd::Pixels32<__m128i> old = {
          _mm_setr_epi32(static_cast<int>(colour[offset[0]]), static_cast<int>(colour[offset[1]]),
                         static_cast<int>(colour[offset[2]]), static_cast<int>(colour[offset[3]])),
          _mm_setzero_si128()};
      result = simd::blend_rgb<kBlend>(s, texel, simd::unpack_xrgb(old));
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(out), simd::pack_xrgb(result).lo);
  }
  alignas(16) uint16_t out_depth[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(out_depth), narrow_u16(fragment));
  const unsigned pass = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(mask)));
  for (unsigned m = pass; m != 0; m &= m - 1) {
    const int i = __builtin_ctz(m);
    colour[offset[i]] = out[i];
    if (k.z_write) depth[offset[i]] = out_depth[i];
  }
}

// Eight neighbouring pixels of one row, x .. x + 7, all covered: the same
// values as shade_group gives them, but the colour and depth are read and
// written as one vector each, and the 16-bit arithmetic runs on all eight
// lanes at once. Long rows of big triangles (a mesh seen from close by)
// spend most of their pixels here.
template <BlendKind kBlend, class Pixel>
[[gnu::always_inline]] inline void shade_run8(const DrawStates& s, const Setup& k, const Triangle& t, int y, int x,
                                              Pixel* colour, uint16_t* depth) {
  const __m128i yi = _mm_set1_epi32(y);
  const __m128i x_lo = _mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3));
  const Quad q_lo = quad_at(t, x_lo, yi);
  const Quad q_hi = quad_at(t, _mm_add_epi32(x_lo, _mm_set1_epi32(4)), yi);
  const size_t at = size_t(y) * s.target.width + x;
  __m128i* depth_at = reinterpret_cast<__m128i*>(depth + at);
  Pixel* colour_at = colour + at;
  __m128i mask16 = _mm_set1_epi32(-1);
  __m128i fragment16 = _mm_setzero_si128(), stored16 = _mm_setzero_si128();
  if (k.z_test) {
    const __m128i f_lo = fragment_depths(k, t, q_lo), f_hi = fragment_depths(k, t, q_hi);
    stored16 = _mm_loadu_si128(depth_at);
    const __m128i zero = _mm_setzero_si128();
    const __m128i m_lo = depth_passes32(k.z_func, f_lo, _mm_unpacklo_epi16(stored16, zero));
    const __m128i m_hi = depth_passes32(k.z_func, f_hi, _mm_unpackhi_epi16(stored16, zero));
    mask16 = _mm_packs_epi32(m_lo, m_hi);
    if (_mm_movemask_epi8(mask16) == 0) return;
    const __m128i bias = _mm_set1_epi32(32768);
    fragment16 = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(f_lo, bias), _mm_sub_epi32(f_hi, bias)),
                               simd::splat16(-32768));
  }
  Rgb8 lo, hi, d_lo, d_hi;
  colour_quad(k, t, q_lo, lo, d_lo);
  colour_quad(k, t, q_hi, hi, d_hi);
  Rgb8 texel = {_mm_unpacklo_epi64(lo.r, hi.r), _mm_unpacklo_epi64(lo.g, hi.g), _mm_unpacklo_epi64(lo.b, hi.b)};
  if (!k.white) {
    Rgb8 diffuse = k.flat_diffuse;
    if (!k.flat) {
      diffuse = {_mm_unpacklo_epi64(d_lo.r, d_hi.r), _mm_unpacklo_epi64(d_lo.g, d_hi.g),
                 _mm_unpacklo_epi64(d_lo.b, d_hi.b)};
    }
    texel = simd::modulate(texel, diffuse);
  }
  if constexpr (std::is_same_v<Pixel, uint16_t>) {
    __m128i* at16 = reinterpret_cast<__m128i*>(colour_at);
    const __m128i old = _mm_loadu_si128(at16);
    _mm_storeu_si128(at16, simd::select(mask16, simd::blend<kBlend>(s, texel, old), old));
  } else {
    const simd::Pixels32<__m128i> old = simd::load_pixels32<__m128i>(colour_at);
    const simd::Pixels32<__m128i> blended = simd::pack_xrgb(simd::blend_rgb<kBlend>(s, texel, simd::unpack_xrgb(old)));
    simd::store_pixels32(colour_at, simd::select_pixels32(mask16, blended, old));
  }
  if (k.z_write) _mm_storeu_si128(depth_at, simd::select(mask16, fragment16, stored16));
}

template <BlendKind kBlend, class Pixel>
void shade(PixelList& list, const Setup& k, const SpanJob& job, Pixel* colour) {
  const DrawStates& s = *job.states;
  const Triangle& t = *job.triangle;
  walk_spans<4>(
      list, job.spans, job.count,
      [&](int y, int x, int x_end) {
        for (; x + kRun <= x_end; x += kRun) shade_run8<kBlend>(s, k, t, y, x, colour, job.depth);
        return x;
      },
      [&](const int32_t* xs, const int32_t* ys, int n) { shade_group<kBlend>(s, k, t, xs, ys, n, colour, job.depth); });
}

}  // namespace

void shade_spans(RasterScratch& scratch, const SpanJob& job) {
  const Setup k = setup_of<__m128i>(job);
  simd::with_blend(job.blend,
                   [&](auto kind) { shade<decltype(kind)::value>(scratch.pixel_list, k, job, job.colour); });
}

void shade_spans_xrgb(RasterScratch& scratch, const SpanJob& job) {
  const Setup k = setup_of<__m128i>(job);
  simd::with_blend(job.blend,
                   [&](auto kind) { shade<decltype(kind)::value>(scratch.pixel_list, k, job, job.colour_xrgb); });
}

}  // namespace d3d8::raster::sse2
