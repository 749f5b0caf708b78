// The rows of a screen layer, shaded a register of pixels at a time. This
// file is compiled once per width (layer_rows_sse2.cpp, layer_rows_avx2.cpp,
// layer_rows_avx512.cpp) and everything in it lives in the namespace of the
// width's instruction set with internal linkage, so the copies never meet.
// It calls nothing inline from elsewhere but the SIMD helpers, which are
// named after their instruction set: a shared inline function compiled for
// AVX2 could otherwise be the copy the linker keeps for every caller.
// Float work (the v coordinate of a row) is done in layer_path.cpp.
#pragma once

#include <cstring>
#include <type_traits>

#include "platform/d3d8/layer_rows.h"
#include "platform/d3d8/simd_xrgb.h"

namespace d3d8::raster::D3D8_SIMD_ISA {
namespace {

using simd::BlendKind;
using simd::Rgb;

// Texels first..last of row j blended with row j + 1 by fv into `out`
// (last at most width: the padded column).
void blend_rows(const SamplerTexture& tex, int32_t j, int32_t fv, int first, int last, int16_t* out) {
  const uint32_t* r0 = tex.texels + size_t(j) * tex.stride;
  const uint32_t* r1 = r0 + tex.stride;
  const __m128i w0 = simd::splat16(kFilterOne - fv), w1 = simd::splat16(fv);
  const __m128i zero = _mm_setzero_si128();
  int i = first;
#if defined(__AVX2__)
  const __m256i v0 = _mm256_set1_epi16(static_cast<int16_t>(kFilterOne - fv));
  const __m256i v1 = _mm256_set1_epi16(static_cast<int16_t>(fv));
  for (; i + 4 <= last + 1; i += 4) {
    const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + i)));
    const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i),
                        _mm256_add_epi16(_mm256_mullo_epi16(a, v0), _mm256_mullo_epi16(b, v1)));
  }
#endif
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

constexpr int kFilterRound = 1 << (2 * kFilterBits - 1);

// The tables the filter reads, held in locals: the vector stores of the
// row loop may alias anything, and would otherwise make every group reload
// these pointers from the job.
struct Tables {
  const int32_t* texel;
  const __m128i* weights;
  const int16_t* row;
};

// Filters one pixel from the blended row: four int32 lanes b, g, r, a.
inline __m128i filter_pixel(const Tables& k, int x) {
  // [c_i | c_i+1] -> pairs (c_i.ch, c_i+1.ch) -> weighted sums per channel.
  __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k.row + 4 * k.texel[x]));
  pair = _mm_unpacklo_epi16(pair, _mm_srli_si128(pair, 8));
  __m128i sum = _mm_madd_epi16(pair, k.weights[x]);
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(kFilterRound)), 2 * kFilterBits);
}

// Eight filtered pixels from column x0 on, as planar channels.
inline Rgb<__m128i> filter_group(const Tables& k, int x0, __m128i /*type*/) {
  __m128i q0 = _mm_packs_epi32(filter_pixel(k, x0), filter_pixel(k, x0 + 1));
  __m128i q1 = _mm_packs_epi32(filter_pixel(k, x0 + 2), filter_pixel(k, x0 + 3));
  __m128i q2 = _mm_packs_epi32(filter_pixel(k, x0 + 4), filter_pixel(k, x0 + 5));
  __m128i q3 = _mm_packs_epi32(filter_pixel(k, x0 + 6), filter_pixel(k, x0 + 7));
  // Transpose [b g r a b g r a] pairs into eight-lane channels.
  __m128i t0 = _mm_unpacklo_epi16(q0, q1), t1 = _mm_unpackhi_epi16(q0, q1);
  __m128i t2 = _mm_unpacklo_epi16(q2, q3), t3 = _mm_unpackhi_epi16(q2, q3);
  __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
  __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
  return {_mm_unpacklo_epi64(u1, u3), _mm_unpackhi_epi64(u0, u2), _mm_unpacklo_epi64(u0, u2)};
}

#if defined(__AVX2__)
// Pixels x0 + k and x0 + 8 + k in the two halves of one register; every
// step below works within halves, so the halves come out as the two runs
// of eight, in order.
inline __m256i filter_pixel_pair(const Tables& t, int x0, int k) {
  const __m128i* left = reinterpret_cast<const __m128i*>(t.row + 4 * t.texel[x0 + k]);
  const __m128i* right = reinterpret_cast<const __m128i*>(t.row + 4 * t.texel[x0 + 8 + k]);
  __m256i pair = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(left)), _mm_loadu_si128(right), 1);
  pair = _mm256_unpacklo_epi16(pair, _mm256_srli_si256(pair, 8));
  const __m256i weights = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.weights + x0 + 2 * k));
  __m256i sum = _mm256_madd_epi16(pair, weights);
  return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(kFilterRound)), 2 * kFilterBits);
}

