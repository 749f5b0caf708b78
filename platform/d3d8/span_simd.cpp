// The fast path for textured triangles in general (the meshes): decides
// whether it applies, sets the triangle's values up once, and shades at the
// widest SIMD width the CPU offers. Both widths give the reference bytes.
#include "platform/d3d8/fast_paths.h"
#include "platform/d3d8/pixel_pipeline.h"
#include "platform/d3d8/span_job.h"

namespace d3d8::raster {

namespace {

int log2_of(int v) {
  int n = 0;
  while ((1 << n) < v) ++n;
  return n;
}

// The job for the triangle's spans; false when this path does not apply.
bool job_of(const DrawStates& s, const Triangle& t, const Span* spans, int count, uint16_t* colour,
            uint16_t* depth, SpanJob& job) {
  const SamplerTexture& tex = s.texture;
  simd::BlendKind kind;
  if (tex.texels == nullptr || !tex.pow2 || s.address_u != D3DTADDRESS_WRAP ||
      s.address_v != D3DTADDRESS_WRAP || !simd::default_colour_op(s) || !simd::blend_supported(s, kind)) {
    return false;
  }
  job.states = &s;
  job.triangle = &t;
  job.spans = spans;
  job.count = count;
  job.colour = colour;
  job.depth = depth;
  job.texels = tex.texels;
  job.stride = tex.stride;
  job.width_shift = log2_of(tex.width);
  job.width_mask = tex.width - 1;
  job.height_mask = tex.height - 1;
  job.bilinear = t.bilinear;
  job.perspective = t.perspective;
  job.flat = t.flat_colour;
  job.white = t.flat_colour && (t.flat_argb & 0xFFFFFF) == 0xFFFFFF;
  job.z_test = s.z_enable;
  job.z_write = s.z_enable && s.z_write;
  job.z_func = s.z_func;
  job.z_bias = static_cast<int>(s.z_bias);
  job.diffuse_r = int(channel_r(t.flat_argb));
  job.diffuse_g = int(channel_g(t.flat_argb));
  job.diffuse_b = int(channel_b(t.flat_argb));
  job.blend = kind;
  return true;
}

}  // namespace

bool shade_spans_simd(const DrawStates& s, const Triangle& t, const Span* spans, int count,
                      uint16_t* colour, uint16_t* depth) {
  SpanJob job;
  if (!job_of(s, t, spans, count, colour, depth, job)) return false;
  if (s.widest_simd) {
    shade_spans_avx512(job);
  } else if (s.wide_simd) {
    shade_spans_avx2(job);
  } else {
    shade_spans_sse2(job);
  }
  return true;
}

bool cover_and_shade_narrow(const DrawStates& s, const Triangle& t, uint16_t* colour, uint16_t* depth) {
  SpanJob job;
  if (!s.wide_simd || !t.flat_colour || !job_of(s, t, nullptr, 0, colour, depth, job)) return false;
  if (s.widest_simd) {
    defer_narrow_avx512(job);
  } else {
    defer_narrow_avx2(job);
  }
  return true;
}

void finish_deferred_pixels(const DrawStates& s) {
  if (s.widest_simd) {
    finish_deferred_avx512();
  } else if (s.wide_simd) {
    finish_deferred_avx2();
  }
}

}  // namespace d3d8::raster
