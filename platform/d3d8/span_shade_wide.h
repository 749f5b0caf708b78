// The mesh path eight pixels at a time, compiled once per wide instruction
// set (span_simd_avx2.cpp, span_simd_avx512.cpp) and called only after the
// CPU has said it has it. The same formulas as the SSE2 width, lane by
// lane: planes in float in the same order, a true division for 1/q, the
// same integer filter and blend. The eight pixels' blend runs in the eight
// 16-bit lanes of one SSE register, full rather than half used. Built for
// AVX-512 the code is the same but for the encodings and registers the
// compiler may use: the filter stays two pixels a register, which measured
// faster than four a 512-bit register with the texel pairs gathered.
//
// Everything here lives in the namespace of the instruction set the
// including file is built for, with internal linkage, and calls nothing
// inline from elsewhere but the SIMD helpers, which are named after their
// instruction set too: a shared inline function compiled for AVX2 could
// otherwise be the copy the linker keeps for every caller. The state it
// keeps between calls is the caller's RasterScratch.
#pragma once

#include <algorithm>
#include <new>
#include <type_traits>

#include "platform/d3d8/kernels.h"
#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/raster_scratch.h"
#include "platform/d3d8/simd_xrgb.h"
#include "platform/d3d8/span_job.h"
#include "platform/d3d8/span_walk.h"
#include "platform/d3d8/triangle.h"

