// The fast paths' code for each instruction set, as tables of entry points.
// The files built for AVX2 or AVX-512 hold nothing else that the program
// can reach: no object with an initializer or destructor, no function
// outside their own namespace (avx2, avx512). Their code runs only through
// the table kernels_for() hands out, which never exceeds what the CPU
// has (cpu::simd_ceiling()).
#pragma once

#include "platform/cpu/cpu.h"

namespace d3d8::raster {

struct RasterScratch;
struct SpanJob;
struct LayerJob;

struct KernelTable {
  cpu::SimdLevel level;
  // The mesh path: a triangle's spans. The wide widths may leave the pixels
  // of flat-coloured triangles pending in the scratch's queue, to share
  // groups with the next triangles'; finish_deferred shades them.
  void (*shade_spans)(RasterScratch& scratch, const SpanJob& job);
  // The same into an X8R8G8B8 target (SpanJob::colour_xrgb), every pixel
  // shaded before it returns: nothing waits, whatever the width.
  void (*shade_spans_xrgb)(RasterScratch& scratch, const SpanJob& job);
  // A narrow flat-coloured triangle covered and deferred without spans;
  // null at widths that defer nothing.
  void (*defer_narrow)(RasterScratch& scratch, const SpanJob& job);
  void (*finish_deferred)(RasterScratch& scratch);  // null likewise
  // The screen-layer rows, and those of a layer whose groups fit windows
  // (LayerWindows).
  void (*shade_layer_rows)(const LayerJob& job);
  void (*shade_windowed_layer_rows)(const LayerJob& job);
  int layer_width;  // pixels a group of the column table holds: 8 or 16
  int layer_group;  // pixels a windowed group covers: 8, 16 or 32
};

// The widest table at or below `level` that this build has (the scalar
// table, all null, when it has none). Callers take `level` from
// cpu::simd_ceiling().
const KernelTable& kernels_for(cpu::SimdLevel level);

// The entry points, one namespace per instruction set, defined in the
// files built for it.
#define D3D8_DECLARE_KERNELS(isa)                                  \
  namespace isa {                                                  \
  void shade_spans(RasterScratch& scratch, const SpanJob& job);    \
  void defer_narrow(RasterScratch& scratch, const SpanJob& job);   \
  void finish_deferred(RasterScratch& scratch);                    \
  void shade_layer_rows(const LayerJob& job);                      \
  }
D3D8_DECLARE_KERNELS(sse2)
D3D8_DECLARE_KERNELS(avx2)
D3D8_DECLARE_KERNELS(avx512)
#undef D3D8_DECLARE_KERNELS
// 32-bit targets have SSE2 and AVX2 entry points only: AVX-512 CPUs draw
// them with AVX2's (see simd_xrgb.h).
namespace sse2 {
void shade_spans_xrgb(RasterScratch& scratch, const SpanJob& job);
}
namespace avx2 {
void shade_spans_xrgb(RasterScratch& scratch, const SpanJob& job);
}

}  // namespace d3d8::raster
