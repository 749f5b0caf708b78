// Included before every file of the web build, for what Debian's Emscripten
// (3.1.6) lacks or does slowly.
#pragma once

#include <bit>

// Its libc++ has no std::bit_cast, which the demo's code uses as C++20 has
// it; the compiler has the builtin the standard's version is made of.
#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From));
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif

// Its SSE2 header truncates floats to integers one lane at a time through
// lrint (a library call per lane), which made the perspective divide the
// slowest part of the page. WebAssembly's saturating truncation gives the
// same result for every value SSE2 converts; the rest (NaN, out of range)
// become 0x80000000 as on x86 (Intel SDM, CVTTPS2DQ and CVTTPD2DQ).
#if defined(__SSE2__) && defined(__wasm_simd128__)
#include <emmintrin.h>
#include <wasm_simd128.h>

static __inline__ __m128i __attribute__((__always_inline__, __nodebug__))
tuuli_cvttps_epi32(__m128 a) {
  v128_t truncated = wasm_i32x4_trunc_sat_f32x4((v128_t)a);
  v128_t in_range = wasm_f32x4_lt(wasm_f32x4_abs((v128_t)a), wasm_f32x4_splat(2147483648.0f));
  return (__m128i)wasm_v128_bitselect(truncated, wasm_i32x4_splat(INT32_MIN), in_range);
}

static __inline__ __m128i __attribute__((__always_inline__, __nodebug__))
tuuli_cvttpd_epi32(__m128d a) {
  v128_t truncated = wasm_i32x4_trunc_sat_f64x2_zero((v128_t)a);
  v128_t in_range = wasm_f64x2_lt(wasm_f64x2_abs((v128_t)a), wasm_f64x2_splat(2147483648.0));
  // The two results sit in lanes 0 and 1; lanes 2 and 3 stay 0.
  v128_t keep = wasm_i32x4_shuffle(in_range, wasm_i32x4_splat(-1), 0, 2, 4, 5);
  return (__m128i)wasm_v128_bitselect(truncated, wasm_i32x4_splat(INT32_MIN), keep);
}

#define _mm_cvttps_epi32(a) tuuli_cvttps_epi32(a)
#define _mm_cvttpd_epi32(a) tuuli_cvttpd_epi32(a)
#endif