namespace d3d8::raster::D3D8_SIMD_ISA {

namespace {

using simd::BlendKind;
using simd::Rgb8;
using Setup = SpanSetup<__m256i>;

// texel_coord: clamp, then truncate.
inline __m256i texel_coords(__m256 v) {
  v = _mm256_max_ps(v, _mm256_set1_ps(-kTexelCoordLimit));
  v = _mm256_min_ps(v, _mm256_set1_ps(kTexelCoordLimit));
  return _mm256_cvttps_epi32(v);
}

// colour_byte (add a half, clamp, truncate) of eight pixels, as 16-bit lanes.
inline __m128i colour_bytes(__m256 v) {
  v = _mm256_add_ps(v, _mm256_set1_ps(0.5f));
  v = _mm256_max_ps(v, _mm256_setzero_ps());
  v = _mm256_min_ps(v, _mm256_set1_ps(255.0f));
  const __m256i bytes = _mm256_cvttps_epi32(v);
  return _mm_packs_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
}

// Eight int32 lanes 0..65535 as eight 16-bit lanes.
inline __m128i narrow_u16(__m256i v) {
  return _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// The lanes passing, as eight 16-bit masks.
inline __m128i depth_passes(uint32_t func, __m256i f, __m256i s) {
  const __m256i all = _mm256_set1_epi32(-1);
  __m256i pass;
  switch (func) {
    case D3DCMP_NEVER: pass = _mm256_setzero_si256(); break;
    case D3DCMP_LESS: pass = _mm256_cmpgt_epi32(s, f); break;
    case D3DCMP_EQUAL: pass = _mm256_cmpeq_epi32(f, s); break;
    case D3DCMP_LESSEQUAL: pass = _mm256_xor_si256(_mm256_cmpgt_epi32(f, s), all); break;
    case D3DCMP_GREATER: pass = _mm256_cmpgt_epi32(f, s); break;
    case D3DCMP_NOTEQUAL: pass = _mm256_xor_si256(_mm256_cmpeq_epi32(f, s), all); break;
    case D3DCMP_GREATEREQUAL: pass = _mm256_xor_si256(_mm256_cmpgt_epi32(s, f), all); break;
    default: pass = all; break;
  }
  return _mm_packs_epi32(_mm256_castsi256_si128(pass), _mm256_extracti128_si256(pass, 1));
}

// Bilinear (or point, with zero weights) filtering of eight pixels whose
// texel coordinates are s, t. Pixels k and k + 4 share a register, one per
// 128-bit half, through the filter; the channels come out in order.
[[gnu::always_inline]] inline Rgb8 sample8(const Setup& k, __m256i s, __m256i t) {
  if (k.bilinear) {
    s = _mm256_sub_epi32(s, k.filter_half);
    t = _mm256_sub_epi32(t, k.filter_half);
  }
  const __m256i fraction = _mm256_set1_epi32(kFilterOne - 1);
  __m256i i = _mm256_and_si256(_mm256_srai_epi32(s, kFilterBits), k.width_mask);
  __m256i j = _mm256_and_si256(_mm256_srai_epi32(t, kFilterBits), k.height_mask);
  __m256i fu = k.bilinear ? _mm256_and_si256(s, fraction) : _mm256_setzero_si256();
  __m256i fv = k.bilinear ? _mm256_and_si256(t, fraction) : _mm256_setzero_si256();
  // Row j of the padded copy starts at j * (width + 1).
  __m256i index = _mm256_add_epi32(_mm256_add_epi32(_mm256_sll_epi32(j, k.width_shift_count), j), i);
  // Per pixel: (kFilterOne - fu, fu) for pmaddwd, and the bytes
  // (kFilterOne - fv, fv) for pmaddubsw, twice in a 32-bit lane.
  const __m256i u_weights = _mm256_or_si256(_mm256_sub_epi32(k.filter_one, fu), _mm256_slli_epi32(fu, 16));
  __m256i v_weights = _mm256_or_si256(_mm256_sub_epi32(k.filter_one, fv), _mm256_slli_epi32(fv, 8));
  v_weights = _mm256_or_si256(v_weights, _mm256_slli_epi32(v_weights, 16));
  // Unsigned (the indices are never negative), so each widens to an
  // address for free. Read back through a volatile pointer: left to
  // itself, the compiler takes each index out of the register (two
  // instructions apiece for AVX-512) where one load of the stored copy
  // does: the orbiter frames measured 1 to 4% faster for it.
  alignas(32) uint32_t at[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
  // The texel rows each pixel reads from start at its index in these two.
  const uint32_t* const top_row = k.texels;
  const uint32_t* const bottom_row = k.texels + k.stride;
  auto pair = [&](const uint32_t* row, uint32_t n) __attribute__((always_inline)) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + n));
  };
  const volatile uint32_t* const stored_at = at;
  // pmaddubsw multiplies unsigned bytes by signed ones: the weights (up to
  // kFilterOne) are the unsigned side, and the texels become signed less
  // 128. Each column is then 128 t0 + (t1 - t0) fv less 128 * 128, and the
  // sum across less 128 * 128 * kFilterOne, which the rounding adds back:
  // the same integers as filtering the texels themselves.
  const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80));
  const __m256i round = _mm256_set1_epi32((1 << (2 * kFilterBits - 1)) + (128 << kFilterBits) * kFilterOne);
  auto pixels = [&](int lane, __m256i v_lane, __m256i u_lane) __attribute__((always_inline)) {
    // Each texel's byte over the one below it, pixel lane in the lower half
    // and pixel lane + 4 in the upper.
    const uint32_t a = stored_at[lane], b = stored_at[lane + 4];
    const __m256i rows = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_unpacklo_epi8(pair(top_row, a), pair(bottom_row, a))),
        _mm_unpacklo_epi8(pair(top_row, b), pair(bottom_row, b)), 1);
    const __m256i column = _mm256_maddubs_epi16(v_lane, _mm256_xor_si256(rows, bias));
    const __m256i across = _mm256_unpacklo_epi16(column, _mm256_srli_si256(column, 8));
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(across, u_lane), round), 2 * kFilterBits);
  };
  const __m256i p0 = pixels(0, _mm256_shuffle_epi32(v_weights, 0x00), _mm256_shuffle_epi32(u_weights, 0x00));
  const __m256i p1 = pixels(1, _mm256_shuffle_epi32(v_weights, 0x55), _mm256_shuffle_epi32(u_weights, 0x55));
  const __m256i p2 = pixels(2, _mm256_shuffle_epi32(v_weights, 0xAA), _mm256_shuffle_epi32(u_weights, 0xAA));
  const __m256i p3 = pixels(3, _mm256_shuffle_epi32(v_weights, 0xFF), _mm256_shuffle_epi32(u_weights, 0xFF));
  const __m256i q0 = _mm256_packs_epi32(p0, p1);  // b g r a of pixels 0 1 | 4 5
  const __m256i q1 = _mm256_packs_epi32(p2, p3);  // 2 3 | 6 7
  const __m256i t0 = _mm256_unpacklo_epi16(q0, q1), t1 = _mm256_unpackhi_epi16(q0, q1);
  const __m256i u0 = _mm256_unpacklo_epi16(t0, t1);  // b0..b3 g0..g3 | b4..b7 g4..g7
  const __m256i u1 = _mm256_unpackhi_epi16(t0, t1);  // r0..r3 a0..a3 | r4..r7 a4..a7
  const __m256i bg = _mm256_permute4x64_epi64(u0, 0xD8);  // b0..b7 | g0..g7
  const __m256i ra = _mm256_permute4x64_epi64(u1, 0xD8);  // r0..r7 | a0..a7
  return {_mm256_castsi256_si128(ra), _mm256_extracti128_si256(bg, 1), _mm256_castsi256_si128(bg)};
}

// The offsets of eight pixels from the triangle's first vertex. Exact: both
// are multiples of 1/16 well inside float's precision.
struct Oct {
  __m256 dx, dy;
};

inline Oct oct_at(const Triangle& t, __m256i xi, __m256i yi) {
  return {_mm256_sub_ps(_mm256_cvtepi32_ps(xi), _mm256_set1_ps(t.x0)),
          _mm256_sub_ps(_mm256_cvtepi32_ps(yi), _mm256_set1_ps(t.y0))};
}

[[gnu::always_inline]] inline __m256 plane_at(const Plane& p, const Oct& q) {
  const __m256 row = _mm256_add_ps(_mm256_set1_ps(p.c), _mm256_mul_ps(_mm256_set1_ps(p.b), q.dy));
  return _mm256_add_ps(row, _mm256_mul_ps(_mm256_set1_ps(p.a), q.dx));
}

