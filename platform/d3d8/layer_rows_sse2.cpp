// The screen-layer rows eight pixels at a time, for any x86-64 CPU.
#include "platform/d3d8/kernels.h"
#include "platform/d3d8/layer_rows_shade.h"

namespace d3d8::raster::sse2 {

void shade_layer_rows(const LayerJob& job) { shade_all_rows<__m128i>(job); }

}  // namespace d3d8::raster::sse2
