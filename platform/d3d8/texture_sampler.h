// Texture sampling for stage 0: the widened copy of a texture that every
// path reads, texture addressing, and point and bilinear filtering.
#pragma once

#include <cstdint>

#include "platform/d3d8/raster_types.h"

namespace d3d8::raster {

// Level 0 of `data` as padded ARGB8888 (see SamplerTexture), rebuilt only
// when the texture changed since the last call. Mip levels are never read:
// the device's MIPFILTER stays NONE, under which Direct3D samples level 0.
// texels is null when the texture cannot be sampled (unknown format).
SamplerTexture prepare_texture(TextureData& data);
// Whether the next prepare_texture of `data` writes its padded copy afresh
// (what an earlier call returned then reads other texels).
bool prepare_rewrites(const TextureData& data);

// Maps a texel index of any size onto 0..size-1 by the addressing mode:
// WRAP repeats, MIRROR repeats mirrored, CLAMP and anything else clamp.
int address_texel(int64_t index, int size, bool pow2, uint32_t mode);

// s, t in 1/kFilterOne texel. Point sampling takes the texel that contains
// the position; bilinear blends the four texels whose centres (at half-texel
// offsets) surround it, first down the columns, then across, with one
// rounding at the end (the SIMD paths rely on the split).
uint32_t sample_point(const SamplerTexture& texture, int32_t s, int32_t t, uint32_t address_u,
                      uint32_t address_v);
uint32_t sample_bilinear(const SamplerTexture& texture, int32_t s, int32_t t,
                         uint32_t address_u, uint32_t address_v);

}  // namespace d3d8::raster