// depth16 and apply_bias of eight pixels whose depth plane gave z, as int32
// lanes.
[[gnu::always_inline]] inline __m256i fragment_depths(const Setup& k, __m256 z) {
  __m256 d = _mm256_add_ps(_mm256_mul_ps(z, _mm256_set1_ps(65535.0f)), _mm256_set1_ps(0.5f));
  d = _mm256_min_ps(_mm256_max_ps(d, _mm256_setzero_ps()), _mm256_set1_ps(65535.0f));
  const __m256i fragment = _mm256_cvttps_epi32(d);
  // apply_bias: depth > bias ? depth - bias : 0.
  return _mm256_and_si256(_mm256_sub_epi32(fragment, k.z_bias), _mm256_cmpgt_epi32(fragment, k.z_bias));
}

// The texel of eight pixels whose u, v and q planes gave su, sv and sq
// (sq unused when affine); w becomes 1 / sq under perspective.
[[gnu::always_inline]] inline Rgb8 texel_oct(const Setup& k, __m256 su, __m256 sv, __m256 sq, __m256& w) {
  if (k.perspective) {
    w = _mm256_div_ps(_mm256_set1_ps(1.0f), sq);
    su = _mm256_mul_ps(su, w);
    sv = _mm256_mul_ps(sv, w);
  }
  return sample8(k, texel_coords(su), texel_coords(sv));
}

// The diffuse colour of eight pixels of a triangle that is not flat.
[[gnu::always_inline]] inline Rgb8 gouraud(const Setup& k, const Triangle& t, const Oct& q, __m256 w) {
  __m128i channel[3];
  for (int ch = 0; ch < 3; ++ch) {
    __m256 value = plane_at(t.colour[ch], q);
    if (k.perspective) value = _mm256_mul_ps(value, w);
    channel[ch] = colour_bytes(value);
  }
  return {channel[2], channel[1], channel[0]};
}

// The texel of eight pixels modulated by their diffuse colour.
[[gnu::always_inline]] inline Rgb8 modulated(const Setup& k, const Triangle& t, const Oct& q, const Rgb8& texel,
                                             __m256 w) {
  if (k.white) return texel;
  return simd::modulate(texel, k.flat ? k.flat_diffuse : gouraud(k, t, q, w));
}

// The eight values base[offset[0..7]], two to a 32-bit word: the register
// is built four inserts deep rather than eight.
inline __m128i gather8(const uint16_t* base, const int32_t* offset) {
  auto two = [&](int i) __attribute__((always_inline)) {
    return static_cast<int>(uint32_t{base[offset[i]]} | uint32_t{base[offset[i + 1]]} << 16);
  };
  return _mm_setr_epi32(two(0), two(2), two(4), two(6));
}

// Eight pixels anywhere on the target at offset[0..7], `count` of them real
// (the lanes past count hold a real lane's pixel and are never stored):
// colour and depth are gathered and scattered one by one. z, su, sv, sq are
// the pixels' plane values; colour_of(texel, w) gives the colour to blend.
// Pixel is the target's: uint16_t (R5G6B5) or uint32_t (X8R8G8B8, never
// built for AVX-512); only the old colour's channels and the stored result
// differ between them.
template <BlendKind kBlend, class Pixel, class ColourOf>
[[gnu::always_inline]] inline void shade_scattered(const DrawStates& s, const Setup& k, const int32_t* offset,
                                                   int count, __m256 z, __m256 su, __m256 sv, __m256 sq,
                                                   Pixel* colour, uint16_t* depth, ColourOf&& colour_of) {
  __m128i mask = _mm_cmplt_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), _mm_set1_epi16(static_cast<int16_t>(count)));
  __m128i fragment = _mm_setzero_si128(), stored = _mm_setzero_si128();
  if (k.z_test) {
    const __m256i fragment32 = fragment_depths(k, z);
    stored = gather8(depth, offset);
    mask = _mm_and_si128(mask, depth_passes(k.z_func, fragment32, _mm256_cvtepu16_epi32(stored)));
    if (_mm_movemask_epi8(mask) == 0) return;
    fragment = narrow_u16(fragment32);
  }
  __m256 w = _mm256_setzero_ps();
  const Rgb8 sampled = texel_oct(k, su, sv, sq, w);
  const Rgb8 texel = colour_of(sampled, w);
  // Only the lanes that pass are written: no two lanes hold one pixel, so
  // the others need not be written back. Opaque drawing then never reads
  // the old colour.
  alignas(32) Pixel out[8];
  if constexpr (std::is_same_v<Pixel, uint16_t>) {
    __m128i old = _mm_setzero_si128();
    if constexpr (kBlend != BlendKind::kOpaque) {
      old = gather8(colour, offset);
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(out), simd::blend<kBlend>(s, texel, old));
  } else {
    Rgb8 result = texel;
    if constexpr (kBlend != BlendKind::kOpaque) {
      auto four = [&](int i) __attribute__((always_inline)) {
        return _mm_setr_epi32(static_cast<int>(colour[offset[i]]), static_cast<int>(colour[offset[i + 1]]),
                              static_cast<int>(colour[offset[i + 2]]), static_cast<int>(colour[offset[i + 3]]));
      };
      result = simd::blend_rgb<kBlend>(s, texel, simd::unpack_xrgb(simd::Pixels32<__m128i>{four(0), four(4)}));
    }
    simd::store_pixels32(out, simd::pack_xrgb(result));
  }
  alignas(16) uint16_t out_depth[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(out_depth), fragment);
  const unsigned pass = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(mask, mask))) & 0xFF;
  if (pass == 0xFF) {
    for (int i = 0; i < 8; ++i) colour[offset[i]] = out[i];
    if (k.z_write) {
      for (int i = 0; i < 8; ++i) depth[offset[i]] = out_depth[i];
    }
  } else {
    for (unsigned m = pass; m != 0; m &= m - 1) {
      const int i = __builtin_ctz(m);
      colour[offset[i]] = out[i];
      if (k.z_write) depth[offset[i]] = out_depth[i];
    }
  }
}

