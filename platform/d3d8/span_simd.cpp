// The fast path for textured triangles in general (the meshes): decides
// whether it applies, sets the triangle's values up once, and shades with
// the draw's kernel table. Every width gives the reference bytes.
#include "platform/d3d8/fast_paths.h"
#include "platform/d3d8/pixel_pipeline.h"

namespace d3d8::raster {

namespace {

int log2_of(int v) {
  int n = 0;
  while ((1 << n) < v) ++n;
  return n;
}

}  // namespace

MeshPath mesh_path(const DrawStates& s, RasterScratch& scratch, uint16_t* colour, uint32_t* colour_xrgb,
                   uint16_t* depth) {
  MeshPath path;
  path.scratch = &scratch;
  const SamplerTexture& tex = s.texture;
  simd::BlendKind kind;
  if (tex.texels == nullptr || !tex.pow2 || s.address_u != D3DTADDRESS_WRAP ||
      s.address_v != D3DTADDRESS_WRAP || !simd::default_colour_op(s) || !simd::blend_supported(s, kind)) {
    return path;
  }
  path.applies = true;
  SpanJob& job = path.job;
  job.states = &s;
  job.colour = colour_xrgb != nullptr ? nullptr : colour;
  job.colour_xrgb = colour_xrgb;
  job.depth = depth;
  job.texels = tex.texels;
  job.stride = tex.stride;
  job.width_shift = log2_of(tex.width);
  job.width_mask = tex.width - 1;
  job.height_mask = tex.height - 1;
  job.z_test = s.z_enable;
  job.z_write = s.z_enable && s.z_write;
  job.z_func = s.z_func;
  job.z_bias = static_cast<int>(s.z_bias);
  job.blend = kind;
  return path;
}

namespace {

// The draw's job for one triangle and its spans.
SpanJob job_of(const MeshPath& path, const Triangle& t, const Span* spans, int count) {
  SpanJob job = path.job;
  job.triangle = &t;
  job.spans = spans;
  job.count = count;
  job.bilinear = t.bilinear;
  job.perspective = t.perspective;
  job.flat = t.flat_colour;
  job.white = t.flat_colour && (t.flat_argb & 0xFFFFFF) == 0xFFFFFF;
  job.diffuse_r = int(channel_r(t.flat_argb));
  job.diffuse_g = int(channel_g(t.flat_argb));
  job.diffuse_b = int(channel_b(t.flat_argb));
  job.shading_key = (t.flat_argb & 0xFFFFFF) << 8 | (t.bilinear ? 1u : 0u) | (t.perspective ? 2u : 0u);
  return job;
}

}  // namespace

bool shade_spans_simd(const MeshPath& path, const Triangle& t, const Span* spans, int count) {
  if (!path.applies) return false;
  const KernelTable& kernels = *path.job.states->kernels;
  (path.job.colour_xrgb != nullptr ? kernels.shade_spans_xrgb : kernels.shade_spans)(*path.scratch,
                                                                                   job_of(path, t, spans, count));
  return true;
}

bool cover_and_shade_narrow(const MeshPath& path, const Triangle& t) {
  // 32-bit targets keep no pixels pending: their narrow triangles go by spans.
  if (!path.applies || !t.flat_colour || path.job.colour_xrgb != nullptr) return false;
  const KernelTable& kernels = *path.job.states->kernels;
  if (kernels.defer_narrow == nullptr) return false;
  kernels.defer_narrow(*path.scratch, job_of(path, t, nullptr, 0));
  return true;
}

void finish_deferred_pixels(const DrawStates& s, RasterScratch& scratch) {
  if (s.kernels->finish_deferred != nullptr) s.kernels->finish_deferred(scratch);
}

}  // namespace d3d8::raster