inline Rgb<__m256i> filter_group(const Tables& t, int x0, __m256i /*type*/) {
  __m256i q0 = _mm256_packs_epi32(filter_pixel_pair(t, x0, 0), filter_pixel_pair(t, x0, 1));
  __m256i q1 = _mm256_packs_epi32(filter_pixel_pair(t, x0, 2), filter_pixel_pair(t, x0, 3));
  __m256i q2 = _mm256_packs_epi32(filter_pixel_pair(t, x0, 4), filter_pixel_pair(t, x0, 5));
  __m256i q3 = _mm256_packs_epi32(filter_pixel_pair(t, x0, 6), filter_pixel_pair(t, x0, 7));
  __m256i t0 = _mm256_unpacklo_epi16(q0, q1), t1 = _mm256_unpackhi_epi16(q0, q1);
  __m256i t2 = _mm256_unpacklo_epi16(q2, q3), t3 = _mm256_unpackhi_epi16(q2, q3);
  __m256i u0 = _mm256_unpacklo_epi16(t0, t1), u1 = _mm256_unpackhi_epi16(t0, t1);
  __m256i u2 = _mm256_unpacklo_epi16(t2, t3), u3 = _mm256_unpackhi_epi16(t2, t3);
  return {_mm256_unpacklo_epi64(u1, u3), _mm256_unpackhi_epi64(u0, u2), _mm256_unpacklo_epi64(u0, u2)};
}

// Texels a0[0 .. count - 1] blended with a1[...] by the byte weights
// (kFilterOne - weight, weight) into b, g, r: one pmaddubsw of interleaved
// texel bytes.
[[gnu::always_inline]] inline void blend_texels(const uint32_t* a0, const uint32_t* a1, int32_t weight, int count,
                                                int16_t* b_out, int16_t* g_out, int16_t* r_out) {
  const __m256i weights = _mm256_set1_epi16(static_cast<int16_t>((kFilterOne - weight) | weight << 8));
  // [c0 c1 c2 c3 | c4 c5 c6 c7] of texels i, i + 1 -> c0 c4 c1 c5 c2 c6 c3 c7: channels side by side.
  const __m256i pairs = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2, 3, 10,
                                         11, 4, 5, 12, 13, 6, 7, 14, 15);
  int i = 0;
#if defined(__AVX512BW__)
  // Sixteen texels at a time, the same steps in each 128-bit lane; then the
  // four lanes' b (or r) quarters gathered into one half, g into the other.
  const __m512i weights16 = _mm512_set1_epi16(static_cast<int16_t>((kFilterOne - weight) | weight << 8));
  const __m512i pairs16 = _mm512_broadcast_i32x4(_mm256_castsi256_si128(pairs));
  const __m512i quarters = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
  for (; i + 16 <= count; i += 16) {
    const __m512i a = _mm512_loadu_si512(a0 + i);
    const __m512i b = _mm512_loadu_si512(a1 + i);
    const __m512i near = _mm512_shuffle_epi8(_mm512_maddubs_epi16(_mm512_unpacklo_epi8(a, b), weights16), pairs16);
    const __m512i far = _mm512_shuffle_epi8(_mm512_maddubs_epi16(_mm512_unpackhi_epi8(a, b), weights16), pairs16);
    const __m512i b_g = _mm512_permutexvar_epi64(quarters, _mm512_unpacklo_epi32(near, far));
    const __m512i r_a = _mm512_permutexvar_epi64(quarters, _mm512_unpackhi_epi32(near, far));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(b_out + i), _mm512_castsi512_si256(b_g));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_out + i), _mm512_extracti64x4_epi64(b_g, 1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(r_out + i), _mm512_castsi512_si256(r_a));
  }