// Eight pixels of the list, `count` of them real (the lanes past count
// repeat the last pixel).
template <BlendKind kBlend, class Pixel>
[[gnu::always_inline]] inline void shade_group(const DrawStates& s, const Setup& k, const Triangle& t,
                                               const int32_t* xs, const int32_t* ys, int count, Pixel* colour,
                                               uint16_t* depth) {
  const Oct q = oct_at(t, _mm256_load_si256(reinterpret_cast<const __m256i*>(xs)),
                       _mm256_load_si256(reinterpret_cast<const __m256i*>(ys)));
  int32_t offset[8];
  for (int i = 0; i < 8; ++i) offset[i] = ys[i] * s.target.width + xs[i];
  shade_scattered<kBlend>(s, k, offset, count, plane_at(t.z, q), plane_at(t.u, q), plane_at(t.v, q),
                          k.perspective ? plane_at(t.q, q) : _mm256_setzero_ps(), colour, depth,
                          [&](const Rgb8& texel, __m256 w) { return modulated(k, t, q, texel, w); });
}

// Eight neighbouring pixels of one row, all covered: colour and depth are
// read and written as one vector each.
template <BlendKind kBlend, class Pixel>
[[gnu::always_inline]] inline void shade_run8(const DrawStates& s, const Setup& k, const Triangle& t, int y, int x,
                                              Pixel* colour, uint16_t* depth) {
  const Oct q = oct_at(t, _mm256_add_epi32(_mm256_set1_epi32(x), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)),
                       _mm256_set1_epi32(y));
  const size_t at = size_t(y) * s.target.width + x;
  __m128i* depth_at = reinterpret_cast<__m128i*>(depth + at);
  Pixel* colour_at = colour + at;
  __m128i mask = _mm_set1_epi32(-1);
  __m128i fragment = _mm_setzero_si128(), stored = _mm_setzero_si128();
  if (k.z_test) {
    const __m256i fragment32 = fragment_depths(k, plane_at(t.z, q));
    stored = _mm_loadu_si128(depth_at);
    mask = depth_passes(k.z_func, fragment32, _mm256_cvtepu16_epi32(stored));
    if (_mm_movemask_epi8(mask) == 0) return;
    fragment = narrow_u16(fragment32);
  }
  __m256 w = _mm256_setzero_ps();
  const Rgb8 sampled =
      texel_oct(k, plane_at(t.u, q), plane_at(t.v, q), k.perspective ? plane_at(t.q, q) : _mm256_setzero_ps(), w);
  const Rgb8 texel = modulated(k, t, q, sampled, w);
  if constexpr (std::is_same_v<Pixel, uint16_t>) {
    __m128i* at16 = reinterpret_cast<__m128i*>(colour_at);
    const __m128i old = _mm_loadu_si128(at16);
    _mm_storeu_si128(at16, simd::select(mask, simd::blend<kBlend>(s, texel, old), old));
  } else {
    const simd::Pixels32<__m128i> old = simd::load_pixels32<__m128i>(colour_at);
    const simd::Pixels32<__m128i> blended = simd::pack_xrgb(simd::blend_rgb<kBlend>(s, texel, simd::unpack_xrgb(old)));
    simd::store_pixels32(colour_at, simd::select_pixels32(mask, blended, old));
  }
  if (k.z_write) _mm_storeu_si128(depth_at, simd::select(mask, fragment, stored));
}

