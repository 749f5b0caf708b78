// The mesh path with AVX2: avx2::shade_spans, defer_narrow and
// finish_deferred of the kernel table.
#include "platform/d3d8/span_shade_wide.h"
