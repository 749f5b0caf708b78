// The reference pixel pipeline: the plain statement of what every pixel
// gets. Fast paths live in their own files and must match it byte for byte.
#include "platform/d3d8/pixel_pipeline.h"

#include <algorithm>

#include "platform/d3d8/texture_sampler.h"

namespace d3d8::raster {

namespace {

// Direct3D 8 D3DTA_* argument selectors and modifiers.
constexpr uint32_t kArgSelectMask = 0x0F;
constexpr uint32_t kArgTFactor = 3;
constexpr uint32_t kArgComplement = 0x10;
constexpr uint32_t kArgAlphaReplicate = 0x20;

uint32_t argument(uint32_t selector, uint32_t texel, uint32_t diffuse, uint32_t factor) {
  uint32_t v;
  switch (selector & kArgSelectMask) {
    case D3DTA_TEXTURE: v = texel; break;
    case kArgTFactor: v = factor; break;
    default: v = diffuse; break;  // DIFFUSE, and CURRENT on stage 0
  }
  if (selector & kArgComplement) v = ~v;
  if (selector & kArgAlphaReplicate) v = (v >> 24) * 0x01010101u;
  return v;
}

uint32_t operate(uint32_t op, uint32_t a1, uint32_t a2, uint32_t diffuse) {
  switch (op) {
    case D3DTOP_DISABLE: return diffuse;
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_ADD: return std::min(a1 + a2, 255u);
    case D3DTOP_MODULATE2X: return div255(std::min(a1 * a2 * 2, 65025u));
    case D3DTOP_MODULATE4X: return div255(std::min(a1 * a2 * 4, 65025u));
    default: return div255(a1 * a2);  // MODULATE, and operations not drawn here
  }
}

uint32_t factor(uint32_t kind, uint32_t src, uint32_t src_alpha, uint32_t dst, bool is_source) {
  switch (kind) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 255;
    case D3DBLEND_SRCCOLOR: return src;
    case D3DBLEND_INVSRCCOLOR: return 255 - src;
    case D3DBLEND_SRCALPHA: return src_alpha;
    case D3DBLEND_INVSRCALPHA: return 255 - src_alpha;
    case D3DBLEND_DESTALPHA: return 255;   // R5G6B5 holds no alpha: read as opaque
    case D3DBLEND_INVDESTALPHA: return 0;
    case D3DBLEND_DESTCOLOR: return dst;
    case D3DBLEND_INVDESTCOLOR: return 255 - dst;
    case D3DBLEND_SRCALPHASAT: return 0;  // min(As, 1 - Ad) with Ad = 1
    default: return is_source ? 255 : 0;  // unknown: the defaults ONE and ZERO
  }
}

}  // namespace

uint32_t combine(const DrawStates& s, bool textured, uint32_t texel, uint32_t diffuse) {
  if (!textured) return diffuse;
  const uint32_t f = s.texture_factor;
  uint32_t c1 = argument(s.colour_arg1, texel, diffuse, f);
  uint32_t c2 = argument(s.colour_arg2, texel, diffuse, f);
  uint32_t a1 = argument(s.alpha_arg1, texel, diffuse, f);
  uint32_t a2 = argument(s.alpha_arg2, texel, diffuse, f);
  uint32_t out = operate(s.alpha_op, a1 >> 24, a2 >> 24, diffuse >> 24) << 24;
  for (int shift = 0; shift < 24; shift += 8) {
    out |= operate(s.colour_op, (c1 >> shift) & 0xFF, (c2 >> shift) & 0xFF,
                   (diffuse >> shift) & 0xFF)
           << shift;
  }
  return out;
}

bool alpha_passes(const DrawStates& s, uint32_t source) {
  return !s.alpha_test || compare(s.alpha_func, source >> 24, s.alpha_ref & 0xFF);
}