// Sixteen neighbouring pixels of one row, all covered: two runs of eight
// whose planes and texels are found eight at a time as shade_run8 finds
// them, and whose 16-bit steps (modulate, blend, depth, select) run once
// across all sixteen in 256-bit registers, lane for lane the same
// arithmetic. An eight none of whose pixels pass the depth test is not
// sampled: its lanes keep what the targets hold.
template <BlendKind kBlend, class Pixel>
[[gnu::always_inline]] inline void shade_run16(const DrawStates& s, const Setup& k, const Triangle& t, int y, int x,
                                               Pixel* colour, uint16_t* depth) {
  using Rgb16 = simd::Rgb<__m256i>;
  const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i row = _mm256_set1_epi32(y);
  // Each half in variables of its own, never an array indexed by half,
  // which the compiler keeps in memory.
  const Oct q_lo = oct_at(t, _mm256_add_epi32(_mm256_set1_epi32(x), index), row);
  const Oct q_hi = oct_at(t, _mm256_add_epi32(_mm256_set1_epi32(x + 8), index), row);
  const size_t at = size_t(y) * s.target.width + x;
  __m256i* depth_at = reinterpret_cast<__m256i*>(depth + at);
  Pixel* colour_at = colour + at;
  __m128i mask_lo = _mm_set1_epi32(-1), mask_hi = mask_lo;
  __m256i fragment = _mm256_setzero_si256(), stored = _mm256_setzero_si256();
  if (k.z_test) {
    stored = _mm256_loadu_si256(depth_at);
    const __m256i fragment_lo = fragment_depths(k, plane_at(t.z, q_lo));
    const __m256i fragment_hi = fragment_depths(k, plane_at(t.z, q_hi));
    mask_lo = depth_passes(k.z_func, fragment_lo, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(stored)));
    mask_hi = depth_passes(k.z_func, fragment_hi, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(stored, 1)));
    if (_mm_movemask_epi8(_mm_or_si128(mask_lo, mask_hi)) == 0) return;
    fragment = _mm256_inserti128_si256(_mm256_castsi128_si256(narrow_u16(fragment_lo)), narrow_u16(fragment_hi), 1);
  }
  auto sample_half = [&](const Oct& q, Rgb8& texel, Rgb8& diffuse) __attribute__((always_inline)) {
    __m256 w = _mm256_setzero_ps();
    texel = texel_oct(k, plane_at(t.u, q), plane_at(t.v, q), k.perspective ? plane_at(t.q, q) : _mm256_setzero_ps(), w);
    if (!k.white && !k.flat) diffuse = gouraud(k, t, q, w);
  };
  const __m128i zero = _mm_setzero_si128();
  Rgb8 texel_lo = {zero, zero, zero}, texel_hi = texel_lo;
  Rgb8 diffuse_lo = k.flat_diffuse, diffuse_hi = k.flat_diffuse;
  if (!k.z_test || _mm_movemask_epi8(mask_lo) != 0) sample_half(q_lo, texel_lo, diffuse_lo);
  if (!k.z_test || _mm_movemask_epi8(mask_hi) != 0) sample_half(q_hi, texel_hi, diffuse_hi);
  auto both = [](__m128i lo, __m128i hi) { return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1); };
  Rgb16 source = {both(texel_lo.r, texel_hi.r), both(texel_lo.g, texel_hi.g), both(texel_lo.b, texel_hi.b)};
  if (!k.white) {
    source = simd::modulate(source, Rgb16{both(diffuse_lo.r, diffuse_hi.r), both(diffuse_lo.g, diffuse_hi.g),
                                          both(diffuse_lo.b, diffuse_hi.b)});
  }
  const __m256i passes = both(mask_lo, mask_hi);
  if constexpr (std::is_same_v<Pixel, uint16_t>) {
    __m256i* at16 = reinterpret_cast<__m256i*>(colour_at);
    const __m256i old = _mm256_loadu_si256(at16);
    _mm256_storeu_si256(at16, simd::select(passes, simd::blend<kBlend>(s, source, old), old));
  } else {
    const simd::Pixels32<__m256i> old = simd::load_pixels32<__m256i>(colour_at);
    const simd::Pixels32<__m256i> blended =
        simd::pack_xrgb(simd::blend_rgb<kBlend>(s, source, simd::unpack_xrgb(old)));
    simd::store_pixels32(colour_at, simd::select_pixels32(passes, blended, old));
  }
  if (k.z_write) _mm256_storeu_si256(depth_at, simd::select(passes, fragment, stored));
}

// A span's whole runs from x: sixteen at a time, then eight if eight are
// left. Returns where they end.
template <BlendKind kBlend, class Pixel>
[[gnu::always_inline]] inline int shade_runs(const DrawStates& s, const Setup& k, const Triangle& t, int y, int x,
                                             int x_end, Pixel* colour, uint16_t* depth) {
  for (; x + 2 * kRun <= x_end; x += 2 * kRun) shade_run16<kBlend>(s, k, t, y, x, colour, depth);
  if (x + kRun <= x_end) {
    shade_run8<kBlend>(s, k, t, y, x, colour, depth);
    x += kRun;
  }
  return x;
}

// Pixels of small triangles waiting to be shaded together. A triangle of a
// fine mesh covers about ten pixels in rows of two to five, so shading each
// triangle's list alone leaves most of its second group's lanes idle; here
// the lists of consecutive triangles share groups. Each pending pixel keeps
// its planes' values at its own position (computed as the triangle's group
// would), so what a pixel gets does not depend on its neighbours in a group.
// Order does: pixels are shaded in the order they were covered, a group
// holding two triangles' pixels at one position is split before the second
// (see shade_pending_group), and anything else about to draw (runs of eight,
// another path, the end of a draw) shades what waits first.
constexpr int kPendingFlush = 512;
struct PendingPixels {
  alignas(32) int32_t offset[kPendingFlush + 16];
  alignas(32) float z[kPendingFlush + 16];
  alignas(32) float q[kPendingFlush + 16];
  alignas(32) float u[kPendingFlush + 16];
  alignas(32) float v[kPendingFlush + 16];
  int n = 0;
  // What every pending pixel was covered under: one flat-coloured draw's
  // states and triangles agreeing on filter, perspective and colour.
  Setup k{};
  const DrawStates* states = nullptr;
  BlendKind blend = BlendKind::kOpaque;
  uint16_t* colour = nullptr;
  uint16_t* depth = nullptr;
  uint32_t shading_key = 0;

  bool takes(const SpanJob& job) const {
    return states == job.states && blend == job.blend && colour == job.colour && depth == job.depth &&
           k.texels == job.texels && shading_key == job.shading_key;
  }
};

