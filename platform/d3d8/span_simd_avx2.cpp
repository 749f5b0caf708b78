// The mesh path with AVX2.
#include "platform/d3d8/span_shade_wide.h"

namespace d3d8::raster {

void shade_spans_avx2(const SpanJob& job) { shade_spans_wide(job); }
void defer_narrow_avx2(const SpanJob& job) { defer_narrow_wide(job); }
void finish_deferred_avx2() { finish_deferred_wide(); }

}  // namespace d3d8::raster