#endif
  for (; i + 8 <= count; i += 8) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a0 + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a1 + i));
    // Texels i, i + 1 | i + 4, i + 5 and i + 2, i + 3 | i + 6, i + 7, as
    // int16 b g r a each, then two of each channel side by side.
    const __m256i near = _mm256_shuffle_epi8(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), weights), pairs);
    const __m256i far = _mm256_shuffle_epi8(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), weights), pairs);
    // b of i..i+3, g of i..i+3 | b of i+4..i+7, g of i+4..i+7 (and r, a likewise),
    // then the quarters in order.
    const __m256i b_g = _mm256_permute4x64_epi64(_mm256_unpacklo_epi32(near, far), 0xD8);
    const __m256i r_a = _mm256_permute4x64_epi64(_mm256_unpackhi_epi32(near, far), 0xD8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b_out + i), _mm256_castsi256_si128(b_g));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(g_out + i), _mm256_extracti128_si256(b_g, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r_out + i), _mm256_castsi256_si128(r_a));
  }
  int16_t* out[3] = {b_out, g_out, r_out};
  for (; i < count; ++i) {
    for (int ch = 0; ch < 3; ++ch) {
      out[ch][i] = static_cast<int16_t>(((a0[i] >> (8 * ch)) & 0xFF) * (kFilterOne - weight) +
                                        ((a1[i] >> (8 * ch)) & 0xFF) * weight);
    }
  }
}

// Row j blended with row j + 1 by fv, as blend_rows does, but into three
// planes (b, g, r) of int16 for the windowed filter, indexed by texel and
// repeating the row periodically past both ends. At fv = 0 the weight
// kFilterOne does not fit a signed byte, so the row is blended with itself
// by (127, 1) instead: the same integers.
struct PlaneRow {
  const uint32_t* r0;
  const uint32_t* r1;
  int32_t weight;
  int width;
  int16_t* plane[3];

  PlaneRow(const SamplerTexture& tex, int32_t j, int32_t fv, int16_t* planes)
      : r0(tex.texels + size_t(j) * tex.stride),
        r1(fv == 0 ? r0 : r0 + tex.stride),
        weight(fv == 0 ? 1 : fv),
        width(tex.width),
        plane{planes, planes + LayerWindows::kPlaneStride, planes + 2 * LayerWindows::kPlaneStride} {}

  // Texels first .. first + count - 1 (inside the row) into entries at .. at + count - 1.
  void run(int first, int count, int at) const {
    blend_texels(r0 + first, r1 + first, weight, count, plane[0] + at, plane[1] + at, plane[2] + at);
  }

  // The whole row and its padding.
  void all() const {
    constexpr int kPad = LayerWindows::kPlanePadding;
    run(0, width, 0);
    for (int ch = 0; ch < 3; ++ch) {
      if (width >= kPad) {
        std::memcpy(plane[ch] - kPad, plane[ch] + width - kPad, kPad * sizeof(int16_t));
        std::memcpy(plane[ch] + width, plane[ch], kPad * sizeof(int16_t));
        continue;
      }
      for (int k = 1; k <= kPad; ++k) {
        plane[ch][-k] = plane[ch][(width - k % width) % width];
        plane[ch][width + k - 1] = plane[ch][(k - 1) % width];
      }
    }
  }

  // Entries lo .. hi (-kPad <= lo, hi < width + kPad; the width a power of
  // two of at least kPad), in whole runs of eight so none ends in the slow
  // per-texel loop: the padding before 0 and from width on repeats the
  // row's last and first eight texels, and the range inside grows to a
  // multiple of eight, moved left where it would pass the end.
  void entries(int lo, int hi) const {
    constexpr int kPad = LayerWindows::kPlanePadding;
    if (lo < 0) run(width - kPad, kPad, -kPad);
    const int inside_lo = std::max(lo, 0), inside_hi = std::min(hi, width - 1);
    if (inside_lo <= inside_hi) {
      const int count = (inside_hi - inside_lo + 8) & ~7;
      const int first = std::min(inside_lo, width - count);
      run(first, count, first);
    }
    if (hi >= width) run(0, kPad, width);
  }
};

// The planes for the half-groups h0 .. h1 of a row: only the entries
// their windows read, from the first window to the last in each stretch
// where the windows only move right.
void blend_planes(const SamplerTexture& tex, int32_t j, int32_t fv, const LayerWindows& w, int h0, int h1) {
  const PlaneRow row(tex, j, fv, w.planes);
  if (w.wrap < 0) {
    row.all();
  } else if (w.wrap <= h0 || w.wrap > h1) {
    row.entries(w.base[h0], w.base[h1] + 7);
  } else {
    row.entries(w.base[h0], w.base[w.wrap - 1] + 7);
    row.entries(w.base[w.wrap], w.base[h1] + 7);
  }
}