// The scratch's queue, as this width's type: zero bytes are an empty queue.
PendingPixels& pending_of(RasterScratch& scratch) {
  static_assert(sizeof(PendingPixels) <= sizeof(scratch.pending));
  static_assert(alignof(PendingPixels) <= 64);
  static_assert(std::is_trivially_copyable_v<PendingPixels>);
  return *std::launder(reinterpret_cast<PendingPixels*>(scratch.pending));
}

// The first lane of `offsets` (count real lanes) holding a pixel an earlier
// lane holds, or count when there is none. Lanes of one triangle never
// share a pixel, so this finds only overlapping triangles.
inline int first_repeat(const int32_t* offsets, __m256i lanes, int count) {
  const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  // Lanes past count get values no pixel has, each its own.
  __m256i v = lanes;
  if (count < 8) {
    v = _mm256_blendv_epi8(_mm256_sub_epi32(_mm256_set1_epi32(-1), index), lanes,
                           _mm256_cmpgt_epi32(_mm256_set1_epi32(count), index));
  }
  // Comparing with the rotations by 1 to 4 meets every pair of lanes.
  __m256i same = _mm256_setzero_si256();
  for (int r = 1; r <= 4; ++r) {
    const __m256i rotated = _mm256_permutevar8x32_epi32(v, _mm256_and_si256(_mm256_add_epi32(index, _mm256_set1_epi32(r)),
                                                                            _mm256_set1_epi32(7)));
    same = _mm256_or_si256(same, _mm256_cmpeq_epi32(v, rotated));
  }
  if (_mm256_testz_si256(same, same)) return count;
  for (int j = 1; j < count; ++j) {
    for (int i = 0; i < j; ++i) {
      if (offsets[i] == offsets[j]) return j;
    }
  }
  return count;
}

// Whether a triangle is drawn the way the demo's meshes are: perspective,
// bilinear, depth tested under LESSEQUAL and written. Such triangles are
// shaded by copies of the code that hold those as constants, without its
// branches on them or the depth test's switch.
inline bool drawn_as_meshes(const Setup& k) {
  return k.perspective && k.bilinear && k.z_test && k.z_write && k.z_func == D3DCMP_LESSEQUAL;
}

// Makes the shading code's copy of a triangle's values (kMesh: one drawn
// as the meshes are) say so in constants. The code works on a copy even
// when unchanged: the stores to the targets cannot reach it, so its values
// stay in registers across them.
template <bool kMesh>
[[gnu::always_inline]] inline void as_drawn(Setup& copy) {
  if constexpr (kMesh) {
    copy.perspective = true, copy.bilinear = true, copy.z_test = true, copy.z_write = true;
    copy.z_func = D3DCMP_LESSEQUAL;
  }
}

// Up to eight pending pixels from `at`, in one group. The lanes past count
// take the last real lane's pixel, so every lane reads inside the targets.
template <BlendKind kBlend>
[[gnu::always_inline]] inline void shade_pending_lanes(const PendingPixels& p, const Setup& k, int at, int count) {
  __m256i lanes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.offset + at));
  if (count < 8) {
    lanes = _mm256_permutevar8x32_epi32(
        lanes, _mm256_min_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(count - 1)));
  }
  alignas(32) int32_t offset[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(offset), lanes);
  shade_scattered<kBlend>(*p.states, k, offset, count, _mm256_loadu_ps(p.z + at), _mm256_loadu_ps(p.u + at),
                          _mm256_loadu_ps(p.v + at), k.perspective ? _mm256_loadu_ps(p.q + at) : _mm256_setzero_ps(),
                          p.colour, p.depth, [&](const Rgb8& texel, __m256) {
                            return k.white ? texel : simd::modulate(texel, k.flat_diffuse);
                          });
}

// A group of pending pixels, split where a pixel comes back so that the
// later triangle sees what the earlier one wrote.
template <BlendKind kBlend>
[[gnu::always_inline]] inline void shade_pending_group(const PendingPixels& p, const Setup& k, int at, int count) {
  while (count > 0) {
    const __m256i lanes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.offset + at));
    const int n = first_repeat(p.offset + at, lanes, count);
    shade_pending_lanes<kBlend>(p, k, at, n);
    at += n;
    count -= n;
  }
}

// The groups of the first `upto` pending pixels, under a copy of their
// values (see shade_deferring).
template <BlendKind kBlend, bool kMesh>
[[gnu::noinline]] void shade_pending_groups(const PendingPixels& p, int upto) {
  Setup k = p.k;
  as_drawn<kMesh>(k);
  for (int at = 0; at < upto; at += 8) shade_pending_group<kBlend>(p, k, at, std::min(8, upto - at));
}

// Shades the first `upto` pending pixels, a multiple of eight or all of
// them, and keeps the rest.
inline void shade_pending(PendingPixels& p, int upto) {
  const bool mesh = drawn_as_meshes(p.k);
  simd::with_blend(p.blend, [&](auto kind) {
    constexpr BlendKind kBlend = decltype(kind)::value;
    mesh ? shade_pending_groups<kBlend, true>(p, upto) : shade_pending_groups<kBlend, false>(p, upto);
  });
  for (int j = upto; j < p.n; ++j) {
    p.offset[j - upto] = p.offset[j], p.z[j - upto] = p.z[j], p.q[j - upto] = p.q[j];
    p.u[j - upto] = p.u[j], p.v[j - upto] = p.v[j];
  }
  p.n -= upto;
}

