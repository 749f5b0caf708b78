// SSE2 forms of the pixel arithmetic in pixel_format.h and pixel_pipeline.h,
// eight pixels at a time in 16-bit lanes, one channel per register. Each is
// the scalar formula lane by lane, so the bytes are those of the reference.
// SSE2 is part of x86-64 itself: no CPU check is needed.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "platform/d3d8/raster_types.h"

namespace d3d8::raster::simd {

// Three channels of eight pixels, 0..255 in each 16-bit lane.
struct Rgb8 {
  __m128i r, g, b;
};

inline __m128i splat16(int v) { return _mm_set1_epi16(static_cast<int16_t>(v)); }

// round(x / 255) for x in 0..65535 (div255).
inline __m128i div255(__m128i x) {
  return _mm_mulhi_epu16(_mm_add_epi16(x, splat16(128)), splat16(257));
}

// min(x, limit) on unsigned lanes.
inline __m128i min_u16(__m128i x, __m128i limit) {
  return _mm_sub_epi16(x, _mm_subs_epu16(x, limit));
}

inline Rgb8 widen565(__m128i p) {
  const __m128i five = splat16(31), six = splat16(63);
  __m128i r = _mm_srli_epi16(p, 11);
  __m128i g = _mm_and_si128(_mm_srli_epi16(p, 5), six);
  __m128i b = _mm_and_si128(p, five);
  return {_mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2)),
          _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4)),
          _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2))};
}

// pack565 with round_to5 / round_to6.
inline __m128i pack565(const Rgb8& c) {
  __m128i r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c.r, splat16(249)), splat16(1014)), 11);
  __m128i g = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c.g, splat16(253)), splat16(505)), 10);
  __m128i b = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c.b, splat16(249)), splat16(1014)), 11);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
}

// Stage-0 MODULATE of three channels by a constant diffuse colour.
inline Rgb8 modulate(const Rgb8& t, const Rgb8& d) {
  return {div255(_mm_mullo_epi16(t.r, d.r)), div255(_mm_mullo_epi16(t.g, d.g)),
          div255(_mm_mullo_epi16(t.b, d.b))};
}

// The blend modes the fast paths draw: the scenes' opaque and additive
// modes, and any pair of factors that does not read source alpha (the
// modulate-2x mode among them) through the general equation.
enum class BlendKind { kOpaque, kAdd, kModulate2x, kGeneral };

