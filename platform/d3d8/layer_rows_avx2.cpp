// The screen-layer rows sixteen pixels at a time. Built for AVX2 and called
// only after the CPU has said it has it.
#include "platform/d3d8/kernels.h"
#include "platform/d3d8/layer_rows_shade.h"

namespace d3d8::raster::avx2 {

void shade_layer_rows(const LayerJob& job) { shade_all_rows<__m256i>(job); }

}  // namespace d3d8::raster::avx2
