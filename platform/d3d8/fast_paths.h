// Fast ways to shade a triangle's spans, each taken only for the states and
// triangles it handles and giving exactly the bytes of
// shade_spans_reference (pixel_pipeline.h). Each returns false, having
// drawn nothing, when it does not apply. They shade through the draw's
// kernel table (DrawStates::kernels, never the scalar one) in the caller's
// scratch. Built only where the build has SIMD code (TUULI_KERNELS_SSE2).
#pragma once

#include "platform/d3d8/kernels.h"
#include "platform/d3d8/raster_scratch.h"
#include "platform/d3d8/raster_types.h"
#include "platform/d3d8/span_job.h"

namespace d3d8::raster {

// Screen layers and other axis-aligned textured triangles: affine, u varying
// only across and v only down, one colour, one depth. Precomputes the
// texture columns once per triangle and the filtered texture row once per
// screen row, then blends sixteen pixels at a time (eight without AVX2).
bool shade_spans_layer(const DrawStates& states, RasterScratch& scratch, const Triangle& triangle,
                       const Span* spans, int count, uint16_t* colour, uint16_t* depth);
// The same into an X8R8G8B8 target.
bool shade_spans_layer(const DrawStates& states, RasterScratch& scratch, const Triangle& triangle,
                       const Span* spans, int count, uint32_t* colour, uint16_t* depth);

// Any other textured triangle (perspective or affine) with the default
// stage-0 operation and wrapping power-of-two textures: eight pixels at a
// time in AVX2, four in SSE2. Whether a draw's states allow it, and the
// values that depend only on them, are decided once per draw by mesh_path.
// With AVX2 the pixels of small flat-coloured triangles may still be pending
// when it returns, to share groups with the next triangles': anything else
// that draws calls finish_deferred_pixels first, and every draw ends with it.
// An X8R8G8B8 target (colour_xrgb not null) is drawn with SSE2 or AVX2 and
// leaves nothing pending.
struct MeshPath {
  bool applies = false;
  RasterScratch* scratch = nullptr;
  SpanJob job{};  // without the triangle's own values
};
MeshPath mesh_path(const DrawStates& states, RasterScratch& scratch, uint16_t* colour, uint32_t* colour_xrgb,
                   uint16_t* depth);
bool shade_spans_simd(const MeshPath& path, const Triangle& triangle, const Span* spans, int count);
void finish_deferred_pixels(const DrawStates& states, RasterScratch& scratch);

// A narrow triangle (narrow_coverage) that shade_spans_simd would shade
// with AVX2 and one colour into an R5G6B5 target, covered and shaded without spans: the columns
// of each row tested in one register and the covered pixels deferred as
// they are found.
bool cover_and_shade_narrow(const MeshPath& path, const Triangle& triangle);

}  // namespace d3d8::raster