inline void shade_all_pending(PendingPixels& p) {
  if (p.n > 0) shade_pending(p, p.n);
}

// Eight pixels of a triangle at columns x and rows y, `count` of them real
// (the lanes past count repeat a real pixel), join the pending pixels with
// their planes' values.
[[gnu::always_inline]] inline void defer_lanes(PendingPixels& p, const Triangle& t, __m256i x, __m256i y,
                                               int count) {
  const Oct q = oct_at(t, x, y);
  const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(y, _mm256_set1_epi32(p.states->target.width)), x);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p.offset + p.n), offset);
  _mm256_storeu_ps(p.z + p.n, plane_at(t.z, q));
  if (p.k.perspective) _mm256_storeu_ps(p.q + p.n, plane_at(t.q, q));
  _mm256_storeu_ps(p.u + p.n, plane_at(t.u, q));
  _mm256_storeu_ps(p.v + p.n, plane_at(t.v, q));
  p.n += count;
  if (p.n >= kPendingFlush) shade_pending(p, p.n - p.n % 8);
}

// Eight pixels of a triangle's list, `count` of them real.
[[gnu::always_inline]] inline void defer_group(PendingPixels& p, const Triangle& t, const int32_t* xs,
                                               const int32_t* ys, int count) {
  defer_lanes(p, t, _mm256_load_si256(reinterpret_cast<const __m256i*>(xs)),
              _mm256_load_si256(reinterpret_cast<const __m256i*>(ys)), count);
}

template <BlendKind kBlend, bool kMesh, class Pixel>
void shade(PixelList& list, const Setup& setup, const SpanJob& job, Pixel* colour) {
  Setup k = setup;
  as_drawn<kMesh>(k);
  const DrawStates& s = *job.states;
  const Triangle& t = *job.triangle;
  walk_spans<8>(
      list, job.spans, job.count,
      [&](int y, int x, int x_end) { return shade_runs<kBlend>(s, k, t, y, x, x_end, colour, job.depth); },
      [&](const int32_t* xs, const int32_t* ys, int n) { shade_group<kBlend>(s, k, t, xs, ys, n, colour, job.depth); });
}

template <BlendKind kBlend, class Pixel>
void shade_as_drawn(PixelList& list, const Setup& k, const SpanJob& job, Pixel* colour) {
  if (drawn_as_meshes(k)) {
    shade<kBlend, true>(list, k, job, colour);
  } else {
    shade<kBlend, false>(list, k, job, colour);
  }
}

// A flat-coloured triangle: its list joins the pending pixels; its runs of
// eight are shaded in place, after everything covered before them.
template <BlendKind kBlend, bool kMesh>
void shade_deferring(PixelList& list, PendingPixels& p, const SpanJob& job) {
  const DrawStates& s = *job.states;
  const Triangle& t = *job.triangle;
  Setup k = p.k;
  as_drawn<kMesh>(k);
  walk_spans<8>(
      list, job.spans, job.count,
      [&](int y, int x, int x_end) {
        shade_all_pending(p);
        return shade_runs<kBlend>(s, k, t, y, x, x_end, job.colour, job.depth);
      },
      [&](const int32_t* xs, const int32_t* ys, int n) { defer_group(p, t, xs, ys, n); });
}

template <BlendKind kBlend>
void shade_deferring(PixelList& list, PendingPixels& p, const SpanJob& job) {
  if (drawn_as_meshes(p.k)) {
    shade_deferring<kBlend, true>(list, p, job);
  } else {
    shade_deferring<kBlend, false>(list, p, job);
  }
}

// Makes the pending pixels those of the job's triangle's kind, shading
// what waited under another.
inline void take_pending(PendingPixels& p, const SpanJob& job) {
  if (p.takes(job)) return;
  shade_all_pending(p);
  p.k = setup_of<__m256i>(job);
  p.states = job.states;
  p.blend = job.blend;
  p.colour = job.colour;
  p.depth = job.depth;
  p.shading_key = job.shading_key;
}

}  // namespace

void shade_spans(RasterScratch& scratch, const SpanJob& job) {
  PendingPixels& p = pending_of(scratch);
  if (!job.flat) {
    shade_all_pending(p);
    const Setup k = setup_of<__m256i>(job);
    simd::with_blend(job.blend,
                     [&](auto kind) { shade_as_drawn<decltype(kind)::value>(scratch.pixel_list, k, job, job.colour); });
    return;
  }
  take_pending(p, job);
  simd::with_blend(job.blend,
                   [&](auto kind) { shade_deferring<decltype(kind)::value>(scratch.pixel_list, p, job); });
}

#if !defined(__AVX512BW__)
// An X8R8G8B8 target's spans, shaded before returning: the pending pixels
// are R5G6B5 ones (and AVX-512 CPUs come here with a queue of their own
// width's layout), so they are neither read nor joined.
void shade_spans_xrgb(RasterScratch& scratch, const SpanJob& job) {
  const Setup k = setup_of<__m256i>(job);
  simd::with_blend(job.blend,
                   [&](auto kind) { shade_as_drawn<decltype(kind)::value>(scratch.pixel_list, k, job, job.colour_xrgb); });
}
#endif

