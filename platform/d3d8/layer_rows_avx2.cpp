// The screen-layer rows sixteen pixels at a time. Built for AVX2 and called
// only after the CPU has said it has it.
#include "platform/d3d8/layer_rows_shade.h"

namespace d3d8::raster {

void shade_layer_rows_avx2(const LayerJob& job) { shade_layer_rows<__m256i>(job); }

}  // namespace d3d8::raster
