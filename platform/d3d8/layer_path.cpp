#include "platform/d3d8/fast_paths.h"
namespace d3d8::raster {
bool shade_spans_layer(const DrawStates&, const Triangle&, const Span*, int, uint16_t*, uint16_t*) { return false; }
}
