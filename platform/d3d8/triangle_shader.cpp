#include "platform/d3d8/triangle_shader.h"

#include <memory>

#include "platform/d3d8/pixel_pipeline.h"
#include "platform/d3d8/triangle.h"

namespace d3d8::raster {

namespace {

#if defined(TUULI_KERNELS_SSE2)
RasterScratch* scratch_of(DeviceState& device, const DrawStates& states, int participant) {
  return states.fast_paths ? device.scratch[participant].get() : nullptr;
}
#endif

}  // namespace

TriangleShader::TriangleShader(DeviceState& device, const DrawStates& states, int participant)
    : states_(states),
      colour_(device.back_buffer.data()),
      colour_xrgb_(device.xrgb ? device.back_buffer_xrgb.data() : nullptr),
      depth_(device.depth_buffer.data())
#if defined(TUULI_KERNELS_SSE2)
      ,
      scratch_(scratch_of(device, states, participant)),
      mesh_path_(states.fast_paths ? mesh_path(states, *scratch_, colour_, colour_xrgb_, depth_) : MeshPath{})
#endif
{
  (void)participant;
}

TriangleShader::Shaded TriangleShader::shade(const Triangle& triangle) {
  int count;
  const bool narrow = states_.fast_paths && narrow_coverage(triangle);
  if (narrow) {
#if defined(TUULI_KERNELS_SSE2)
    if (cover_and_shade_narrow(mesh_path_, triangle)) return {Path::simd, true};
#endif
    count = compute_spans_narrow(triangle, spans_);
  } else {
    count = compute_spans(triangle, spans_);
  }
  if (count == 0) return {};
#if defined(TUULI_KERNELS_SSE2)
  if (states_.fast_paths) {
    const bool layer = colour_xrgb_ != nullptr
                           ? shade_spans_layer(states_, *scratch_, triangle, spans_, count, colour_xrgb_, depth_)
                           : shade_spans_layer(states_, *scratch_, triangle, spans_, count, colour_, depth_);
    if (layer) return {Path::layer, narrow};
    if (shade_spans_simd(mesh_path_, triangle, spans_, count)) return {Path::simd, narrow};
  }
#endif
  finish_deferred();
  if (colour_xrgb_ != nullptr) {
    shade_spans_reference(states_, triangle, spans_, count, colour_xrgb_, depth_);
  } else {
    shade_spans_reference(states_, triangle, spans_, count, colour_, depth_);
  }
  return {Path::reference, narrow};
}

void TriangleShader::finish_deferred() {
#if defined(TUULI_KERNELS_SSE2)
  if (states_.fast_paths) finish_deferred_pixels(states_, *scratch_);
#endif
}

void prepare_scratch(DeviceState& device, int participants) {
#if defined(TUULI_KERNELS_SSE2)
  if (device.scratch.size() < size_t(participants)) device.scratch.resize(participants);
  for (int i = 0; i < participants; ++i) {
    if (!device.scratch[i]) device.scratch[i] = std::make_shared<RasterScratch>();
  }
#else
  (void)device, (void)participants;
#endif
}

void add_counters(const RasterCounters& counted) {
  raster_counters.layer_triangles += counted.layer_triangles;
  raster_counters.simd_triangles += counted.simd_triangles;
  raster_counters.reference_triangles += counted.reference_triangles;
  raster_counters.narrow_triangles += counted.narrow_triangles;
}

}  // namespace d3d8::raster
