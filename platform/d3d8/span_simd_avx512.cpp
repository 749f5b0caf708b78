// The mesh path with AVX-512 (BW, VL): the filter four pixels a register.
// GCC 12's own AVX-512 intrinsics start from a self-initialised
// "undefined" register, which its uninitialised-use warnings then report
// inside the header at every inlined call.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include "platform/d3d8/span_shade_wide.h"

namespace d3d8::raster {

void shade_spans_avx512(const SpanJob& job) { shade_spans_wide(job); }
void defer_narrow_avx512(const SpanJob& job) { defer_narrow_wide(job); }
void finish_deferred_avx512() { finish_deferred_wide(); }

}  // namespace d3d8::raster
