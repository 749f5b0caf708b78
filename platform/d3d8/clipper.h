// Clipping: against the near and far planes in homogeneous space, and
// against the guard band around the target in screen space.
#pragma once

#include "platform/d3d8/raster_types.h"
#include "platform/d3d8/vertex_processing.h"

namespace d3d8::raster {

// Room for a triangle cut by every plane: each plane adds at most one vertex.
constexpr int kMaxPolygon = 16;

// Clips a triangle to z >= 0, z <= w and w >= kMinClipW (the near and far
// planes of the Direct3D clip volume, and a guard that keeps the divide by w
// finite). Attributes are interpolated linearly in clip space, which is
// perspective-correct. Returns the vertex count of the convex polygon left
// (0 or 3..kMaxPolygon), in the triangle's winding.
int clip_homogeneous(const ClipVertex (&in)[3], ClipVertex (&out)[kMaxPolygon]);

// Clips a convex polygon of screen vertices to the guard band (the target
// widened by kGuardBandPixels): x, y, z and q linearly in screen space, the
// other attributes perspective-correctly through q. Returns the count left.
int clip_guard_band(const ScreenVertex* in, int count, const TargetSize& target,
                    ScreenVertex (&out)[kMaxPolygon]);

bool inside_guard_band(const ScreenVertex& v, const TargetSize& target);

}  // namespace d3d8::raster