// A narrow flat-coloured triangle (see narrow_coverage) covered and
// deferred in one pass: each row's eight columns tested in one register,
// the covered ones (contiguous: the triangle is convex) gathered into a
// register of eight pixels that is deferred whenever it fills. The rows are
// those compute_spans_narrow gives. Kept in registers: the rows' pixels
// written to memory and read back eight at a time would make every read
// wait for the several smaller writes it spans.
void defer_narrow(RasterScratch& scratch, const SpanJob& job) {
  PendingPixels& p = pending_of(scratch);
  take_pending(p, job);
  const Triangle& t = *job.triangle;
  // Per edge, in the lanes of one register: its value at the centre of
  // (x_begin, y_begin) less the fill rule's threshold (compute_spans_narrow's
  // numbers), its change per column and per row.
  const __m128i vx = _mm_setr_epi32(t.X[0], t.X[1], t.X[2], 0), vy = _mm_setr_epi32(t.Y[0], t.Y[1], t.Y[2], 0);
  const __m128i dx = _mm_sub_epi32(_mm_shuffle_epi32(vx, _MM_SHUFFLE(3, 0, 2, 1)), vx);
  const __m128i dy = _mm_sub_epi32(_mm_shuffle_epi32(vy, _MM_SHUFFLE(3, 0, 2, 1)), vy);
  const __m128i zero = _mm_setzero_si128();
  // The threshold is 0 on left and top edges, 1 on the others.
  const __m128i left_or_top =
      _mm_or_si128(_mm_cmpgt_epi32(zero, dy), _mm_and_si128(_mm_cmpeq_epi32(dy, zero), _mm_cmpgt_epi32(dx, zero)));
  const __m128i start = _mm_sub_epi32(
      _mm_sub_epi32(_mm_mullo_epi32(dx, _mm_sub_epi32(_mm_set1_epi32(t.y_begin * kSubpixelScale), vy)),
                    _mm_mullo_epi32(dy, _mm_sub_epi32(_mm_set1_epi32(t.x_begin * kSubpixelScale), vx))),
      _mm_add_epi32(_mm_set1_epi32(1), left_or_top));
  const __m128i across = _mm_slli_epi32(_mm_sub_epi32(zero, dy), kSubpixelBits);
  const __m128i step = _mm_slli_epi32(dx, kSubpixelBits);
  const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  auto lane = [](__m128i v, int e) {
    return _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(v), _mm256_set1_epi32(e));
  };
  __m256i edge[3], down[3];
  for (int e = 0; e < 3; ++e) {
    edge[e] = _mm256_add_epi32(lane(start, e), _mm256_mullo_epi32(index, lane(across, e)));
    down[e] = lane(step, e);
  }
  const unsigned columns = (1u << (t.x_end - t.x_begin)) - 1;
  const __m256i below = _mm256_set1_epi32(-1);
  // Lanes [0, filled) of xs, ys hold pixels found and not yet deferred.
  __m256i xs = _mm256_setzero_si256(), ys = _mm256_setzero_si256();
  int filled = 0;
  for (int y = t.y_begin; y < t.y_end; ++y) {
    const __m256i inside = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpgt_epi32(edge[0], below), _mm256_cmpgt_epi32(edge[1], below)),
        _mm256_cmpgt_epi32(edge[2], below));
    for (int e = 0; e < 3; ++e) edge[e] = _mm256_add_epi32(edge[e], down[e]);
    const unsigned mask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(inside))) & columns;
    // The row's pixels rotated to start at lane `filled`: the lanes from
    // there take its first ones, the lanes before it (after a full
    // register is deferred) the rest. An empty row changes nothing kept.
    const __m256i row_x =
        _mm256_add_epi32(_mm256_set1_epi32(t.x_begin + __builtin_ctz(mask | 0x100)),
                         _mm256_and_si256(_mm256_sub_epi32(index, _mm256_set1_epi32(filled)), _mm256_set1_epi32(7)));
    const __m256i row_y = _mm256_set1_epi32(y);
    const __m256i after = _mm256_cmpgt_epi32(index, _mm256_set1_epi32(filled - 1));
    xs = _mm256_blendv_epi8(xs, row_x, after);
    ys = _mm256_blendv_epi8(ys, row_y, after);
    filled += __builtin_popcount(mask);
    if (filled >= 8) {
      defer_lanes(p, t, xs, ys, 8);
      xs = row_x;
      ys = row_y;
      filled -= 8;
    }
  }
  if (filled > 0) {
    const __m256i last = _mm256_min_epi32(index, _mm256_set1_epi32(filled - 1));
    defer_lanes(p, t, _mm256_permutevar8x32_epi32(xs, last), _mm256_permutevar8x32_epi32(ys, last), filled);
  }
}

// Shades whatever waits and forgets the states it waited under, which
// belong to a draw that is ending.
void finish_deferred(RasterScratch& scratch) {
  PendingPixels& p = pending_of(scratch);
  shade_all_pending(p);
  p.states = nullptr;
}

}  // namespace d3d8::raster::D3D8_SIMD_ISA
