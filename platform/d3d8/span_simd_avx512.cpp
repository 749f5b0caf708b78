// The mesh path built for AVX-512 (BW, VL): avx512::shade_spans,
// defer_narrow and finish_deferred of the kernel table.
// GCC 12's own AVX-512 intrinsics start from a self-initialised
// "undefined" register, which its uninitialised-use warnings then report
// inside the header at every inlined call.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include "platform/d3d8/span_shade_wide.h"
