// Triangle setup: snapped positions, winding, fill-rule edges and attribute
// planes. Everything that decides coverage is exact integer arithmetic; the
// planes are computed in double and stored in float, the same on every
// machine with IEEE arithmetic and no fused multiply-add.
#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(TUULI_KERNELS_SSE2)
#include <emmintrin.h>
#endif

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/triangle.h"

namespace d3d8::raster {

namespace {

// floor() without the library call, for |v| below 2^52 (larger doubles
// are whole numbers already).
double whole_floor(double v) {
  if (!(std::fabs(v) < 4503599627370496.0)) return v;
  const double t = static_cast<double>(static_cast<int64_t>(v));
  return t > v ? t - 1.0 : t;
}

// Positions are checked against the setup limit first, so this fits int32.
int32_t snap(double v) {
  return static_cast<int32_t>(whole_floor(v * kSubpixelScale + 0.5));
}

bool within_setup_limit(const ScreenVertex& v, const TargetSize& target) {
  return std::isfinite(v.x) && std::isfinite(v.y) && v.x >= -kSetupLimitPixels &&
         v.x <= target.width + kSetupLimitPixels && v.y >= -kSetupLimitPixels &&
         v.y <= target.height + kSetupLimitPixels;
}

uint32_t argb_of(const ScreenVertex& v) {
  auto byte = [](double c) { return static_cast<uint32_t>(std::clamp(c, 0.0, 255.0)); };
  return byte(v.colour[3]) << 24 | byte(v.colour[2]) << 16 | byte(v.colour[1]) << 8 |
         byte(v.colour[0]);
}

// Two planes over the snapped triangle at once, through the values of lane
// 0 and of lane 1 of a0, a1, a2 at its vertices. d1x..d2y are the offsets
// of vertices 1 and 2 from vertex 0 in pixels, inv_area the reciprocal of
// their cross product. Per lane:
//   c = a0, a = ((a1 - a0) * d2y - (a2 - a0) * d1y) * inv_area,
//   b = ((a2 - a0) * d1x - (a1 - a0) * d2x) * inv_area,
// in double, then rounded to float.
#if defined(TUULI_KERNELS_SSE2)
using Pair = __m128d;
Pair pair_of(const double& first) { return _mm_loadu_pd(&first); }
Pair splat(double v) { return _mm_set1_pd(v); }
Pair pair(double first, double second) { return _mm_setr_pd(first, second); }
Pair add(Pair a, Pair b) { return _mm_add_pd(a, b); }
Pair sub(Pair a, Pair b) { return _mm_sub_pd(a, b); }
Pair mul(Pair a, Pair b) { return _mm_mul_pd(a, b); }
void store(Pair p, double (&out)[2]) { _mm_storeu_pd(out, p); }
#else
// The same arithmetic a lane at a time, where the build has no SSE2.
struct Pair {
  double lane[2];
};
// Two neighbouring fields, as the SSE2 build loads them.
Pair pair_of(const double& first) {
  Pair p;
  std::memcpy(p.lane, &first, sizeof p.lane);
  return p;
}
Pair splat(double v) { return {{v, v}}; }
Pair pair(double first, double second) { return {{first, second}}; }
Pair add(Pair a, Pair b) { return {{a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}}; }
Pair sub(Pair a, Pair b) { return {{a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}}; }
Pair mul(Pair a, Pair b) { return {{a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}}; }
void store(Pair p, double (&out)[2]) { out[0] = p.lane[0], out[1] = p.lane[1]; }
#endif

struct PlaneSpan {
  Pair d1x, d1y, d2x, d2y, inv_area;
};
void plane_pair(Pair a0, Pair a1, Pair a2, const PlaneSpan& k, Plane& first, Plane& second) {
  const Pair e1 = sub(a1, a0), e2 = sub(a2, a0);
  const Pair a = mul(sub(mul(e1, k.d2y), mul(e2, k.d1y)), k.inv_area);
  const Pair b = mul(sub(mul(e2, k.d1x), mul(e1, k.d2x)), k.inv_area);
  double c2[2], a2d[2], b2[2];
  store(a0, c2);
  store(a, a2d);
  store(b, b2);
  first = Plane{static_cast<float>(c2[0]), static_cast<float>(a2d[0]), static_cast<float>(b2[0])};
  second = Plane{static_cast<float>(c2[1]), static_cast<float>(a2d[1]), static_cast<float>(b2[1])};
}

// Triangles whose clamped columns fit this many lanes and whose snapped
// extent is below kNarrowExtent take the lane-per-column test (compute_spans_narrow).
constexpr int kNarrowColumns = 8;
// With both extents below 2^12 sixteenths, every edge-function value at a
// tested pixel stays below 2^26 in magnitude: int32 holds it exactly.
constexpr int32_t kNarrowExtent = int32_t{1} << 12;

// The whole-period shift that brings a wrapped or mirrored coordinate near 0,
// so the float planes keep their precision however far coordinates run.
double period_shift(double m, uint32_t address) {
  if (address == D3DTADDRESS_WRAP) return -whole_floor(m);
  if (address == D3DTADDRESS_MIRROR) return -2.0 * whole_floor(m / 2.0);
  return 0.0;
}

// period_shift of the smallest u (lane 0) and v (lane 1) of three
// vertices, both at once where they are small enough for int32. The
// smallest is taken as std::min takes it, keeping the earlier of two
// values that do not compare.
Pair period_shifts(const Pair (&uv)[3], uint32_t address_u, uint32_t address_v) {
#if !defined(TUULI_KERNELS_SSE2)
  // What std::min keeps, lane by lane, as minpd does below.
  double lanes[3][2];
  for (int i = 0; i < 3; ++i) store(uv[i], lanes[i]);
  const double mu = std::min(std::min(lanes[0][0], lanes[1][0]), lanes[2][0]);
  const double mv = std::min(std::min(lanes[0][1], lanes[1][1]), lanes[2][1]);
  return pair(period_shift(mu, address_u), period_shift(mv, address_v));
#else
  const __m128d m = _mm_min_pd(uv[2], _mm_min_pd(uv[1], uv[0]));
  auto periodic = [](uint32_t a) { return a == D3DTADDRESS_WRAP || a == D3DTADDRESS_MIRROR; };
  if (!periodic(address_u) && !periodic(address_v)) return _mm_setzero_pd();
  // Mirroring repeats every two units: halved (exactly) before flooring.
  const __m128d half = _mm_setr_pd(address_u == D3DTADDRESS_MIRROR ? 0.5 : 1.0,
                                   address_v == D3DTADDRESS_MIRROR ? 0.5 : 1.0);
  const __m128d scaled = _mm_mul_pd(m, half);
  const __m128d limit = _mm_set1_pd(2147483647.0);
  const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), scaled);
  if (_mm_movemask_pd(_mm_cmplt_pd(magnitude, limit)) != 3) {
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, m);
    return _mm_setr_pd(period_shift(lanes[0], address_u), period_shift(lanes[1], address_v));
  }
  // floor: truncate, then one less where that went up.
  const __m128d truncated = _mm_cvtepi32_pd(_mm_cvttpd_epi32(scaled));
  const __m128d floored = _mm_sub_pd(truncated, _mm_and_pd(_mm_cmpgt_pd(truncated, scaled), _mm_set1_pd(1.0)));
  // -floor for wrap, -2 floor for mirror, +0 otherwise.
  const __m128d factor = _mm_setr_pd(address_u == D3DTADDRESS_MIRROR ? -2.0 : -1.0,
                                     address_v == D3DTADDRESS_MIRROR ? -2.0 : -1.0);
  const __m128d keep = _mm_castsi128_pd(_mm_setr_epi32(periodic(address_u) ? -1 : 0, periodic(address_u) ? -1 : 0,
                                                       periodic(address_v) ? -1 : 0, periodic(address_v) ? -1 : 0));
  return _mm_and_pd(_mm_mul_pd(floored, factor), keep);
