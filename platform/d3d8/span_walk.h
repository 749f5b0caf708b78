// What both widths of the mesh path share: the job's values splatted for
// the width, and the walk over a triangle's spans.
// Every value a pixel gets is a plane evaluated at its own position, so
// the width and the order of the groups change no byte. Internal linkage:
// each file that shades gets its own copy and its own list.
#pragma once

#include "platform/d3d8/span_job.h"

namespace d3d8::raster {
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
          {simd::splat16(job.diffuse_r), simd::splat16(job.diffuse_g), simd::splat16(job.diffuse_b)}};
}

// The covered pixels that are not part of a whole run of eight, as a list
// shaded a group at a time regardless of row, so the 2 to 4 pixel rows of
// small triangles do not waste lanes.
constexpr int kListFlush = 256;
constexpr int kRun = 8;
struct PixelList {
  alignas(32) int32_t x[kListFlush + kBackBufferWidth + 16];
  alignas(32) int32_t y[kListFlush + kBackBufferWidth + 16];
};

// Written and read only while shading a triangle, on the drawing thread
// (one per width, each file having its own).
PixelList pixel_list;

// Walks the spans: each whole run of eight neighbouring pixels goes to
// run(y, x) in place, the rest joins the list, which goes to
// group(x, y, n) kGroup entries at a time (n of them real; the lanes past n
// repeat the last pixel so every lane computes sanely, and are never
// stored).
template <int kGroup, class Run, class Group>
inline void walk_spans(const Span* spans, int count, Run&& run, Group&& group) {
  PixelList& list = pixel_list;
  int n = 0;
  auto flush = [&](int upto) {
    for (int i = 0; i < upto; i += kGroup) group(list.x + i, list.y + i, upto - i < kGroup ? upto - i : kGroup);
  };
  for (int i = 0; i < count; ++i) {
    const Span& span = spans[i];
    int x = span.x_begin;
    for (; x + kRun <= span.x_end; x += kRun) run(span.y, x);
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
}  // namespace d3d8::raster
