// The vertex stage: vertex formats, reading vertices out of a buffer, and
// the fixed-function transform of untransformed vertices.
#pragma once

#include <cstdint>

#include "platform/d3d8/raster_types.h"

namespace d3d8::raster {

// Where the fields the rasterizer reads lie in one vertex of an FVF layout.
struct VertexFormat {
  bool pretransformed = false;  // XYZRHW: already in screen space
  uint32_t size_bytes = 0;
  int diffuse_offset = -1;      // -1: no diffuse, drawn as opaque white
  int texcoord_offset = -1;     // -1: no coordinates, (0, 0)
  int texcoord_floats = 0;      // floats in set 0 (1 to 4)
};

// False for layouts the device cannot draw (no position, or vertex blending
// weights, which the fixed-function path here does not do).
bool parse_fvf(uint32_t fvf, VertexFormat& out);

// A vertex in clip space (after WORLD x VIEW x PROJECTION), before the divide.
struct ClipVertex {
  double x = 0, y = 0, z = 0, w = 1;
  double u = 0, v = 0;
  double colour[4] = {0, 0, 0, 0};
};

// Planes of the homogeneous clip volume that the clipper enforces.
enum ClipPlane : uint8_t { kClipNear = 1, kClipFar = 2, kClipW = 4 };

// What every triangle reads first; the clip-space copy, which only
// clipping reads, last.
struct ProcessedVertex {
  ScreenVertex screen;  // valid when outcode == 0
  uint8_t outcode = 0;  // ClipPlane bits the vertex lies outside of
  bool valid = false;   // finite, and for XYZRHW an RHW above 0
  ClipVertex clip;      // untransformed path only
};

// The combined p x WORLD x VIEW x PROJECTION matrix (row vectors), in
// double, and the target the viewport maps onto.
struct Transform {
  double m[4][4];
  TargetSize target;
};
Transform combined_transform(const D3DMATRIX& world, const D3DMATRIX& view,
                             const D3DMATRIX& projection, const TargetSize& target);

// Processes one vertex whose bytes the caller has bounds-checked into
// `out`, every field of it. A pre-transformed position is in the program's
// 640x480 pixels and is scaled to the target's. In place: a draw's vertices are a large array,
// and a vertex built elsewhere and copied in cost more than building it.
void process_vertex(const uint8_t* bytes, const VertexFormat& format, const Transform& transform,
                    ProcessedVertex& out);

// Screen position of a clip-space vertex inside the clip volume: the
// target-sized viewport with z in 0..1, as the Direct3D 8 viewport maps it
// (x = -1 to pixel 0.0, x = +1 to the width, 640.0 at scale 1, y flipped).
void project(const ClipVertex& v, const TargetSize& target, ScreenVertex& out);

uint8_t outcode_of(const ClipVertex& v);

}  // namespace d3d8::raster