// Sixteen filtered pixels from the planes: per channel, each half-group's
// eight-texel window is loaded once and every column's pair shuffled out of
// it. The same weighted sums as filter_pixel_pair.
inline Rgb<__m256i> filter_group_windowed(const LayerWindows& w, int x0, __m256i /*type*/) {
  const int h = x0 / 8, g = x0 / 16;
  const __m256i left = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.left + h));
  const __m256i right = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.right + h));
  const __m256i weights_lo = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.weights + 4 * g));
  const __m256i weights_hi = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.weights + 4 * g + 2));
  const __m256i round = _mm256_set1_epi32(kFilterRound);
  auto channel = [&](const int16_t* plane) {
    const __m256i window =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + w.base[h]))),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + w.base[h + 1])), 1);
    const __m256i l = _mm256_shuffle_epi8(window, left), r = _mm256_shuffle_epi8(window, right);
    const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(l, r), weights_lo);  // pixels 0-3 of each half
    const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(l, r), weights_hi);  // 4-7
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, round), 2 * kFilterBits),
                              _mm256_srai_epi32(_mm256_add_epi32(hi, round), 2 * kFilterBits));
  };
  const int16_t* planes = w.planes;
  return {channel(planes + 2 * LayerWindows::kPlaneStride), channel(planes + LayerWindows::kPlaneStride),
          channel(planes)};
}

#if defined(__AVX512BW__)
// Thirty-two filtered pixels: the four half-groups' windows in the four
// 128-bit lanes of one register, shuffled and weighted as above.
inline Rgb<__m512i> filter_group_windowed(const LayerWindows& w, int x0, __m512i /*type*/) {
  const int h = x0 / 8, g = x0 / 16;
  const __m512i left = _mm512_load_si512(w.left + h);
  const __m512i right = _mm512_load_si512(w.right + h);
  auto weights_of = [&](int k) {
    return _mm512_inserti64x4(
        _mm512_castsi256_si512(_mm256_load_si256(reinterpret_cast<const __m256i*>(w.weights + 4 * g + k))),
        _mm256_load_si256(reinterpret_cast<const __m256i*>(w.weights + 4 * g + 4 + k)), 1);
  };
  const __m512i weights_lo = weights_of(0), weights_hi = weights_of(2);
  const __m512i round = _mm512_set1_epi32(kFilterRound);
  auto channel = [&](const int16_t* plane) {
    auto at = [&](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + w.base[h + k])); };
    __m512i window = _mm512_castsi128_si512(at(0));
    window = _mm512_inserti32x4(window, at(1), 1);
    window = _mm512_inserti32x4(window, at(2), 2);
    window = _mm512_inserti32x4(window, at(3), 3);
    const __m512i l = _mm512_shuffle_epi8(window, left), r = _mm512_shuffle_epi8(window, right);
    const __m512i lo = _mm512_madd_epi16(_mm512_unpacklo_epi16(l, r), weights_lo);
    const __m512i hi = _mm512_madd_epi16(_mm512_unpackhi_epi16(l, r), weights_hi);
    return _mm512_packs_epi32(_mm512_srai_epi32(_mm512_add_epi32(lo, round), 2 * kFilterBits),
                              _mm512_srai_epi32(_mm512_add_epi32(hi, round), 2 * kFilterBits));
  };
  const int16_t* planes = w.planes;
  return {channel(planes + 2 * LayerWindows::kPlaneStride), channel(planes + LayerWindows::kPlaneStride),
          channel(planes)};
}
#endif
#endif

