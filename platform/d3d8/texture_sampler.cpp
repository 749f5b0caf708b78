// Sampling: the widened texture copy and the reference filters.
#include "platform/d3d8/texture_sampler.h"

#if defined(TUULI_KERNELS_SSE2)
#include <emmintrin.h>
#endif

#include <algorithm>

#include "platform/d3d8/pixel_format.h"
#include "platform/d3d8/raster_config.h"

namespace d3d8::raster {

namespace {

bool is_pow2(int v) { return v > 0 && (v & (v - 1)) == 0; }

uint32_t widen(const uint8_t* p, D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R5G6B5: {
      uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8;
      return 0xFF000000u | expand5(v >> 11) << 16 | expand6((v >> 5) & 63) << 8 |
             expand5(v & 31);
    }
    case D3DFMT_X8R8G8B8:
      return 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    case D3DFMT_A8R8G8B8:
      return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    default:
      return 0xFFFFFFFFu;
  }
}

// One row of texels widened. The clip textures are rewritten every frame and
// widened again each time, so each format gets its own loop with no
// per-texel switch (the R5G6B5 one vectorises); the values are widen()'s.
void widen_row(const uint8_t* row, int width, D3DFORMAT format, uint32_t* out) {
  switch (format) {
    case D3DFMT_R5G6B5: {
      // Eight texels at a time: the widened channels in 16-bit lanes, then
      // (g << 8 | b) and (0xFF00 | r) interleaved into ARGB.
      int x = 0;
#if defined(TUULI_KERNELS_SSE2)
      const __m128i five = _mm_set1_epi16(31), six = _mm_set1_epi16(63);
      const __m128i alpha = _mm_set1_epi16(static_cast<int16_t>(0xFF00));
      for (; x + 8 <= width; x += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x));
        const __m128i r = _mm_srli_epi16(v, 11);
        const __m128i g = _mm_and_si128(_mm_srli_epi16(v, 5), six);
        const __m128i b = _mm_and_si128(v, five);
        const __m128i r8 = _mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2));
        const __m128i g8 = _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4));
        const __m128i b8 = _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2));
        const __m128i low = _mm_or_si128(_mm_slli_epi16(g8, 8), b8);
        const __m128i high = _mm_or_si128(alpha, r8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi16(low, high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 4), _mm_unpackhi_epi16(low, high));
      }
#endif
      for (; x < width; ++x) {
        const uint32_t v = uint32_t{row[2 * x]} | uint32_t{row[2 * x + 1]} << 8;
        const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        out[x] = 0xFF000000u | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
      }
      break;
    }
    case D3DFMT_X8R8G8B8:
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = row + 4 * x;
        out[x] = 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
      }
      break;
    default:
      for (int x = 0; x < width; ++x) out[x] = widen(row + x * bytes_per_texel(format), format);
      break;
  }
}

}  // namespace

SamplerTexture prepare_texture(TextureData& data) {
  SamplerTexture out;
  if (data.levels.empty()) return out;
  const TextureLevel& level = data.levels[0];
  const int texel_bytes = bytes_per_texel(data.format);
  if (data.format != D3DFMT_R5G6B5 && data.format != D3DFMT_X8R8G8B8 &&
      data.format != D3DFMT_A8R8G8B8) {
    return out;
  }
  if (level.width <= 0 || level.height <= 0 ||
      uint64_t(level.width + 1) * uint64_t(level.height + 1) > kMaxCachedTexels ||
      level.pitch_bytes < level.width * texel_bytes ||
      level.bytes.size() < size_t(level.pitch_bytes) * size_t(level.height)) {
    return out;
  }
  const int stride = level.width + 1;
  // A level still locked may be half written: read it afresh every draw.
  if (data.sampler_generation != data.generation || level.locked) {
    data.sampler_texels.resize(size_t(stride) * size_t(level.height + 1));
    for (int y = 0; y <= level.height; ++y) {
      const uint8_t* row = level.bytes.data() + size_t(y % level.height) * level.pitch_bytes;
      uint32_t* out_row = data.sampler_texels.data() + size_t(y) * stride;
      widen_row(row, level.width, data.format, out_row);
      out_row[level.width] = out_row[0];
    }
    data.sampler_generation = level.locked ? UINT64_MAX : data.generation;
  }
  out.texels = data.sampler_texels.data();
  out.width = level.width;
  out.height = level.height;
  out.stride = stride;
  out.pow2 = is_pow2(level.width) && is_pow2(level.height);
  return out;
}

bool prepare_rewrites(const TextureData& data) {
  return !data.levels.empty() && (data.sampler_generation != data.generation || data.levels[0].locked);
}

int address_texel(int64_t i, int size, bool pow2, uint32_t mode) {
  switch (mode) {
    case D3DTADDRESS_WRAP:
      if (pow2) return static_cast<int>(i & (size - 1));
      return static_cast<int>(((i % size) + size) % size);
    case D3DTADDRESS_MIRROR: {
      int64_t period = int64_t{2} * size;
      int64_t m = ((i % period) + period) % period;
      return static_cast<int>(m < size ? m : period - 1 - m);
    }
    default:  // CLAMP; BORDER is drawn as CLAMP
      return static_cast<int>(std::clamp<int64_t>(i, 0, size - 1));
  }
}

uint32_t sample_point(const SamplerTexture& tex, int32_t s, int32_t t, uint32_t address_u,
                      uint32_t address_v) {
  int x = address_texel(s >> kFilterBits, tex.width, tex.pow2, address_u);
  int y = address_texel(t >> kFilterBits, tex.height, tex.pow2, address_v);
  return tex.texels[size_t(y) * tex.stride + x];
}

uint32_t sample_bilinear(const SamplerTexture& tex, int32_t s, int32_t t, uint32_t address_u,
                         uint32_t address_v) {
  // Texel centres sit at half-texel offsets: step back half a texel first.
  const int32_t sc = s - kFilterOne / 2, tc = t - kFilterOne / 2;
  const int64_t i0 = sc >> kFilterBits, j0 = tc >> kFilterBits;
  const uint32_t fu = sc & (kFilterOne - 1), fv = tc & (kFilterOne - 1);
  const int x0 = address_texel(i0, tex.width, tex.pow2, address_u);
  const int x1 = address_texel(i0 + 1, tex.width, tex.pow2, address_u);
  const int y0 = address_texel(j0, tex.height, tex.pow2, address_v);
  const int y1 = address_texel(j0 + 1, tex.height, tex.pow2, address_v);
  const uint32_t t00 = tex.texels[size_t(y0) * tex.stride + x0];
  const uint32_t t10 = tex.texels[size_t(y0) * tex.stride + x1];
  const uint32_t t01 = tex.texels[size_t(y1) * tex.stride + x0];
  const uint32_t t11 = tex.texels[size_t(y1) * tex.stride + x1];
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    uint32_t c0 = ((t00 >> shift) & 0xFF) * (kFilterOne - fv) + ((t01 >> shift) & 0xFF) * fv;
    uint32_t c1 = ((t10 >> shift) & 0xFF) * (kFilterOne - fv) + ((t11 >> shift) & 0xFF) * fv;
    uint32_t c = (c0 * (kFilterOne - fu) + c1 * fu + (1u << (2 * kFilterBits - 1))) >>
                 (2 * kFilterBits);
    out |= c << shift;
  }
  return out;
}

}  // namespace d3d8::raster
