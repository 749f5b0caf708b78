// A draw's assembled triangles clipped and set up, each set-up triangle
// written where a sink says (next()) and handed over (keep()), unless the
// sink has no use for its corners (reaches()): shaded at once on one drawing thread, or kept for the
// bands on several. Keeps no state beyond its own, so several drawers may
// set up parts of the waiting draws side by side.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/clipper.h"
#include "platform/d3d8/raster_types.h"
#include "platform/d3d8/triangle.h"
#include "platform/d3d8/vertex_processing.h"

namespace d3d8::raster {

// A draw's processed vertices and its triangles, three vertex numbers each
// (into vertices, every one checked), in the order drawn.
struct AssembledDraw {
  std::vector<ProcessedVertex> vertices;
  std::vector<uint32_t> corners;
  // For a queued draw, per vertex: the row its screen position lies in
  // when a triangle of such corners needs no clipping (one set-up triangle
  // over the same rows), else kClippedRow. Each band passes over triangles
  // far from its rows on these, not reading their vertices.
  std::vector<int32_t> rows;
  size_t triangles() const { return corners.size() / 3; }
};

constexpr int32_t kClippedRow = INT32_MIN;

inline int32_t row_of(const ProcessedVertex& v) {
  if (!v.valid || v.outcode != 0 || !v.screen.in_guard_band) return kClippedRow;
  return static_cast<int32_t>(std::floor(v.screen.y));
}

template <class Sink>
class TriangleDrawer {
 public:
  TriangleDrawer(const DrawStates& states, Sink& sink) : states_(states), sink_(sink) {}

  // Triangles [first, end) of the draw.
  void draw(const AssembledDraw& draw, size_t first, size_t end) {
    const ProcessedVertex* v = draw.vertices.data();
    for (size_t i = first; i < end; ++i) {
      const uint32_t* c = &draw.corners[3 * i];
      assembled(v[c[0]], v[c[1]], v[c[2]]);
    }
  }

 private:
  // Flat shading colours a triangle with its first vertex's colour; copying
  // it to all three before clipping keeps it whatever the clipper cuts away.
  void assembled(const ProcessedVertex& a, const ProcessedVertex& b, const ProcessedVertex& c) {
    if (!states_.flat_shade) {
      triangle(a, b, c);
      return;
    }
    ProcessedVertex fb = b, fc = c;
    std::copy(a.screen.colour, a.screen.colour + 4, fb.screen.colour);
    std::copy(a.screen.colour, a.screen.colour + 4, fc.screen.colour);
    std::copy(a.clip.colour, a.clip.colour + 4, fb.clip.colour);
    std::copy(a.clip.colour, a.clip.colour + 4, fc.clip.colour);
    triangle(a, fb, fc);
  }

  void triangle(const ProcessedVertex& a, const ProcessedVertex& b, const ProcessedVertex& c) {
    if (!a.valid || !b.valid || !c.valid) return;
    if ((a.outcode | b.outcode | c.outcode) == 0) {
      screen_triangle(a.screen, b.screen, c.screen);
      return;
    }
    if (a.outcode & b.outcode & c.outcode) return;  // wholly beyond one plane
    const ClipVertex in[3] = {a.clip, b.clip, c.clip};
    ClipVertex clipped[kMaxPolygon];
    const int n = clip_homogeneous(in, clipped);
    ScreenVertex polygon[kMaxPolygon];
    for (int i = 0; i < n; ++i) project(clipped[i], states_.target, polygon[i]);
    screen_polygon(polygon, n);
  }

  void screen_triangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    if (a.in_guard_band && b.in_guard_band && c.in_guard_band) {
      set_up(a, b, c);
      return;
    }
    const ScreenVertex polygon[3] = {a, b, c};
    screen_polygon(polygon, 3);
  }

  // A convex polygon in screen space, possibly reaching past the guard band.
  void screen_polygon(const ScreenVertex* polygon, int n) {
    bool inside = true;
    for (int i = 0; i < n; ++i) inside = inside && inside_guard_band(polygon[i], states_.target);
    ScreenVertex clipped[kMaxPolygon];
    if (!inside) {
      n = clip_guard_band(polygon, n, states_.target, clipped);
      polygon = clipped;
    }
    for (int i = 1; i + 1 < n; ++i) set_up(polygon[0], polygon[i], polygon[i + 1]);
  }

  void set_up(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    if (sink_.reaches(a, b, c) && setup_triangle(a, b, c, states_, sink_.next())) sink_.keep();
  }

  const DrawStates& states_;
  Sink& sink_;
};

}  // namespace d3d8::raster