// Pixel is the target's: uint16_t (R5G6B5) or uint32_t (X8R8G8B8). Only
// the load of the old colour and the store of the new differ.
template <class V, BlendKind kBlend, class Pixel>
void shade_rows(const LayerJob& job, Pixel* colour) {
  constexpr int kWidth = simd::kLanes16<V>;
  const DrawStates& s = *job.states;
  const SamplerTexture& tex = s.texture;
  const Tables tables = {job.columns->texel, job.columns->weights, job.row};
  const bool z_test = s.z_enable, z_write = s.z_enable && s.z_write, white = job.white;
  const uint32_t z_func = s.z_func;
  // Windows are made only for the sixteen- and thirty-two-pixel widths,
  // and the widest is taken only with them.
  [[maybe_unused]] const bool windowed = kWidth >= 16 && job.windows != nullptr;
  const V fragment = simd::splat<V>(static_cast<int>(job.fragment_depth));
  const Rgb<V> diffuse = {simd::splat<V>(job.diffuse_r), simd::splat<V>(job.diffuse_g), simd::splat<V>(job.diffuse_b)};
  for (int n = 0; n < job.count; ++n) {
    const Span& span = job.spans[n];
    int32_t j, fv;
    row_texels(job, span, j, fv);
    const int span_group = span.x_begin & ~(kWidth - 1);
    const int x_first = span_group > job.group_begin ? span_group : job.group_begin;
    // With monotonic columns only the texels this row's groups read: from
    // the first group's left texel to the last group's right one.
    const int x_last = ((span.x_end + kWidth - 1) & ~(kWidth - 1)) - 1;
    const int first = job.monotonic ? job.columns->texel[x_first] : 0;
    const int last = job.monotonic ? job.columns->texel[x_last] + 1 : tex.width;
#if defined(__AVX2__)
    if (windowed) {
      blend_planes(tex, j, fv, *job.windows, x_first / 8, x_last / 8);
    } else {
      blend_rows(tex, j, fv, first, last, job.row);
    }
#else
    blend_rows(tex, j, fv, first, last, job.row);
#endif
    Pixel* colour_row = colour + size_t(span.y) * s.target.width;
    uint16_t* depth_row = job.depth + size_t(span.y) * s.target.width;
    for (int x0 = x_first; x0 < span.x_end; x0 += kWidth) {
      // Most groups of a layer lie wholly inside the span; without a depth
      // test they need no mask.
      const bool whole = !z_test && x0 >= span.x_begin && x0 + kWidth <= span.x_end;
      V mask = whole ? simd::splat<V>(-1) : simd::span_mask<V>(x0, span.x_begin, span.x_end);
      uint16_t* depth_at = depth_row + x0;
      if (z_test) {
        mask = simd::and_(mask, simd::depth_passes(z_func, fragment, simd::load<V>(depth_at)));
        if (!simd::any(mask)) continue;
      }
#if defined(__AVX512BW__)
      Rgb<V> c;
      if constexpr (kWidth == 32) {
        c = filter_group_windowed(*job.windows, x0, V{});
      } else {
        c = windowed ? filter_group_windowed(*job.windows, x0, V{}) : filter_group(tables, x0, V{});
      }
#elif defined(__AVX2__)
      Rgb<V> c = windowed ? filter_group_windowed(*job.windows, x0, V{}) : filter_group(tables, x0, V{});
#else
      Rgb<V> c = filter_group(tables, x0, V{});
#endif
      if (!white) c = simd::modulate(c, diffuse);
      Pixel* colour_at = colour_row + x0;
      if constexpr (std::is_same_v<Pixel, uint16_t>) {
        if (whole && kBlend == BlendKind::kOpaque) {
          simd::store(colour_at, simd::blend<kBlend>(s, c, V{}));
          continue;
        }
        const V old = simd::load<V>(colour_at);
        const V blended = simd::blend<kBlend>(s, c, old);
        simd::store(colour_at, whole ? blended : simd::select(mask, blended, old));
      } else {
        if (whole && kBlend == BlendKind::kOpaque) {
          simd::store_pixels32(colour_at, simd::pack_xrgb(c));
          continue;
        }
        const simd::Pixels32<V> old = simd::load_pixels32<V>(colour_at);
        const simd::Pixels32<V> blended = simd::pack_xrgb(simd::blend_rgb<kBlend>(s, c, simd::unpack_xrgb(old)));
        simd::store_pixels32(colour_at, whole ? blended : simd::select_pixels32(mask, blended, old));
      }
      if (z_write) simd::store(depth_at, simd::select(mask, fragment, simd::load<V>(depth_at)));
    }
  }
}

// kXrgb false: the width draws only R5G6B5 targets (it is never handed
// others).
template <class V, bool kXrgb = true>
void shade_all_rows(const LayerJob& job) {
  simd::with_blend(job.blend, [&](auto kind) {
    constexpr BlendKind kKind = decltype(kind)::value;
    if constexpr (kXrgb) {
      if (job.colour_xrgb != nullptr) {
        shade_rows<V, kKind>(job, job.colour_xrgb);
        return;
      }
    }
    shade_rows<V, kKind>(job, job.colour);
  });
}

}  // namespace
}  // namespace d3d8::raster::D3D8_SIMD_ISA
