// Tuning constants of the software rasterizer, in one place. Changing any of
// them changes the bytes drawn, so golden hashes would need regenerating.
#pragma once

#include <cstdint>

namespace d3d8::raster {

// Screen positions are snapped to 1/16 pixel (28.4 fixed point), the
// sub-pixel precision of the Direct3D 8 reference rasterizer; edge functions
// on snapped positions are exact integers, so shared edges never crack.
constexpr int kSubpixelBits = 4;
constexpr int kSubpixelScale = 1 << kSubpixelBits;

// Vertices further than this many pixels outside the 640x480 target are
// clipped in screen space first. Triangle setup accepts twice as far, so
// the rounding of a clipped vertex never loses it; that keeps snapped
// coordinates below 2^18 and every edge-function product below 2^38, well
// inside int64.
constexpr double kGuardBandPixels = 4096.0;
constexpr double kSetupLimitPixels = 2 * kGuardBandPixels;

// Homogeneous clipping keeps w at least this large, so the divide by w that
// follows never meets zero or a negative value.
constexpr double kMinClipW = 1e-6;

// Bilinear weights have 7 bits: a vertical blend of two 8-bit texels,
// 255 * 128 = 32640, still fits a signed 16-bit lane, which the SIMD paths
// rely on (pmaddwd).
constexpr int kFilterBits = 7;
constexpr int kFilterOne = 1 << kFilterBits;
static_assert(255 * kFilterOne <= INT16_MAX, "vertical blend must fit int16");

// Texture coordinates are carried as 1/128 texel in int32; values are clamped
// to this magnitude before conversion (wrap has already brought them near 0).
constexpr float kTexelCoordLimit = 1073741824.0f;  // 2^30

// ZBIAS counts steps of the 16-bit depth buffer, Direct3D 8 allows 0..16.
constexpr uint32_t kMaxZBias = 16;

// Texture caches larger than this many texels are not built; such textures
// are sampled as opaque white (the device refuses sides above 4096 anyway).
constexpr uint64_t kMaxCachedTexels = uint64_t{4097} * 4097;

}  // namespace d3d8::raster
