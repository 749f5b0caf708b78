// The screen-layer rows eight pixels at a time, for any x86-64 CPU.
#include "platform/d3d8/layer_rows_shade.h"

namespace d3d8::raster {

void shade_layer_rows_sse2(const LayerJob& job) { shade_layer_rows<__m128i>(job); }

}  // namespace d3d8::raster