#endif
}

}  // namespace

void snap_vertex(ScreenVertex& v, const TargetSize& target) {
#if !defined(TUULI_KERNELS_SSE2)
  // A comparison with a NaN fails, as isfinite would.
  auto inside = [&](double margin) {
    return v.x >= -margin && v.x <= target.width + margin && v.y >= -margin && v.y <= target.height + margin;
  };
  v.in_guard_band = inside(kGuardBandPixels);
  v.snapped = inside(kSetupLimitPixels);
  if (!v.snapped) return;
  v.snapped_x = snap(v.x);
  v.snapped_y = snap(v.y);
#else
  // x and y together: inside_guard_band, within_setup_limit (a comparison
  // with a NaN or an infinity fails as isfinite would) and snap.
  const __m128d p = _mm_loadu_pd(&v.x);
  auto inside = [&](double margin) {
    const __m128d low = _mm_set1_pd(-margin);
    const __m128d high = _mm_setr_pd(target.width + margin, target.height + margin);
    return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(p, low), _mm_cmple_pd(p, high))) == 3;
  };
  v.in_guard_band = inside(kGuardBandPixels);
  v.snapped = inside(kSetupLimitPixels);
  if (!v.snapped) return;
  // floor(p * 16 + 0.5), well inside int32 within the setup limit.
  const __m128d scaled = _mm_add_pd(_mm_mul_pd(p, _mm_set1_pd(kSubpixelScale)), _mm_set1_pd(0.5));
  const __m128i truncated = _mm_cvttpd_epi32(scaled);
  // Less one where truncating went up: each 64-bit lane's mask, as 32 bits.
  const __m128i above = _mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(truncated), scaled));
  const __m128i floored = _mm_add_epi32(truncated, _mm_shuffle_epi32(above, _MM_SHUFFLE(3, 3, 2, 0)));
  v.snapped_x = _mm_cvtsi128_si32(floored);
  v.snapped_y = _mm_cvtsi128_si32(_mm_srli_si128(floored, 4));