namespace {

// The blend equation on 8-bit channels; the destination's as the target
// holds them (a 16-bit target's widened). 0x00RRGGBB.
uint32_t blend_channels(const DrawStates& s, uint32_t source, uint32_t dr, uint32_t dg, uint32_t db) {
  const uint32_t sr = channel_r(source), sg = channel_g(source), sb = channel_b(source);
  const uint32_t sa = channel_a(source);
  uint32_t src_kind = s.src_blend, dst_kind = s.dest_blend;
  // BOTHSRCALPHA and BOTHINVSRCALPHA set both factors from the source one.
  if (src_kind == 12) src_kind = D3DBLEND_SRCALPHA, dst_kind = D3DBLEND_INVSRCALPHA;
  if (src_kind == 13) src_kind = D3DBLEND_INVSRCALPHA, dst_kind = D3DBLEND_SRCALPHA;
  auto channel = [&](uint32_t sc, uint32_t dc) {
    uint32_t sum = sc * factor(src_kind, sc, sa, dc, true) + dc * factor(dst_kind, sc, sa, dc, false);
    return div255(std::min(sum, 65025u));
  };
  return channel(sr, dr) << 16 | channel(sg, dg) << 8 | channel(sb, db);
}

}  // namespace

uint16_t blend(const DrawStates& s, uint32_t source, uint16_t destination) {
  if (!s.blend) return pack565(channel_r(source), channel_g(source), channel_b(source));
  const uint32_t rgb = blend_channels(s, source, expand5(destination >> 11), expand6((destination >> 5) & 63),
                                      expand5(destination & 31));
  return pack565(channel_r(rgb), channel_g(rgb), channel_b(rgb));
}

uint32_t blend(const DrawStates& s, uint32_t source, uint32_t destination) {
  if (!s.blend) return source & 0xFFFFFF;
  return blend_channels(s, source, channel_r(destination), channel_g(destination), channel_b(destination));
}

namespace {

template <typename Pixel>
void shade_spans(const DrawStates& s, const Triangle& t, const Span* spans, int count, Pixel* colour,
                 uint16_t* depth) {
  const bool textured = s.texture.texels != nullptr;
  for (int i = 0; i < count; ++i) {
    const Span& span = spans[i];
    const float dy = static_cast<float>(span.y) - t.y0;
    const float z_row = eval_row(t.z, dy), q_row = eval_row(t.q, dy);
    const float u_row = eval_row(t.u, dy), v_row = eval_row(t.v, dy);
    float c_row[4];
    for (int ch = 0; ch < 4; ++ch) c_row[ch] = eval_row(t.colour[ch], dy);
    Pixel* colour_row = colour + size_t(span.y) * s.target.width;
    uint16_t* depth_row = depth + size_t(span.y) * s.target.width;
    for (int x = span.x_begin; x < span.x_end; ++x) {
      const float dx = static_cast<float>(x) - t.x0;
      uint32_t fragment_depth = 0;
      if (s.z_enable) {
        fragment_depth = apply_bias(depth16(eval_at(t.z, z_row, dx)), s.z_bias);
        if (!compare(s.z_func, fragment_depth, depth_row[x])) continue;
      }
      const float w = t.perspective ? 1.0f / eval_at(t.q, q_row, dx) : 1.0f;
      auto value = [&](const Plane& p, float row) {
        float v = eval_at(p, row, dx);
        return t.perspective ? v * w : v;
      };
      uint32_t diffuse = t.flat_argb;
      if (!t.flat_colour) {
        diffuse = 0;
        for (int ch = 0; ch < 4; ++ch) diffuse |= colour_byte(value(t.colour[ch], c_row[ch])) << (8 * ch);
      }
      uint32_t texel = 0;
      if (textured) {
        int32_t su = texel_coord(value(t.u, u_row)), sv = texel_coord(value(t.v, v_row));
        texel = t.bilinear ? sample_bilinear(s.texture, su, sv, s.address_u, s.address_v)
                           : sample_point(s.texture, su, sv, s.address_u, s.address_v);
      }
      const uint32_t source = combine(s, textured, texel, diffuse);
      if (!alpha_passes(s, source)) continue;
      colour_row[x] = blend(s, source, colour_row[x]);
      if (s.z_enable && s.z_write) depth_row[x] = static_cast<uint16_t>(fragment_depth);
    }
  }
}

}  // namespace

void shade_spans_reference(const DrawStates& s, const Triangle& t, const Span* spans, int count,
                           uint16_t* colour, uint16_t* depth) {
  shade_spans(s, t, spans, count, colour, depth);
}

void shade_spans_reference(const DrawStates& s, const Triangle& t, const Span* spans, int count,
                           uint32_t* colour, uint16_t* depth) {
  shade_spans(s, t, spans, count, colour, depth);
}

}  // namespace d3d8::raster