inline bool reads_source_alpha(uint32_t kind) {
  return kind == D3DBLEND_SRCALPHA || kind == D3DBLEND_INVSRCALPHA || kind == 12 ||
         kind == 13;  // BOTHSRCALPHA, BOTHINVSRCALPHA
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

inline __m128i factor(uint32_t kind, __m128i s, __m128i d, bool is_source) {
  const __m128i full = splat16(255);
  switch (kind) {
    case D3DBLEND_ZERO: return _mm_setzero_si128();
    case D3DBLEND_ONE: return full;
    case D3DBLEND_SRCCOLOR: return s;
    case D3DBLEND_INVSRCCOLOR: return _mm_sub_epi16(full, s);
    case D3DBLEND_DESTALPHA: return full;
    case D3DBLEND_INVDESTALPHA: return _mm_setzero_si128();
    case D3DBLEND_DESTCOLOR: return d;
    case D3DBLEND_INVDESTCOLOR: return _mm_sub_epi16(full, d);
    case D3DBLEND_SRCALPHASAT: return _mm_setzero_si128();
    default: return is_source ? full : _mm_setzero_si128();
  }
}

// div255(min(s * Fs + d * Fd, 65025)): each product fits 16 bits unsigned,
// their saturating sum is at least 65025 exactly when the true sum is.
inline __m128i blend_channel(uint32_t src_kind, uint32_t dst_kind, __m128i s, __m128i d) {
  __m128i sum = _mm_adds_epu16(_mm_mullo_epi16(s, factor(src_kind, s, d, true)),
                               _mm_mullo_epi16(d, factor(dst_kind, s, d, false)));
  return div255(min_u16(sum, splat16(65025)));
}

template <BlendKind kKind>
inline __m128i blend(const DrawStates& states, const Rgb8& s, __m128i destination) {
  if constexpr (kKind == BlendKind::kOpaque) {
    return pack565(s);
  } else if constexpr (kKind == BlendKind::kAdd) {
    // (s + d) * 255 / 255 saturated: the general equation with ONE, ONE.
    const Rgb8 d = widen565(destination);
    const __m128i full = splat16(255);
    return pack565({_mm_min_epi16(_mm_add_epi16(s.r, d.r), full),
                    _mm_min_epi16(_mm_add_epi16(s.g, d.g), full),
                    _mm_min_epi16(_mm_add_epi16(s.b, d.b), full)});
  } else if constexpr (kKind == BlendKind::kModulate2x) {
    // s * d + d * s: 2 * min(s * d, 32513) reaches 65026 exactly when the
    // true sum passes 65025, and both then give 255.
    const Rgb8 d = widen565(destination);
    const __m128i limit = splat16(32513);
    auto twice = [&](__m128i a, __m128i b) {
      return div255(_mm_slli_epi16(min_u16(_mm_mullo_epi16(a, b), limit), 1));
    };
    return pack565({twice(s.r, d.r), twice(s.g, d.g), twice(s.b, d.b)});
  } else {
    const Rgb8 d = widen565(destination);
    return pack565({blend_channel(states.src_blend, states.dest_blend, s.r, d.r),
                    blend_channel(states.src_blend, states.dest_blend, s.g, d.g),
                    blend_channel(states.src_blend, states.dest_blend, s.b, d.b)});
  }
}

// Lanes whose fragment depth passes the depth function against the stored
// depth; both unsigned 16-bit, compared signed after flipping the top bit.
inline __m128i depth_passes(uint32_t func, __m128i fragment, __m128i stored) {
  const __m128i flip = splat16(-32768);
  const __m128i f = _mm_xor_si128(fragment, flip), s = _mm_xor_si128(stored, flip);
  const __m128i all = _mm_set1_epi32(-1);
  switch (func) {
    case D3DCMP_NEVER: return _mm_setzero_si128();
    case D3DCMP_LESS: return _mm_cmplt_epi16(f, s);
    case D3DCMP_EQUAL: return _mm_cmpeq_epi16(f, s);
    case D3DCMP_LESSEQUAL: return _mm_xor_si128(_mm_cmpgt_epi16(f, s), all);
    case D3DCMP_GREATER: return _mm_cmpgt_epi16(f, s);
    case D3DCMP_NOTEQUAL: return _mm_xor_si128(_mm_cmpeq_epi16(f, s), all);
    case D3DCMP_GREATEREQUAL: return _mm_xor_si128(_mm_cmplt_epi16(f, s), all);
    default: return all;
  }
}

// Lanes k of a group starting at column x0 with x_begin <= x0 + k < x_end.
inline __m128i span_mask(int x0, int x_begin, int x_end) {
  const __m128i lane = _mm_add_epi16(splat16(x0), _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
  return _mm_andnot_si128(_mm_cmplt_epi16(lane, splat16(x_begin)), _mm_cmplt_epi16(lane, splat16(x_end)));
}

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// True when stage 0 computes texture x diffuse for colour (MODULATE of the
// texture and the diffuse colour, either way round, no modifiers).
inline bool default_colour_op(const DrawStates& states) {
  auto diffuse = [](uint32_t arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; };
  return states.colour_op == D3DTOP_MODULATE &&
         ((states.colour_arg1 == D3DTA_TEXTURE && diffuse(states.colour_arg2)) ||
          (states.colour_arg2 == D3DTA_TEXTURE && diffuse(states.colour_arg1)));
}

}  // namespace d3d8::raster::simd