#endif
}

bool setup_triangle(const ScreenVertex& va, const ScreenVertex& vb, const ScreenVertex& vc,
                    const DrawStates& states, Triangle& t) {
  const ScreenVertex* v[3] = {&va, &vb, &vc};
  // Each vertex's position straight into its own variables: an array
  // written a field at a time and read back in wider pieces would make
  // every such read wait.
  auto position = [&states](const ScreenVertex& p, int32_t& x, int32_t& y) {
    if (p.snapped) {
      x = p.snapped_x;
      y = p.snapped_y;
      return true;
    }
    if (!within_setup_limit(p, states.target)) return false;
    x = snap(p.x);
    y = snap(p.y);
    return true;
  };
  int32_t X[3], Y[3];
  if (!position(va, X[0], Y[0]) || !position(vb, X[1], Y[1]) || !position(vc, X[2], Y[2])) return false;
  int64_t area = int64_t{X[1] - X[0]} * (Y[2] - Y[0]) - int64_t{X[2] - X[0]} * (Y[1] - Y[0]);
  if (area == 0) return false;
  // With y growing downwards a positive area turns clockwise on screen.
  if (states.cull == D3DCULL_CW && area > 0) return false;
  if (states.cull == D3DCULL_CCW && area < 0) return false;
  if (area < 0) {
    std::swap(v[1], v[2]);
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
    area = -area;
  }
  t.X[0] = X[0], t.X[1] = X[1], t.X[2] = X[2];
  t.Y[0] = Y[0], t.Y[1] = Y[1], t.Y[2] = Y[2];

  // Rows and columns whose centres can be inside, clamped to the target.
  int64_t min_x = std::min({X[0], X[1], X[2]}), max_x = std::max({X[0], X[1], X[2]});
  int64_t min_y = std::min({Y[0], Y[1], Y[2]}), max_y = std::max({Y[0], Y[1], Y[2]});
  // Arithmetic shifts divide by 16 rounding down; negating around one rounds up.
  t.x_begin = static_cast<int>(std::max<int64_t>(0, -((-min_x) >> kSubpixelBits)));
  t.x_end = static_cast<int>(std::min<int64_t>(states.target.width, (max_x >> kSubpixelBits) + 1));
  t.y_begin = static_cast<int>(std::max<int64_t>(0, -((-min_y) >> kSubpixelBits)));
  t.y_end = static_cast<int>(std::min<int64_t>(states.target.height, (max_y >> kSubpixelBits) + 1));
  if (t.x_begin >= t.x_end || t.y_begin >= t.y_end) return false;
  t.narrow = t.x_end - t.x_begin <= kNarrowColumns && max_x - min_x < kNarrowExtent && max_y - min_y < kNarrowExtent;

  const ScreenVertex& p0 = *v[0];
  const ScreenVertex& p1 = *v[1];
  const ScreenVertex& p2 = *v[2];
  t.x0 = static_cast<float>(X[0]) / kSubpixelScale;
  t.y0 = static_cast<float>(Y[0]) / kSubpixelScale;
  const double d1x = static_cast<double>(X[1] - X[0]) / kSubpixelScale, d1y = static_cast<double>(Y[1] - Y[0]) / kSubpixelScale;
  const double d2x = static_cast<double>(X[2] - X[0]) / kSubpixelScale, d2y = static_cast<double>(Y[2] - Y[0]) / kSubpixelScale;
  const double inv_area = 1.0 / (d1x * d2y - d2x * d1y);
  const PlaneSpan span{splat(d1x), splat(d1y), splat(d2x), splat(d2y), splat(inv_area)};
  // Pairs of neighbouring fields of the three vertices.
  auto pairs = [&](const double& f0, const double& f1, const double& f2, Pair (&out)[3]) {
    out[0] = pair_of(f0);
    out[1] = pair_of(f1);
    out[2] = pair_of(f2);
  };
  const Pair q[3] = {splat(p0.q), splat(p1.q), splat(p2.q)};

  // Depth is interpolated linearly in screen space, as z/w is; z and q
  // are neighbours.
  t.perspective = !(p0.q == p1.q && p1.q == p2.q);
  {
    Pair zq[3];
    pairs(p0.z, p1.z, p2.z, zq);
    Plane q_plane;
    plane_pair(zq[0], zq[1], zq[2], span, t.z, q_plane);
    if (t.perspective) t.q = q_plane;
  }

  t.flat_colour = states.flat_shade || (std::equal(p0.colour, p0.colour + 4, p1.colour) &&
                                        std::equal(p1.colour, p1.colour + 4, p2.colour));
  // Flat shading takes the colour of the triangle's first vertex in
  // primitive order, which the winding swap above never moves.
  t.flat_argb = argb_of(va);
  if (!t.flat_colour) {
    for (int ch = 0; ch < 4; ch += 2) {
      Pair c[3];
      pairs(p0.colour[ch], p1.colour[ch], p2.colour[ch], c);
      if (t.perspective) {
        for (int i = 0; i < 3; ++i) c[i] = mul(c[i], q[i]);
      }
      plane_pair(c[0], c[1], c[2], span, t.colour[ch], t.colour[ch + 1]);
    }
  }

  t.bilinear = false;
  if (states.texture.texels != nullptr) {
    const Pair scale = pair(static_cast<double>(states.texture.width) * kFilterOne,
                            static_cast<double>(states.texture.height) * kFilterOne);
    // u and v of each vertex in 1/kFilterOne texel, u and v neighbours.
    Pair uv[3];
    pairs(p0.u, p1.u, p2.u, uv);
    const Pair shift = period_shifts(uv, states.address_u, states.address_v);
    for (int i = 0; i < 3; ++i) uv[i] = mul(add(uv[i], shift), scale);
    uint32_t filter = states.mag_filter;
    if (states.min_filter != states.mag_filter) {
      // Minified when one pixel covers more than one texel; decided once per
      // triangle from its affine texel-per-pixel area.
      Plane pu, pv;
      plane_pair(uv[0], uv[1], uv[2], span, pu, pv);
      double texels = std::fabs(double{pu.a} * pv.b - double{pu.b} * pv.a) /
                      (double{kFilterOne} * kFilterOne);
      if (texels > 1.0) filter = states.min_filter;
    }
    t.bilinear = filter != D3DTEXF_NONE && filter != D3DTEXF_POINT;
    if (t.perspective) {
      for (int i = 0; i < 3; ++i) uv[i] = mul(uv[i], q[i]);
    }
    plane_pair(uv[0], uv[1], uv[2], span, t.u, t.v);
  }
  return true;
}

