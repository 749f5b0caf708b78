// The per-pixel definition of the rasterizer: depth, interpolated values,
// the stage-0 colour and alpha operations, the alpha test and blending.
// shade_spans_reference applies it pixel by pixel; every fast path gives the
// bytes it gives (tests hold them side by side).
#pragma once

#include <cstdint>

#include "platform/d3d8/pixel_format.h"
#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/raster_types.h"

namespace d3d8::raster {

// z in 0..1 to the 16-bit depth buffer's scale, rounded as Clear rounds its
// depth. Written as comparisons that the SIMD max/min reproduce exactly
// (a NaN goes to 0).
inline uint32_t depth16(float z) {
  float d = z * 65535.0f + 0.5f;
  d = d > 0.0f ? d : 0.0f;
  d = d < 65535.0f ? d : 65535.0f;
  return static_cast<uint32_t>(d);
}

// ZBIAS pulls a fragment toward the viewer by whole depth steps; the biased
// depth is both tested and written, as Direct3D 8 translators do it.
inline uint32_t apply_bias(uint32_t depth, uint32_t bias) {
  return depth > bias ? depth - bias : 0;
}

inline bool compare(uint32_t func, uint32_t value, uint32_t reference) {
  switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;  // ALWAYS, and values Direct3D would reject
  }
}

// An interpolated texture coordinate to 1/kFilterOne texel, truncated.
inline int32_t texel_coord(float v) {
  v = v > -kTexelCoordLimit ? v : -kTexelCoordLimit;
  v = v < kTexelCoordLimit ? v : kTexelCoordLimit;
  return static_cast<int32_t>(v);
}

// An interpolated colour channel to 0..255, rounded.
inline uint32_t colour_byte(float v) {
  v = v + 0.5f;
  v = v > 0.0f ? v : 0.0f;
  v = v < 255.0f ? v : 255.0f;
  return static_cast<uint32_t>(v);
}

// Stage 0 of the texture stages: texel and diffuse (ARGB8888) into the
// source colour. Without a texture the stage passes the diffuse colour.
uint32_t combine(const DrawStates& states, bool textured, uint32_t texel, uint32_t diffuse);

bool alpha_passes(const DrawStates& states, uint32_t source);

// The blend unit: source ARGB8888 over a back-buffer pixel.
// result = round(min(src * Fs + dst * Fd, 255 * 255) / 255) per channel, the
// factors in 0..255 (OpenGL 1.x / Direct3D 8 blend equation with ADD); the
// destination is widened from R5G6B5 and has no alpha of its own (read as
// 255). With blending off the result is the source.
uint16_t blend(const DrawStates& states, uint32_t source, uint16_t destination);
// The same on an X8R8G8B8 target: 8 bits a channel in and out, no rounding
// to 5/6/5 anywhere; the result's X byte is 0.
uint32_t blend(const DrawStates& states, uint32_t source, uint32_t destination);

// Draws the spans of one triangle into the target-wide (states.target)
// colour and depth buffers, pixel by pixel.
void shade_spans_reference(const DrawStates& states, const Triangle& triangle,
                           const Span* spans, int count, uint16_t* colour, uint16_t* depth);
void shade_spans_reference(const DrawStates& states, const Triangle& triangle,
                           const Span* spans, int count, uint32_t* colour, uint16_t* depth);

}  // namespace d3d8::raster
