// X8R8G8B8 pixels in and out of the channel registers of simd_pixels.h: a
// register of 16-bit channel lanes holds as many pixels as two registers of
// 32-bit pixels, lane i being pixel i at every width. The channels are the
// target's own bytes, so nothing here rounds. SSE2 and AVX2 only: AVX-512
// draws 32-bit targets through AVX2's layer rows and mesh spans
// (layer_rows_avx512.cpp, kernels.cpp).
#pragma once

#include <cstdint>

#include "platform/d3d8/simd_pixels.h"

namespace d3d8::raster::simd {
inline namespace D3D8_SIMD_ISA {

// The 32-bit pixels of one register of 16-bit lanes: the first half in lo.
template <class V>
struct Pixels32 {
  V lo, hi;
};

// a_i | b_i << 16 for every 16-bit lane i, as 32-bit lanes in lane order;
// and 32-bit lanes (each within int16) narrowed back to 16-bit lanes in
// order. The wider registers unpack and pack within 128-bit lanes, so
// their quarters are put back in order afterwards.
inline Pixels32<__m128i> interleave16(__m128i a, __m128i b) {
  return {_mm_unpacklo_epi16(a, b), _mm_unpackhi_epi16(a, b)};
}
inline __m128i narrow32(__m128i lo, __m128i hi) { return _mm_packs_epi32(lo, hi); }
inline __m128i slli32(__m128i a, int n) { return _mm_slli_epi32(a, n); }
inline __m128i srai32(__m128i a, int n) { return _mm_srai_epi32(a, n); }

#if defined(__AVX2__)
inline Pixels32<__m256i> interleave16(__m256i a, __m256i b) {
  // Pixels 0-3 | 8-11 and 4-7 | 12-15.
  const __m256i lo = _mm256_unpacklo_epi16(a, b), hi = _mm256_unpackhi_epi16(a, b);
  return {_mm256_permute2x128_si256(lo, hi, 0x20), _mm256_permute2x128_si256(lo, hi, 0x31)};
}
inline __m256i narrow32(__m256i lo, __m256i hi) {
  // Pixels 0-3, 8-11, 4-7, 12-15 as quarters.
  return _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
}
inline __m256i slli32(__m256i a, int n) { return _mm256_slli_epi32(a, n); }
inline __m256i srai32(__m256i a, int n) { return _mm256_srai_epi32(a, n); }
#endif


template <class V>
inline Pixels32<V> load_pixels32(const uint32_t* p) {
  return {load<V>(p), load<V>(p + kLanes16<V> / 2)};
}

inline void store_pixels32(uint32_t* p, const Pixels32<__m128i>& v) { store(p, v.lo), store(p + 4, v.hi); }
#if defined(__AVX2__)
inline void store_pixels32(uint32_t* p, const Pixels32<__m256i>& v) { store(p, v.lo), store(p + 8, v.hi); }
#endif

// The channels of 32-bit pixels. The X byte is not a channel: the blend
// reads r, g and b only, whatever X holds. Each half-word is taken
// sign-extended, so the signed narrowing keeps it exactly.
template <class V>
inline Rgb<V> unpack_xrgb(const Pixels32<V>& p) {
  const V gb = narrow32(srai32(slli32(p.lo, 16), 16), srai32(slli32(p.hi, 16), 16));
  const V xr = narrow32(srai32(p.lo, 16), srai32(p.hi, 16));
  const V byte = splat<V>(255);
  return {and_(xr, byte), srli16(gb, 8), and_(gb, byte)};
}

// Channels of 0..255 as 32-bit pixels 0x00RRGGBB.
template <class V>
inline Pixels32<V> pack_xrgb(const Rgb<V>& c) {
  return interleave16(or_(c.b, slli16(c.g, 8)), c.r);
}

// The pixels of `yes` where a lane of the 16-bit mask is set, else `no`.
template <class V>
inline Pixels32<V> select_pixels32(V mask, const Pixels32<V>& yes, const Pixels32<V>& no) {
  const Pixels32<V> wide = interleave16(mask, mask);
  return {select(wide.lo, yes.lo, no.lo), select(wide.hi, yes.hi, no.hi)};
}

}  // namespace D3D8_SIMD_ISA
}  // namespace d3d8::raster::simd
