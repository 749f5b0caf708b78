// The screen-layer rows thirty-two pixels at a time. Built for AVX-512 (BW)
// and called only after the CPU has said it has it, for windowed layers.
// GCC 12's own AVX-512 intrinsics start from a self-initialised
// "undefined" register, which its uninitialised-use warning then reports
// inside the header at every inlined call.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include "platform/d3d8/kernels.h"
#include "platform/d3d8/layer_rows_shade.h"

namespace d3d8::raster::avx512 {

// 32-bit targets take AVX2's rows, which read the same column table and
// windows: the thirty-two-pixel rows draw R5G6B5 only, as their 32-bit
// form (lane reordering across 512-bit quarters) has had no AVX-512 CPU
// to be tested on.
void shade_layer_rows(const LayerJob& job) {
  if (job.colour_xrgb != nullptr) {
    avx2::shade_layer_rows(job);
    return;
  }
  shade_all_rows<__m512i, false>(job);
}

}  // namespace d3d8::raster::avx512