namespace {

// floor(n / d) and its remainder for d > 0, exact, given inv_d = 1 / d in
// double: n * inv_d is within 2^-51 of n / d relatively, so for the |n|
// below 2^45 here its floor is within one of the true quotient's, and the
// remainder check settles it. One division serves all of an edge's.
inline void divide(int64_t n, int64_t d, double inv_d, int64_t& q, int64_t& r) {
  const double approx = static_cast<double>(n) * inv_d;
  q = static_cast<int64_t>(approx);
  if (static_cast<double>(q) > approx) --q;
  r = n - q * d;
  if (r < 0) {
    --q;
    r += d;
  } else if (r >= d) {
    ++q;
    r -= d;
  }
}

// One sloped edge's bound on x along the rows: floor(n / d), plus one for a
// lower bound when a remainder is left, with n changing by a fixed step
// each row. Stepped without dividing.
struct EdgeWalker {
  int64_t q = 0, rem = 0, d = 1, step_q = 0, step_r = 0;

  void start(int64_t n, int64_t step) {
    const double inv_d = 1.0 / static_cast<double>(d);
    divide(n, d, inv_d, q, rem);
    divide(step, d, inv_d, step_q, step_r);
  }
  int64_t lower() const { return q + (rem > 0 ? 1 : 0); }
  // Without a branch: whether the remainder carries follows the slope's
  // digits, which a branch predictor guesses wrong about half the time.
  void next() {
    q += step_q;
    rem += step_r;
    const int64_t carry = rem >= d ? 1 : 0;
    q += carry;
    rem -= d & -carry;
  }
};

// The spans of rows [y, y_end) bounded by one edge on each side and by
// the columns [x_lo, x_hi], from spans[count] on; returns the new count
// and leaves both walkers at row y_end. Walked in copies, which stay in
// registers.
inline int walk_rows(int y, int y_end, int64_t x_lo, int64_t x_hi, EdgeWalker& lower_at, EdgeWalker& upper_at,
                     Span* spans, int count) {
  EdgeWalker lower = lower_at, upper = upper_at;
  for (; y < y_end; ++y) {
    const int64_t lo = std::max(x_lo, lower.lower());
    const int64_t hi = std::min(x_hi, upper.q);
    lower.next();
    upper.next();
    // Written always, kept when not empty: rows end empty as unpredictably
    // as the edges step.
    spans[count] = Span{static_cast<int16_t>(y), static_cast<int16_t>(lo), static_cast<int16_t>(hi + 1)};
    count += lo <= hi ? 1 : 0;
  }
  lower_at = lower;
  upper_at = upper;
  return count;
}

// Coverage a lane per column: each edge function evaluated exactly in
// int32 at the kColumns columns x_begin .. x_begin + kColumns - 1 of every
// row, stepped down the rows by addition. The covered columns of a row are
// contiguous (the triangle is convex), so the lowest and highest set bits
// of the row's mask are its span; the result is the walker's, bit for bit.
// For triangles of at most kColumns columns (at most 16) whose snapped
// extents are below kNarrowExtent: every value tested then stays below
// 2^26 in magnitude.
template <int kColumns>
int lane_spans(const Triangle& t, Span* spans) {
  static_assert(kColumns % 8 == 0 && kColumns <= 16);
#if !defined(TUULI_KERNELS_SSE2)
  // Per edge: its values at the columns of the first row, less the fill
  // rule's threshold, and the step from one row to the next.
  int32_t value[3][kColumns], down[3];
  for (int e = 0; e < 3; ++e) {
    const int b = (e + 1) % 3;
    const int32_t dX = t.X[b] - t.X[e], dY = t.Y[b] - t.Y[e];
    const int32_t threshold = (dY < 0 || (dY == 0 && dX > 0)) ? 0 : 1;
    const int32_t start = dX * (t.y_begin * kSubpixelScale - t.Y[e]) -
                          dY * (t.x_begin * kSubpixelScale - t.X[e]) - threshold;
    for (int k = 0; k < kColumns; ++k) value[e][k] = start + k * (-kSubpixelScale * dY);
    down[e] = kSubpixelScale * dX;
  }
  const unsigned columns = (1u << (t.x_end - t.x_begin)) - 1;
  int count = 0;
  for (int y = t.y_begin; y < t.y_end; ++y) {
    unsigned mask = 0;
    for (int k = 0; k < kColumns; ++k) {
      if (value[0][k] >= 0 && value[1][k] >= 0 && value[2][k] >= 0) mask |= 1u << k;
    }
    mask &= columns;
    if (mask != 0) {
      spans[count++] = Span{static_cast<int16_t>(y), static_cast<int16_t>(t.x_begin + __builtin_ctz(mask)),
                            static_cast<int16_t>(t.x_begin + 32 - __builtin_clz(mask))};
    }
    for (int e = 0; e < 3; ++e) {
      for (int k = 0; k < kColumns; ++k) value[e][k] += down[e];
    }
  }
  return count;
#else
  // Per edge: its values at the columns of the first row, four to a
  // register, and the step from one row to the next.
  constexpr int kQuads = kColumns / 4;
  __m128i value[3][kQuads], down[3];
  for (int e = 0; e < 3; ++e) {
    const int b = (e + 1) % 3;
    const int32_t dX = t.X[b] - t.X[e], dY = t.Y[b] - t.Y[e];
    // E >= 1, or E >= 0 on a top edge (horizontal, going right) or a left
    // edge (going up): E - threshold >= 0.
    const int32_t threshold = (dY < 0 || (dY == 0 && dX > 0)) ? 0 : 1;
    const int32_t start = dX * (t.y_begin * kSubpixelScale - t.Y[e]) -
                          dY * (t.x_begin * kSubpixelScale - t.X[e]) - threshold;
    const int32_t across = -kSubpixelScale * dY;
    value[e][0] = _mm_setr_epi32(start, start + across, start + 2 * across, start + 3 * across);
    for (int k = 1; k < kQuads; ++k) value[e][k] = _mm_add_epi32(value[e][k - 1], _mm_set1_epi32(4 * across));
    down[e] = _mm_set1_epi32(kSubpixelScale * dX);
  }
  const unsigned columns = (1u << (t.x_end - t.x_begin)) - 1;
  const __m128i below = _mm_set1_epi32(-1);
  const int16_t x_begin = static_cast<int16_t>(t.x_begin);
  int count = 0;
  for (int y = t.y_begin; y < t.y_end; ++y) {
    __m128i in[kQuads];
    for (int k = 0; k < kQuads; ++k) {
      in[k] = _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(value[0][k], below), _mm_cmpgt_epi32(value[1][k], below)),
                            _mm_cmpgt_epi32(value[2][k], below));
    }
    // Columns 0..7 in 16-bit lanes, and 8..15 (or 0..7 again).
    const __m128i in16 = _mm_packs_epi32(in[0], in[1]);
    __m128i more16 = in16;
    if constexpr (kQuads == 4) more16 = _mm_packs_epi32(in[2], in[3]);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(in16, more16))) & columns;
    if (mask != 0) {
      spans[count++] = Span{static_cast<int16_t>(y), static_cast<int16_t>(x_begin + __builtin_ctz(mask)),
                            static_cast<int16_t>(x_begin + 32 - __builtin_clz(mask))};
    }
    for (int e = 0; e < 3; ++e) {
      for (int k = 0; k < kQuads; ++k) value[e][k] = _mm_add_epi32(value[e][k], down[e]);
    }
  }
  return count;
