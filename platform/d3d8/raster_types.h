// What the stages of the rasterizer hand each other: vertices in screen
// space, the render states of one draw, a set-up triangle and its spans.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8_local.h"

namespace d3d8::raster {

struct KernelTable;

// A vertex after the vertex stage. x, y in pixels with pixel centres at
// integer coordinates (Direct3D 8 convention), z in 0..1, q = 1/w (the RHW
// of a pre-transformed vertex), u, v in texture-coordinate units, colour
// channels in 0..255 in the order b, g, r, a.
struct ScreenVertex {
  double x = 0, y = 0, z = 0, q = 1;
  double u = 0, v = 0;
  double colour[4] = {0, 0, 0, 0};
  // The position snapped to 1/16 pixel, filled in once per vertex by the
  // vertex stage (a mesh vertex is shared by about six triangles); false
  // for vertices made later (clipping) and for any beyond the setup limit,
  // which triangle setup then snaps or refuses itself.
  bool snapped = false;
  int32_t snapped_x = 0, snapped_y = 0;
  // Inside the clipper's guard band, found once per vertex by the vertex
  // stage; false for vertices made later, which are checked themselves.
  bool in_guard_band = false;
};

// Level 0 of a texture widened to ARGB8888, with one extra column and row
// that repeat column 0 and row 0, so a bilinear pair at the last texel reads
// its wrapped neighbour without a second address computation.
struct SamplerTexture {
  const uint32_t* texels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // texels per row: width + 1
  bool pow2 = false;
};

// The size the device draws at, and how much larger than the program's
// 640x480 that is.
struct TargetSize {
  int width = kBackBufferWidth;
  int height = kBackBufferHeight;
  int scale = 1;
};

// The render and stage-0 states one draw call uses, read once per draw.
struct DrawStates {
  TargetSize target;
  bool z_enable = false;
  bool z_write = false;
  uint32_t z_func = D3DCMP_LESSEQUAL;
  uint32_t z_bias = 0;  // clamped to kMaxZBias
  uint32_t cull = D3DCULL_NONE;
  bool blend = false;
  uint32_t src_blend = D3DBLEND_ONE;
  uint32_t dest_blend = D3DBLEND_ZERO;
  bool alpha_test = false;
  uint32_t alpha_func = D3DCMP_ALWAYS;
  uint32_t alpha_ref = 0;
  uint32_t colour_op = D3DTOP_MODULATE;
  uint32_t colour_arg1 = D3DTA_TEXTURE;
  uint32_t colour_arg2 = D3DTA_CURRENT;
  uint32_t alpha_op = D3DTOP_SELECTARG1;
  uint32_t alpha_arg1 = D3DTA_TEXTURE;
  uint32_t alpha_arg2 = D3DTA_CURRENT;
  uint32_t texture_factor = 0xFFFFFFFF;
  uint32_t min_filter = D3DTEXF_POINT;
  uint32_t mag_filter = D3DTEXF_POINT;
  uint32_t address_u = D3DTADDRESS_WRAP;
  uint32_t address_v = D3DTADDRESS_WRAP;
  bool flat_shade = false;
  SamplerTexture texture;  // texels == nullptr: no texture bound
  // False when the draw's kernel table is the scalar one: every pixel then
  // takes the reference path.
  bool fast_paths = true;
  const KernelTable* kernels = nullptr;  // never wider than the CPU allows
};

// One attribute as a plane over the screen, relative to the triangle's first
// vertex: at pixel centre (x, y), with dx = x - x0 and dy = y - y0 (exact in
// float), the value is (c + b * dy) + a * dx, evaluated in float in exactly
// this order by every path.
struct Plane {
  float c = 0;
  float a = 0;  // per pixel in x
  float b = 0;  // per pixel in y
};

inline float eval_row(const Plane& p, float dy) { return p.c + p.b * dy; }
inline float eval_at(const Plane& p, float row, float dx) { return row + p.a * dx; }

// A triangle ready to be drawn: where it covers (edges on 28.4 positions) and
// how its attributes vary.
struct Triangle {
  int32_t X[3] = {0, 0, 0};  // snapped positions, 1/16 pixel, inside turns clockwise
  int32_t Y[3] = {0, 0, 0};
  int y_begin = 0, y_end = 0;  // rows covered may lie in [y_begin, y_end)
  int x_begin = 0, x_end = 0;  // columns likewise
  bool narrow = false;         // see narrow_coverage
  float x0 = 0, y0 = 0;        // origin of the planes: the first vertex
  bool perspective = false;    // false when all three q are equal
  bool flat_colour = false;    // all three colours equal: no interpolation
  uint32_t flat_argb = 0;
  bool bilinear = false;
  // Affine: z, u, v, colour[] are the values. Perspective: z is the value,
  // u, v, colour[] are value * q, and q is interpolated too. u and v are in
  // 1/kFilterOne texel, already shifted near 0 by whole wrap periods.
  Plane z, q, u, v;
  Plane colour[4];  // b, g, r, a in 0..255
};

// A run of covered pixels of one row: [x_begin, x_end).
struct Span {
  int16_t y;
  int16_t x_begin;
  int16_t x_end;
};

constexpr int kMaxSpans = kMaxTargetHeight;

}  // namespace d3d8::raster
