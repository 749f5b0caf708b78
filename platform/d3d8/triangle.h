// Triangle setup and coverage: snapping, culling, the attribute planes, and
// the rows of pixels a triangle covers under the Direct3D 8 fill rules.
#pragma once

#include "platform/d3d8/raster_types.h"

namespace d3d8::raster {

// Fills `out` for the triangle a, b, c (in primitive order, which decides
// the winding for culling). False when nothing can be covered: zero area
// after snapping, culled, or a position that is not finite or lies outside
// twice the guard band (the clipper keeps vertices inside it).
bool setup_triangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                    const DrawStates& states, Triangle& out);

// Fills v.snapped_x and v.snapped_y and sets v.snapped when v lies within
// the setup limit; setup_triangle then takes those instead of snapping.
// Sets v.in_guard_band too.
void snap_vertex(ScreenVertex& v, const TargetSize& target);

// Writes the covered runs of each row, top to bottom, into spans (room for
// kMaxSpans) and returns how many. A pixel is covered when its centre lies
// inside the triangle, or on an edge that is a top edge (horizontal, with the
// triangle below) or a left edge: the top-left rule of Direct3D, which draws
// a pixel on an edge shared by two triangles exactly once.
int compute_spans(const Triangle& triangle, Span* spans);

// Narrow triangles (the pixels of a fine mesh: at most eight columns, less
// than 256 pixels across) can take compute_spans_narrow instead, a
// lane-per-column edge test in int32 that gives the same spans as
// compute_spans without its divisions.
inline bool narrow_coverage(const Triangle& triangle) { return triangle.narrow; }
int compute_spans_narrow(const Triangle& triangle, Span* spans);

}  // namespace d3d8::raster
