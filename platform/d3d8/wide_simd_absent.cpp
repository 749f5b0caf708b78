// Built only where the AVX2 and AVX-512 files are not (the web build): their
// entry points, never called because cpu_has_avx2() is false there.
// Temporary: goes when the rasterizer chooses one kernel table per
// instruction set.
#include <cstdlib>

#include "platform/d3d8/layer_rows.h"
#include "platform/d3d8/span_job.h"

namespace d3d8::raster {

void shade_layer_rows_avx2(const LayerJob&) { std::abort(); }
void shade_layer_rows_avx512(const LayerJob&) { std::abort(); }
void shade_spans_avx2(const SpanJob&) { std::abort(); }
void shade_spans_avx512(const SpanJob&) { std::abort(); }
void defer_narrow_avx2(const SpanJob&) { std::abort(); }
void defer_narrow_avx512(const SpanJob&) { std::abort(); }
void finish_deferred_avx2() { std::abort(); }
void finish_deferred_avx512() { std::abort(); }

}  // namespace d3d8::raster
