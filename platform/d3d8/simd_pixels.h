// The pixel arithmetic of pixel_format.h and pixel_pipeline.h in SIMD
// registers, one 16-bit lane per pixel and one register per channel: eight
// pixels in SSE2, sixteen in AVX2. Each is the scalar formula lane by lane,
// so the bytes are those of the reference at either width. SSE2 is part of
// x86-64 itself; AVX2 is used only by files built for it, after a CPU check.
#pragma once

#include <cstdint>
#include <type_traits>

#include "platform/d3d8/raster_types.h"
#include "platform/d3d8/simd_lanes.h"

namespace d3d8::raster::simd {

// The blend modes the fast paths draw: the scenes' opaque and additive
// modes, and any pair of factors that does not read source alpha (the
// modulate-2x mode among them) through the general equation.
enum class BlendKind { kOpaque, kAdd, kModulate2x, kGeneral };

inline bool reads_source_alpha(uint32_t kind) {
  return kind == D3DBLEND_SRCALPHA || kind == D3DBLEND_INVSRCALPHA || kind == 12 ||
         kind == 13;  // BOTHSRCALPHA, BOTHINVSRCALPHA
}

// Calls f with the blend kind as a compile-time constant, so each kind gets
// its own loop.
template <class F>
inline void with_blend(BlendKind kind, F&& f) {
  switch (kind) {
    case BlendKind::kOpaque: f(std::integral_constant<BlendKind, BlendKind::kOpaque>{}); break;
    case BlendKind::kAdd: f(std::integral_constant<BlendKind, BlendKind::kAdd>{}); break;
    case BlendKind::kModulate2x: f(std::integral_constant<BlendKind, BlendKind::kModulate2x>{}); break;
    case BlendKind::kGeneral: f(std::integral_constant<BlendKind, BlendKind::kGeneral>{}); break;
  }
}

// True when blend() below handles these states: no alpha test, and no blend
// factor that reads the source alpha (the fast paths compute no alpha).
inline bool blend_supported(const DrawStates& states, BlendKind& kind) {
  if (states.alpha_test) return false;
  if (!states.blend) {
    kind = BlendKind::kOpaque;
    return true;
  }
  if (reads_source_alpha(states.src_blend) || reads_source_alpha(states.dest_blend)) return false;
  kind = BlendKind::kGeneral;
  if (states.src_blend == D3DBLEND_ONE && states.dest_blend == D3DBLEND_ONE) kind = BlendKind::kAdd;
  if (states.src_blend == D3DBLEND_DESTCOLOR && states.dest_blend == D3DBLEND_SRCCOLOR) {
    kind = BlendKind::kModulate2x;
  }
  return true;
}

// True when stage 0 computes texture x diffuse for colour (MODULATE of the
// texture and the diffuse colour, either way round, no modifiers).
inline bool default_colour_op(const DrawStates& states) {
  auto diffuse = [](uint32_t arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; };
  return states.colour_op == D3DTOP_MODULATE &&
         ((states.colour_arg1 == D3DTA_TEXTURE && diffuse(states.colour_arg2)) ||
          (states.colour_arg2 == D3DTA_TEXTURE && diffuse(states.colour_arg1)));
}

inline namespace D3D8_SIMD_ISA {

// Three channels of a register's pixels, 0..255 in each 16-bit lane.
template <class V>
struct Rgb {
  V r, g, b;
};
using Rgb8 = Rgb<__m128i>;

inline __m128i splat16(int v) { return splat<__m128i>(v); }

// round(x / 255) for x in 0..65535 (div255).
template <class V>
inline V div255(V x) {
  return mulhi_u16(add16(x, splat<V>(128)), splat<V>(257));
}

// min(x, limit) on unsigned lanes.
template <class V>
inline V min_u16(V x, V limit) {
  return sub16(x, subs_u16(x, limit));
}

template <class V>
inline Rgb<V> widen565(V p) {
  const V five = splat<V>(31), six = splat<V>(63);
  V r = srli16(p, 11);
  V g = and_(srli16(p, 5), six);
  V b = and_(p, five);
  return {or_(slli16(r, 3), srli16(r, 2)), or_(slli16(g, 2), srli16(g, 4)), or_(slli16(b, 3), srli16(b, 2))};
}

// pack565 with round_to5 / round_to6.
template <class V>
inline V pack565(const Rgb<V>& c) {
  V r = srli16(add16(mullo16(c.r, splat<V>(249)), splat<V>(1014)), 11);
  V g = srli16(add16(mullo16(c.g, splat<V>(253)), splat<V>(505)), 10);
  V b = srli16(add16(mullo16(c.b, splat<V>(249)), splat<V>(1014)), 11);
  return or_(or_(slli16(r, 11), slli16(g, 5)), b);
}

// Stage-0 MODULATE of three channels by a constant diffuse colour.
template <class V>
inline Rgb<V> modulate(const Rgb<V>& t, const Rgb<V>& d) {
  return {div255(mullo16(t.r, d.r)), div255(mullo16(t.g, d.g)), div255(mullo16(t.b, d.b))};
}

template <class V>
inline V factor(uint32_t kind, V s, V d, bool is_source) {
  const V full = splat<V>(255), zero = splat<V>(0);
  switch (kind) {
    case D3DBLEND_ZERO: return zero;
    case D3DBLEND_ONE: return full;
    case D3DBLEND_SRCCOLOR: return s;
    case D3DBLEND_INVSRCCOLOR: return sub16(full, s);
    case D3DBLEND_DESTALPHA: return full;
    case D3DBLEND_INVDESTALPHA: return zero;
    case D3DBLEND_DESTCOLOR: return d;
    case D3DBLEND_INVDESTCOLOR: return sub16(full, d);
    case D3DBLEND_SRCALPHASAT: return zero;
    default: return is_source ? full : zero;
  }
}

// div255(min(s * Fs + d * Fd, 65025)): each product fits 16 bits unsigned,
// their saturating sum is at least 65025 exactly when the true sum is.
template <class V>
inline V blend_channel(uint32_t src_kind, uint32_t dst_kind, V s, V d) {
  V sum = adds_u16(mullo16(s, factor(src_kind, s, d, true)), mullo16(d, factor(dst_kind, s, d, false)));
  return div255(min_u16(sum, splat<V>(65025)));
}

// The blend equation on 8-bit channels, the destination's as the target
// holds them (widened from R5G6B5, or a 32-bit target's own bytes).
template <BlendKind kKind, class V>
inline Rgb<V> blend_rgb(const DrawStates& states, const Rgb<V>& s, const Rgb<V>& d) {
  if constexpr (kKind == BlendKind::kOpaque) {
    return s;
  } else if constexpr (kKind == BlendKind::kAdd) {
    // (s + d) * 255 / 255 saturated: the general equation with ONE, ONE.
    const V full = splat<V>(255);
    return {min16(add16(s.r, d.r), full), min16(add16(s.g, d.g), full), min16(add16(s.b, d.b), full)};
  } else if constexpr (kKind == BlendKind::kModulate2x) {
    // s * d + d * s: 2 * min(s * d, 32513) reaches 65026 exactly when the
    // true sum passes 65025, and both then give 255.
    const V limit = splat<V>(32513);
    auto twice = [&](V a, V b) { return div255(slli16(min_u16(mullo16(a, b), limit), 1)); };
    return {twice(s.r, d.r), twice(s.g, d.g), twice(s.b, d.b)};
  } else {
    return {blend_channel(states.src_blend, states.dest_blend, s.r, d.r),
            blend_channel(states.src_blend, states.dest_blend, s.g, d.g),
            blend_channel(states.src_blend, states.dest_blend, s.b, d.b)};
  }
}

// The same into an R5G6B5 target: its pixels widened, the result rounded
// back to 5/6/5.
template <BlendKind kKind, class V>
inline V blend(const DrawStates& states, const Rgb<V>& s, V destination) {
  if constexpr (kKind == BlendKind::kOpaque) {
    return pack565(s);
  } else {
    return pack565(blend_rgb<kKind>(states, s, widen565(destination)));
  }
}

// Lanes whose fragment depth passes the depth function against the stored
// depth; both unsigned 16-bit, compared signed after flipping the top bit.
template <class V>
inline V depth_passes(uint32_t func, V fragment, V stored) {
  const V flip = splat<V>(-32768);
  const V f = xor_(fragment, flip), s = xor_(stored, flip);
  const V all = splat<V>(-1);
  switch (func) {
    case D3DCMP_NEVER: return splat<V>(0);
    case D3DCMP_LESS: return cmplt16(f, s);
    case D3DCMP_EQUAL: return cmpeq16(f, s);
    case D3DCMP_LESSEQUAL: return xor_(cmpgt16(f, s), all);
    case D3DCMP_GREATER: return cmpgt16(f, s);
    case D3DCMP_NOTEQUAL: return xor_(cmpeq16(f, s), all);
    case D3DCMP_GREATEREQUAL: return xor_(cmplt16(f, s), all);
    default: return all;
  }
}

// Lanes k of a group starting at column x0 with x_begin <= x0 + k < x_end.
template <class V>
inline V span_mask(int x0, int x_begin, int x_end) {
  const V lane = add16(splat<V>(x0), lane_index16<V>());
  return andnot(cmplt16(lane, splat<V>(x_begin)), cmplt16(lane, splat<V>(x_end)));
}

template <class V>
inline V select(V mask, V yes, V no) {
  return or_(and_(mask, yes), andnot(mask, no));
}

}  // namespace D3D8_SIMD_ISA
}  // namespace d3d8::raster::simd
