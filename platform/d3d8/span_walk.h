// What both widths of the mesh path share: the job's values splatted for
// the width, and the walk over a triangle's spans.
// Every value a pixel gets is a plane evaluated at its own position, so
// the width and the order of the groups change no byte. Included only by
// the files of one instruction set each: everything here lives in that
// set's namespace, with internal linkage.
#pragma once

#include "platform/d3d8/raster_scratch.h"
#include "platform/d3d8/span_job.h"

namespace d3d8::raster::D3D8_SIMD_ISA {
namespace {

// The job's values as each width uses them: int32 lanes splatted once.
template <class V>
struct SpanSetup {
  const uint32_t* texels;
  int stride, width_shift;
  V width_mask, height_mask;
  bool bilinear, perspective, flat, white, z_test, z_write;
  uint32_t z_func;
  V z_bias;
  simd::Rgb8 flat_diffuse;
  // The filter's constants and the row shift, made once per triangle: read
  // from here they are one operand, built in the loop three instructions.
  V filter_half, filter_one, filter_round;
  __m128i width_shift_count;
};

template <class V>
SpanSetup<V> setup_of(const SpanJob& job) {
  return {job.texels,
          job.stride,
          job.width_shift,
          simd::splat32<V>(job.width_mask),
          simd::splat32<V>(job.height_mask),
          job.bilinear,
          job.perspective,
          job.flat,
          job.white,
          job.z_test,
          job.z_write,
          job.z_func,
          simd::splat32<V>(job.z_bias),
          {simd::splat16(job.diffuse_r), simd::splat16(job.diffuse_g), simd::splat16(job.diffuse_b)},
          simd::splat32<V>(kFilterOne / 2),
          simd::splat32<V>(kFilterOne),
          simd::splat32<V>(1 << (2 * kFilterBits - 1)),
          _mm_cvtsi32_si128(job.width_shift)};
}

constexpr int kRun = 8;

// Walks the spans: the whole runs of eight neighbouring pixels at the
// start of each span go to runs(y, x, x_end) in place, which shades as
// many as it likes and returns where it stopped (fewer than eight before
// x_end); the rest joins `list`, which goes to
// group(x, y, n) kGroup entries at a time (n of them real; the lanes past n
// repeat the last pixel so every lane computes sanely, and are never
// stored).
template <int kGroup, class Run, class Group>
inline void walk_spans(PixelList& list, const Span* spans, int count, Run&& runs, Group&& group) {
  int n = 0;
  auto flush = [&](int upto) {
    for (int i = 0; i < upto; i += kGroup) group(list.x + i, list.y + i, upto - i < kGroup ? upto - i : kGroup);
  };
  for (int i = 0; i < count; ++i) {
    const Span& span = spans[i];
    int x = span.x_begin;
    if (x + kRun <= span.x_end) x = runs(span.y, x, span.x_end);
    // The fewer than eight left join the list as one store of eight; the
    // lanes past them are overwritten by what comes next (the list has
    // room past its flush point).
    if (x < span.x_end) {
      const __m128i xs = _mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3));
      const __m128i ys = _mm_set1_epi32(span.y);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(list.x + n), xs);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(list.x + n + 4), _mm_add_epi32(xs, _mm_set1_epi32(4)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(list.y + n), ys);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(list.y + n + 4), ys);
      n += span.x_end - x;
    }
    if (n >= kListFlush) {
      const int whole = n - n % kGroup;
      flush(whole);
      for (int j = whole; j < n; ++j) list.x[j - whole] = list.x[j], list.y[j - whole] = list.y[j];
      n -= whole;
    }
  }
  if (n == 0) return;
  for (int j = n; j % kGroup != 0; ++j) list.x[j] = list.x[n - 1], list.y[j] = list.y[n - 1];
  flush(n);
}

}  // namespace
}  // namespace d3d8::raster::D3D8_SIMD_ISA
