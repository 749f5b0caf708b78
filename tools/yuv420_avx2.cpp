// The 4:2:0 conversion thirty-two pixels (sixteen chroma samples) at a time
// in AVX2: the same integer steps as the SSE2 width, lane by lane. Built
// for AVX2 and reached only through kYuv420Widths, after the CPU has said
// it has it; everything here lives in namespace tools::avx2.
#include <immintrin.h>

#include <cstddef>

#include "tools/yuv420.h"

namespace tools::avx2 {

namespace {

struct Channels {
  __m256i r, g, b;  // 0..255 in each 16-bit lane
};

Channels widen(__m256i p) {
  const __m256i five = _mm256_set1_epi16(31), six = _mm256_set1_epi16(63);
  const __m256i r = _mm256_srli_epi16(p, 11);
  const __m256i g = _mm256_and_si256(_mm256_srli_epi16(p, 5), six);
  const __m256i b = _mm256_and_si256(p, five);
  return {_mm256_or_si256(_mm256_slli_epi16(r, 3), _mm256_srli_epi16(r, 2)),
          _mm256_or_si256(_mm256_slli_epi16(g, 2), _mm256_srli_epi16(g, 4)),
          _mm256_or_si256(_mm256_slli_epi16(b, 3), _mm256_srli_epi16(b, 2))};
}

__m256i luma(const Channels& c) {
  __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(c.r, _mm256_set1_epi16(66)),
                                 _mm256_mullo_epi16(c.g, _mm256_set1_epi16(129)));
  sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(c.b, _mm256_set1_epi16(25)));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(128 + 16 * 256)), 8);
}

__m256i block_sums(__m256i top, __m256i bottom) {
  const __m256i ones = _mm256_set1_epi16(1);
  return _mm256_add_epi32(_mm256_madd_epi16(top, ones), _mm256_madd_epi16(bottom, ones));
}

__m256i chroma(__m256i r, __m256i g, __m256i b, int kr, int kg, int kb) {
  const __m256i rg = _mm256_or_si256(r, _mm256_slli_epi32(g, 16));
  __m256i sum = _mm256_madd_epi16(rg, _mm256_set1_epi32((kr & 0xFFFF) | (kg << 16)));
  sum = _mm256_add_epi32(sum, _mm256_madd_epi16(b, _mm256_set1_epi32(kb & 0xFFFF)));
  return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(512 + 128 * 1024)), 10);
}

// Sixteen chroma values from two registers of eight blocks each (blocks
// 0-7, 8-15), as bytes in order. The packs work within 128-bit halves,
// leaving the dwords of four bytes as 0-3, 8-11 | 4-7, 12-15.
__m128i chroma_bytes(__m256i first, __m256i second) {
  const __m256i words = _mm256_packs_epi32(first, second);
  const __m256i bytes = _mm256_packus_epi16(words, words);
  return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 4, 1, 5)));
}

}  // namespace

void rgb565_to_yuv420(const uint16_t* pixels, int width, int height, uint8_t* planes) {
  uint8_t* y_plane = planes;
  uint8_t* cb_plane = y_plane + size_t(width) * height;
  uint8_t* cr_plane = cb_plane + size_t(width / 2) * (height / 2);
  for (int y = 0; y < height; y += 2) {
    const uint16_t* rows[2] = {pixels + size_t(y) * width, pixels + size_t(y + 1) * width};
    uint8_t* cb = cb_plane + size_t(y / 2) * (width / 2);
    uint8_t* cr = cr_plane + size_t(y / 2) * (width / 2);
    for (int x = 0; x < width; x += 32) {
      Channels c[2][2];
      for (int row = 0; row < 2; ++row) {
        for (int half = 0; half < 2; ++half) {
          c[row][half] = widen(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[row] + x + 16 * half)));
        }
        // Packed within halves: 0-7, 16-23 | 8-15, 24-31; the permute puts them in order.
        const __m256i l = _mm256_packus_epi16(luma(c[row][0]), luma(c[row][1]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y_plane + size_t(y + row) * width + x),
                            _mm256_permute4x64_epi64(l, 0xD8));
      }
      __m256i cb_out[2], cr_out[2];
      for (int half = 0; half < 2; ++half) {
        const __m256i r = block_sums(c[0][half].r, c[1][half].r);
        const __m256i g = block_sums(c[0][half].g, c[1][half].g);
        const __m256i b = block_sums(c[0][half].b, c[1][half].b);
        cb_out[half] = chroma(r, g, b, -38, -74, 112);
        cr_out[half] = chroma(r, g, b, 112, -94, -18);
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x / 2), chroma_bytes(cb_out[0], cb_out[1]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x / 2), chroma_bytes(cr_out[0], cr_out[1]));
    }
  }
}

}  // namespace tools::avx2
