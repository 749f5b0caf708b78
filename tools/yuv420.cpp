// Sixteen pixels (eight chroma samples) at a time in SSE2, or thirty-two in
// AVX2 (yuv420_avx2.cpp, R5G6B5 only) where the CPU has it, or one at a
// time elsewhere: a capture converts every one of its frames, and this runs
// once per frame on the output thread. Both sources share every step after
// the widening to 8-bit channels.
#include "tools/yuv420.h"

#if defined(TUULI_KERNELS_SSE2)
#include <emmintrin.h>
#endif

#include <cstddef>

namespace tools {

#if defined(TUULI_KERNELS_AVX)
namespace avx2 {
void rgb565_to_yuv420(const uint16_t* pixels, int width, int height, uint8_t* planes);
}
#endif

namespace {

// One source pixel as 8-bit channels.
void widen(uint16_t p, int& r, int& g, int& b) {
  r = p >> 11, g = (p >> 5) & 63, b = p & 31;
  r = r << 3 | r >> 2, g = g << 2 | g >> 4, b = b << 3 | b >> 2;
}
void widen(uint32_t p, int& r, int& g, int& b) {
  r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
}

template <typename Pixel>
void to_yuv420_scalar(const Pixel* pixels, int width, int height, uint8_t* planes) {
  uint8_t* y_plane = planes;
  uint8_t* cb_plane = y_plane + size_t(width) * height;
  uint8_t* cr_plane = cb_plane + size_t(width / 2) * (height / 2);
  for (int y = 0; y < height; y += 2) {
    for (int x = 0; x < width; x += 2) {
      int sum_r = 0, sum_g = 0, sum_b = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const size_t at = size_t(y + dy) * width + x + dx;
          int r, g, b;
          widen(pixels[at], r, g, b);
          y_plane[at] = static_cast<uint8_t>((66 * r + 129 * g + 25 * b + 128 + 16 * 256) >> 8);
          sum_r += r, sum_g += g, sum_b += b;
        }
      }
      // Arithmetic shifts of the (possibly negative) sums, as the SIMD widths'.
      auto chroma = [&](int kr, int kg, int kb) {
        const int v = (kr * sum_r + kg * sum_g + kb * sum_b + 512 + 128 * 1024) >> 10;
        return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      };
      const size_t c = size_t(y / 2) * (width / 2) + x / 2;
      cb_plane[c] = chroma(-38, -74, 112);
      cr_plane[c] = chroma(112, -94, -18);
    }
  }
}

void rgb565_to_yuv420_scalar(const uint16_t* pixels, int width, int height, uint8_t* planes) {
  to_yuv420_scalar(pixels, width, height, planes);
}
void xrgb8888_to_yuv420_scalar(const uint32_t* pixels, int width, int height, uint8_t* planes) {
  to_yuv420_scalar(pixels, width, height, planes);
}

#if defined(TUULI_KERNELS_SSE2)

struct Channels {
  __m128i r, g, b;  // 0..255 in each 16-bit lane
};

// Eight R5G6B5 pixels.
Channels widen8(const uint16_t* pixels) {
  const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  const __m128i five = _mm_set1_epi16(31), six = _mm_set1_epi16(63);
  __m128i r = _mm_srli_epi16(p, 11);
  __m128i g = _mm_and_si128(_mm_srli_epi16(p, 5), six);
  __m128i b = _mm_and_si128(p, five);
  return {_mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2)),
          _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4)),
          _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2))};
}

// Eight X8R8G8B8 pixels: each channel masked out of its dword, and the two
// halves packed to words (at most 255, so the signed pack keeps them).
Channels widen8(const uint32_t* pixels) {
  const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 4));
  const __m128i byte = _mm_set1_epi32(0xFF);
  auto channel = [&](int shift) {
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, shift), byte),
                           _mm_and_si128(_mm_srli_epi32(hi, shift), byte));
  };
  return {channel(16), channel(8), channel(0)};
}

// At most 66 * 255 + 129 * 255 + 25 * 255 + 4224 = 60324: unsigned 16 bits.
__m128i luma(const Channels& c) {
  __m128i sum = _mm_add_epi16(_mm_mullo_epi16(c.r, _mm_set1_epi16(66)), _mm_mullo_epi16(c.g, _mm_set1_epi16(129)));
  sum = _mm_add_epi16(sum, _mm_mullo_epi16(c.b, _mm_set1_epi16(25)));
  return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(128 + 16 * 256)), 8);
}

// Sums of horizontal neighbours in two rows: four int32 lanes, each the sum
// of a 2x2 block (at most 1020).
__m128i block_sums(__m128i top, __m128i bottom) {
  const __m128i ones = _mm_set1_epi16(1);
  return _mm_add_epi32(_mm_madd_epi16(top, ones), _mm_madd_epi16(bottom, ones));
}

