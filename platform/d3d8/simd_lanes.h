// The integer lane operations the pixel arithmetic is written in, for SSE2
// registers (eight 16-bit lanes) and, in files built for AVX2, for AVX2
// registers (sixteen), and in the file built for AVX-512 (BW) for its
// registers (thirty-two). Overloads of one name do the same thing lane by
// lane, so the templates in simd_pixels.h give the same bytes at both
// widths.
//
// Everything here sits in an inline namespace named after the instruction
// set the including file is built for: an inline function compiled for
// AVX2 and the same function compiled for SSE2 are different functions to
// the linker, so the AVX2 copy can never be picked for a caller on a CPU
// without AVX2.
#pragma once

#include <immintrin.h>

#include <cstdint>

// Register types as template arguments lose their may_alias attribute,
// which GCC warns about. Nothing here reads memory through a V*: every
// load and store is an intrinsic taking a void*.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wignored-attributes"
#endif

#if defined(__AVX512BW__)
#define D3D8_SIMD_ISA avx512
#elif defined(__AVX2__)
#define D3D8_SIMD_ISA avx2
#else
#define D3D8_SIMD_ISA sse2
#endif

namespace d3d8::raster::simd {
inline namespace D3D8_SIMD_ISA {

// Lanes of 16 bits a register of type V holds.
template <class V>
constexpr int kLanes16 = sizeof(V) / 2;

template <class V>
V splat(int v);
template <>
inline __m128i splat<__m128i>(int v) { return _mm_set1_epi16(static_cast<int16_t>(v)); }
template <class V>
V splat32(int v);
template <>
inline __m128i splat32<__m128i>(int v) { return _mm_set1_epi32(v); }
// 0, 1, 2, ... in the 16-bit lanes.
template <class V>
V lane_index16();
template <>
inline __m128i lane_index16<__m128i>() { return _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7); }

template <class V>
V load(const void* p);
template <>
inline __m128i load<__m128i>(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline __m128i add16(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
inline __m128i sub16(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
inline __m128i mullo16(__m128i a, __m128i b) { return _mm_mullo_epi16(a, b); }
inline __m128i mulhi_u16(__m128i a, __m128i b) { return _mm_mulhi_epu16(a, b); }
inline __m128i adds_u16(__m128i a, __m128i b) { return _mm_adds_epu16(a, b); }
inline __m128i subs_u16(__m128i a, __m128i b) { return _mm_subs_epu16(a, b); }
inline __m128i min16(__m128i a, __m128i b) { return _mm_min_epi16(a, b); }
inline __m128i cmplt16(__m128i a, __m128i b) { return _mm_cmplt_epi16(a, b); }
inline __m128i cmpgt16(__m128i a, __m128i b) { return _mm_cmpgt_epi16(a, b); }
inline __m128i cmpeq16(__m128i a, __m128i b) { return _mm_cmpeq_epi16(a, b); }
inline __m128i srli16(__m128i a, int n) { return _mm_srli_epi16(a, n); }
inline __m128i slli16(__m128i a, int n) { return _mm_slli_epi16(a, n); }
inline __m128i and_(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
inline __m128i or_(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
inline __m128i andnot(__m128i a, __m128i b) { return _mm_andnot_si128(a, b); }
inline __m128i xor_(__m128i a, __m128i b) { return _mm_xor_si128(a, b); }
inline bool any(__m128i mask) { return _mm_movemask_epi8(mask) != 0; }

#if defined(__AVX2__)
template <>
inline __m256i splat<__m256i>(int v) { return _mm256_set1_epi16(static_cast<int16_t>(v)); }
template <>
inline __m256i splat32<__m256i>(int v) { return _mm256_set1_epi32(v); }
template <>
inline __m256i lane_index16<__m256i>() {
  return _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

template <>
inline __m256i load<__m256i>(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
inline void store(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
inline __m256i add16(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
inline __m256i sub16(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
inline __m256i mullo16(__m256i a, __m256i b) { return _mm256_mullo_epi16(a, b); }
inline __m256i mulhi_u16(__m256i a, __m256i b) { return _mm256_mulhi_epu16(a, b); }
inline __m256i adds_u16(__m256i a, __m256i b) { return _mm256_adds_epu16(a, b); }
inline __m256i subs_u16(__m256i a, __m256i b) { return _mm256_subs_epu16(a, b); }
inline __m256i min16(__m256i a, __m256i b) { return _mm256_min_epi16(a, b); }
inline __m256i cmplt16(__m256i a, __m256i b) { return _mm256_cmpgt_epi16(b, a); }
inline __m256i cmpgt16(__m256i a, __m256i b) { return _mm256_cmpgt_epi16(a, b); }
inline __m256i cmpeq16(__m256i a, __m256i b) { return _mm256_cmpeq_epi16(a, b); }
inline __m256i srli16(__m256i a, int n) { return _mm256_srli_epi16(a, n); }
inline __m256i slli16(__m256i a, int n) { return _mm256_slli_epi16(a, n); }
inline __m256i and_(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
inline __m256i or_(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
inline __m256i andnot(__m256i a, __m256i b) { return _mm256_andnot_si256(a, b); }
inline __m256i xor_(__m256i a, __m256i b) { return _mm256_xor_si256(a, b); }
inline bool any(__m256i mask) { return _mm256_movemask_epi8(mask) != 0; }
#endif

#if defined(__AVX512BW__)
// Comparisons give a register of all-ones lanes, as at the other widths,
// so the pixel templates need no second form for mask registers.
template <>
inline __m512i splat<__m512i>(int v) { return _mm512_set1_epi16(static_cast<int16_t>(v)); }
template <>
inline __m512i splat32<__m512i>(int v) { return _mm512_set1_epi32(v); }
template <>
inline __m512i lane_index16<__m512i>() {
  return _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9,
                          8, 7, 6, 5, 4, 3, 2, 1, 0);
}

template <>
inline __m512i load<__m512i>(const void* p) { return _mm512_loadu_si512(p); }
inline void store(void* p, __m512i v) { _mm512_storeu_si512(p, v); }
inline __m512i add16(__m512i a, __m512i b) { return _mm512_add_epi16(a, b); }
inline __m512i sub16(__m512i a, __m512i b) { return _mm512_sub_epi16(a, b); }
inline __m512i mullo16(__m512i a, __m512i b) { return _mm512_mullo_epi16(a, b); }
inline __m512i mulhi_u16(__m512i a, __m512i b) { return _mm512_mulhi_epu16(a, b); }
inline __m512i adds_u16(__m512i a, __m512i b) { return _mm512_adds_epu16(a, b); }
inline __m512i subs_u16(__m512i a, __m512i b) { return _mm512_subs_epu16(a, b); }
inline __m512i min16(__m512i a, __m512i b) { return _mm512_min_epi16(a, b); }
inline __m512i cmplt16(__m512i a, __m512i b) { return _mm512_movm_epi16(_mm512_cmplt_epi16_mask(a, b)); }
inline __m512i cmpgt16(__m512i a, __m512i b) { return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b)); }
inline __m512i cmpeq16(__m512i a, __m512i b) { return _mm512_movm_epi16(_mm512_cmpeq_epi16_mask(a, b)); }
inline __m512i srli16(__m512i a, int n) { return _mm512_srli_epi16(a, static_cast<unsigned>(n)); }
inline __m512i slli16(__m512i a, int n) { return _mm512_slli_epi16(a, static_cast<unsigned>(n)); }
inline __m512i and_(__m512i a, __m512i b) { return _mm512_and_si512(a, b); }
inline __m512i or_(__m512i a, __m512i b) { return _mm512_or_si512(a, b); }
inline __m512i andnot(__m512i a, __m512i b) { return _mm512_andnot_si512(a, b); }
inline __m512i xor_(__m512i a, __m512i b) { return _mm512_xor_si512(a, b); }
inline bool any(__m512i mask) { return _mm512_test_epi16_mask(mask, mask) != 0; }
#endif

}  // namespace D3D8_SIMD_ISA
}  // namespace d3d8::raster::simd