#endif
}

}  // namespace

int compute_spans_narrow(const Triangle& t, Span* spans) { return lane_spans<kNarrowColumns>(t, spans); }

int compute_spans(const Triangle& t, Span* spans) {
  // Small triangles a lane per column: no divisions, and no branches on
  // where their vertices lie.
  if (t.x_end - t.x_begin <= 2 * kNarrowColumns) {
    const int32_t width = std::max({t.X[0], t.X[1], t.X[2]}) - std::min({t.X[0], t.X[1], t.X[2]});
    const int32_t height = std::max({t.Y[0], t.Y[1], t.Y[2]}) - std::min({t.Y[0], t.Y[1], t.Y[2]});
    if (width < kNarrowExtent && height < kNarrowExtent) return lane_spans<2 * kNarrowColumns>(t, spans);
  }
  // Edge e runs from vertex e to vertex e + 1. With
  // E(x, y) = dX * (16y - Ya) - dY * (16x - Xa), positive inside, a pixel is
  // covered when E >= 1, or E >= 0 on a top or left edge (the Direct3D 8
  // top-left rule). A triangle has one or two sloped edges on each side;
  // horizontal edges only trim the first or last row.
  int64_t dX[3], dY[3];
  int y_begin = t.y_begin, y_end = t.y_end;
  for (int e = 0; e < 3; ++e) {
    const int b = (e + 1) % 3;
    dX[e] = int64_t{t.X[b]} - t.X[e];
    dY[e] = int64_t{t.Y[b]} - t.Y[e];
    if (dY[e] == 0) {
      // A top edge (dX > 0) covers rows with 16y >= Ya, a bottom edge rows
      // with 16y < Ya.
      if (dX[e] > 0) {
        y_begin = static_cast<int>(std::max<int64_t>(y_begin, -((-int64_t{t.Y[e]}) >> kSubpixelBits)));
      } else {
        y_end = static_cast<int>(std::min<int64_t>(y_end, ((int64_t{t.Y[e]} - 1) >> kSubpixelBits) + 1));
      }
    }
  }
  if (y_begin >= y_end) return 0;

  // A triangle has one sloped edge on one side and one or two on the
  // other. Two meet at a vertex V: in the rows above V the upper of them
  // is the only bound on its side that can bind, in the rows below V the
  // lower (the other is then outside the wedge the first and the opposite
  // edge make), and only a row through V itself needs both. So each run
  // of rows walks one edge a side, which keeps the walkers in registers.
  int lower_edges[2], upper_edges[2];
  int lower_count = 0, upper_count = 0;
  for (int e = 0; e < 3; ++e) {
    if (dY[e] < 0) lower_edges[lower_count++] = e;  // sloped edges going up are left edges
    if (dY[e] > 0) upper_edges[upper_count++] = e;
  }
  // Covered when A * x >= n(y), A = -16 dY, n(y) = threshold - dX * (16y - Ya) - dY * Xa,
  // and n grows by -16 dX a row. The walker of edge e from row y.
  auto walker = [&](int e, int y) {
    const int64_t threshold = dY[e] < 0 ? 0 : 1;
    const int64_t n = threshold - dX[e] * (int64_t{y} * kSubpixelScale - t.Y[e]) - dY[e] * t.X[e];
    EdgeWalker w;
    if (dY[e] < 0) {  // x >= ceil(n / A)
      w.d = -kSubpixelScale * dY[e];
      w.start(n, -kSubpixelScale * dX[e]);
    } else {  // x <= floor(-n / -A)
      w.d = kSubpixelScale * dY[e];
      w.start(-n, kSubpixelScale * dX[e]);
    }
    return w;
  };
  const int64_t x_lo = t.x_begin, x_hi = int64_t{t.x_end} - 1;
  if (lower_count == 1 && upper_count == 1) {
    EdgeWalker lower = walker(lower_edges[0], y_begin), upper = walker(upper_edges[0], y_begin);
    return walk_rows(y_begin, y_end, x_lo, x_hi, lower, upper, spans, 0);
  }
  const bool two_lower = lower_count == 2;
  const int* pair = two_lower ? lower_edges : upper_edges;
  const int single = two_lower ? upper_edges[0] : lower_edges[0];
  // Edge e runs from vertex e to vertex e + 1, so two edges share the end
  // of the one and the start of the other.
  const int shared = pair[1] == (pair[0] + 1) % 3 ? pair[1] : pair[0];
  const int64_t y_shared = t.Y[shared];
  auto far_end = [&](int e) { return t.Y[e == shared ? (e + 1) % 3 : e]; };
  const int above = far_end(pair[0]) < y_shared ? pair[0] : pair[1];
  const int below = above == pair[0] ? pair[1] : pair[0];
  // Rows with 16y < Y of V, then the row with 16y == Y of V if there is one.
  auto clamp_row = [&](int64_t y) { return static_cast<int>(std::clamp<int64_t>(y, y_begin, y_end)); };
  const int through_begin = clamp_row(-((-y_shared) >> kSubpixelBits));
  const int through_end = clamp_row((y_shared >> kSubpixelBits) + 1);
  // The single edge is walked down all the rows, each of the pair down its own.
  EdgeWalker other = walker(single, y_begin);
  int count = 0;
  auto one_a_side = [&](int from, int to, int paired) {
    if (from >= to) return;
    EdgeWalker w = walker(paired, from);
    count = two_lower ? walk_rows(from, to, x_lo, x_hi, w, other, spans, count)
                      : walk_rows(from, to, x_lo, x_hi, other, w, spans, count);
  };
  one_a_side(y_begin, through_begin, above);
  for (int y = through_begin; y < through_end; ++y) {
    const EdgeWalker first = walker(pair[0], y), second = walker(pair[1], y);
    const int64_t lo = two_lower ? std::max({x_lo, first.lower(), second.lower()}) : std::max(x_lo, other.lower());
    const int64_t hi = two_lower ? std::min(x_hi, other.q) : std::min({x_hi, first.q, second.q});
    other.next();
    spans[count] = Span{static_cast<int16_t>(y), static_cast<int16_t>(lo), static_cast<int16_t>(hi + 1)};
    count += lo <= hi ? 1 : 0;
  }
  one_a_side(through_end, y_end, below);
  return count;
}

}  // namespace d3d8::raster