// (kr R + kg G + kb B + 512 + 128 * 1024) >> 10 for four blocks, int32.
__m128i chroma(__m128i r, __m128i g, __m128i b, int kr, int kg, int kb) {
  const __m128i rg = _mm_or_si128(r, _mm_slli_epi32(g, 16));  // (R, G) pairs for pmaddwd
  const __m128i weights = _mm_set1_epi32((kr & 0xFFFF) | (kg << 16));
  __m128i sum = _mm_madd_epi16(rg, weights);
  sum = _mm_add_epi32(sum, _mm_madd_epi16(b, _mm_set1_epi32(kb & 0xFFFF)));
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(512 + 128 * 1024)), 10);
}

template <typename Pixel>
void to_yuv420_sse2(const Pixel* pixels, int width, int height, uint8_t* planes) {
  uint8_t* y_plane = planes;
  uint8_t* cb_plane = y_plane + size_t(width) * height;
  uint8_t* cr_plane = cb_plane + size_t(width / 2) * (height / 2);
  for (int y = 0; y < height; y += 2) {
    const Pixel* rows[2] = {pixels + size_t(y) * width, pixels + size_t(y + 1) * width};
    uint8_t* cb = cb_plane + size_t(y / 2) * (width / 2);
    uint8_t* cr = cr_plane + size_t(y / 2) * (width / 2);
    for (int x = 0; x < width; x += 16) {
      Channels c[2][2];
      for (int row = 0; row < 2; ++row) {
        for (int half = 0; half < 2; ++half) {
          c[row][half] = widen8(rows[row] + x + 8 * half);
        }
        const __m128i l = _mm_packus_epi16(luma(c[row][0]), luma(c[row][1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y_plane + size_t(y + row) * width + x), l);
      }
      __m128i cb_out[2], cr_out[2];
      for (int half = 0; half < 2; ++half) {
        const __m128i r = block_sums(c[0][half].r, c[1][half].r);
        const __m128i g = block_sums(c[0][half].g, c[1][half].g);
        const __m128i b = block_sums(c[0][half].b, c[1][half].b);
        cb_out[half] = chroma(r, g, b, -38, -74, 112);
        cr_out[half] = chroma(r, g, b, 112, -94, -18);
      }
      const __m128i cb16 = _mm_packs_epi32(cb_out[0], cb_out[1]), cr16 = _mm_packs_epi32(cr_out[0], cr_out[1]);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x / 2), _mm_packus_epi16(cb16, cb16));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x / 2), _mm_packus_epi16(cr16, cr16));
    }
  }
}

void rgb565_to_yuv420_sse2(const uint16_t* pixels, int width, int height, uint8_t* planes) {
  to_yuv420_sse2(pixels, width, height, planes);
}
void xrgb8888_to_yuv420_sse2(const uint32_t* pixels, int width, int height, uint8_t* planes) {
  to_yuv420_sse2(pixels, width, height, planes);
}
#endif

// The widest width allowed here whose multiple divides `width`; the scalar
// one takes any even width (a canvas need not be a multiple of 16).
const Yuv420Width& width_for(int width, bool xrgb) {
  const cpu::SimdLevel allowed = cpu::simd_ceiling();
  for (int i = 2; i > 0; --i) {
    const Yuv420Width& w = kYuv420Widths[i];
    const bool built = xrgb ? w.convert_xrgb != nullptr : w.convert != nullptr;
    if (built && w.needs <= allowed && width % w.width_multiple == 0) return w;
  }
  return kYuv420Widths[0];
}

}  // namespace

const Yuv420Width kYuv420Widths[3] = {
    {"scalar", cpu::SimdLevel::scalar, 2, rgb565_to_yuv420_scalar, xrgb8888_to_yuv420_scalar},
#if defined(TUULI_KERNELS_SSE2)
    {"sse2", cpu::SimdLevel::sse2, 16, rgb565_to_yuv420_sse2, xrgb8888_to_yuv420_sse2},
#else
    {"sse2", cpu::SimdLevel::sse2, 16, nullptr, nullptr},
#endif
    // The 32-bit source stops at SSE2: AVX2's packs work within 128-bit
    // halves, and a capture at 32 bits spends its time drawing, not here.
#if defined(TUULI_KERNELS_AVX)
    {"avx2", cpu::SimdLevel::avx2, 32, avx2::rgb565_to_yuv420, nullptr},
#else
    {"avx2", cpu::SimdLevel::avx2, 32, nullptr, nullptr},
#endif
};

void rgb565_to_yuv420(const uint16_t* pixels, int width, int height, uint8_t* planes) {
  width_for(width, false).convert(pixels, width, height, planes);
}

void xrgb8888_to_yuv420(const uint32_t* pixels, int width, int height, uint8_t* planes) {
  width_for(width, true).convert_xrgb(pixels, width, height, planes);
}

}  // namespace tools
