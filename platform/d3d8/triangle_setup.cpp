// Triangle setup: snapped positions, winding, fill-rule edges and attribute
// planes. Everything that decides coverage is exact integer arithmetic; the
// planes are computed in double and stored in float, the same on every
// machine with IEEE arithmetic and no fused multiply-add.
#include <algorithm>
#include <cmath>

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/triangle.h"

namespace d3d8::raster {

namespace {

int64_t floor_div(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }  // b > 0

int32_t snap(double v) {
  return static_cast<int32_t>(std::floor(v * kSubpixelScale + 0.5));
}

bool within_setup_limit(const ScreenVertex& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && v.x >= -kSetupLimitPixels &&
         v.x <= kBackBufferWidth + kSetupLimitPixels && v.y >= -kSetupLimitPixels &&
         v.y <= kBackBufferHeight + kSetupLimitPixels;
}

uint32_t argb_of(const ScreenVertex& v) {
  auto byte = [](double c) { return static_cast<uint32_t>(std::clamp(c, 0.0, 255.0)); };
  return byte(v.colour[3]) << 24 | byte(v.colour[2]) << 16 | byte(v.colour[1]) << 8 |
         byte(v.colour[0]);
}

// The plane through three values over the snapped triangle. d1x..d2y are
// the offsets of vertices 1 and 2 from vertex 0 in pixels, inv_area the
// reciprocal of their cross product.
Plane plane_of(double a0, double a1, double a2, double d1x, double d1y, double d2x,
               double d2y, double inv_area) {
  Plane p;
  p.c = static_cast<float>(a0);
  p.a = static_cast<float>(((a1 - a0) * d2y - (a2 - a0) * d1y) * inv_area);
  p.b = static_cast<float>(((a2 - a0) * d1x - (a1 - a0) * d2x) * inv_area);
  return p;
}

// The whole-period shift that brings a wrapped or mirrored coordinate near 0,
// so the float planes keep their precision however far coordinates run.
double period_shift(double m, uint32_t address) {
  if (address == D3DTADDRESS_WRAP) return -std::floor(m);
  if (address == D3DTADDRESS_MIRROR) return -2.0 * std::floor(m / 2.0);
  return 0.0;
}

}  // namespace

bool setup_triangle(const ScreenVertex& va, const ScreenVertex& vb, const ScreenVertex& vc,
                    const DrawStates& states, Triangle& t) {
  if (!within_setup_limit(va) || !within_setup_limit(vb) || !within_setup_limit(vc)) return false;
  const ScreenVertex* v[3] = {&va, &vb, &vc};
  int32_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = snap(v[i]->x);
    Y[i] = snap(v[i]->y);
  }
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
  for (int i = 0; i < 3; ++i) {
    t.X[i] = X[i];
    t.Y[i] = Y[i];
  }

  // Rows and columns whose centres can be inside, clamped to the target.
  int64_t min_x = std::min({X[0], X[1], X[2]}), max_x = std::max({X[0], X[1], X[2]});
  int64_t min_y = std::min({Y[0], Y[1], Y[2]}), max_y = std::max({Y[0], Y[1], Y[2]});
  t.x_begin = static_cast<int>(std::max<int64_t>(0, ceil_div(min_x, kSubpixelScale)));
  t.x_end = static_cast<int>(
      std::min<int64_t>(kBackBufferWidth, floor_div(max_x, kSubpixelScale) + 1));
  t.y_begin = static_cast<int>(std::max<int64_t>(0, ceil_div(min_y, kSubpixelScale)));
  t.y_end = static_cast<int>(
      std::min<int64_t>(kBackBufferHeight, floor_div(max_y, kSubpixelScale) + 1));
  if (t.x_begin >= t.x_end || t.y_begin >= t.y_end) return false;

  const ScreenVertex& p0 = *v[0];
  const ScreenVertex& p1 = *v[1];
  const ScreenVertex& p2 = *v[2];
  t.x0 = static_cast<float>(X[0]) / kSubpixelScale;
  t.y0 = static_cast<float>(Y[0]) / kSubpixelScale;
  const double d1x = static_cast<double>(X[1] - X[0]) / kSubpixelScale, d1y = static_cast<double>(Y[1] - Y[0]) / kSubpixelScale;
  const double d2x = static_cast<double>(X[2] - X[0]) / kSubpixelScale, d2y = static_cast<double>(Y[2] - Y[0]) / kSubpixelScale;
  const double inv_area = 1.0 / (d1x * d2y - d2x * d1y);
  auto plane = [&](double a0, double a1, double a2) {
    return plane_of(a0, a1, a2, d1x, d1y, d2x, d2y, inv_area);
  };

  // Depth is interpolated linearly in screen space, as z/w is.
  t.z = plane(p0.z, p1.z, p2.z);
  t.perspective = !(p0.q == p1.q && p1.q == p2.q);
  if (t.perspective) t.q = plane(p0.q, p1.q, p2.q);

  uint32_t argb[3] = {argb_of(p0), argb_of(p1), argb_of(p2)};
  t.flat_colour = states.flat_shade ||
                  (argb[0] == argb[1] && argb[1] == argb[2] &&
                   std::equal(p0.colour, p0.colour + 4, p1.colour) &&
                   std::equal(p1.colour, p1.colour + 4, p2.colour));
  // Flat shading takes the colour of the triangle's first vertex in
  // primitive order, which the winding swap above never moves.
  t.flat_argb = argb_of(va);
  if (!t.flat_colour) {
    for (int ch = 0; ch < 4; ++ch) {
      if (t.perspective) {
        t.colour[ch] = plane(p0.colour[ch] * p0.q, p1.colour[ch] * p1.q, p2.colour[ch] * p2.q);
      } else {
        t.colour[ch] = plane(p0.colour[ch], p1.colour[ch], p2.colour[ch]);
      }
    }
  }

  t.bilinear = false;
  if (states.texture.texels != nullptr) {
    const double su = static_cast<double>(states.texture.width) * kFilterOne;
    const double sv = static_cast<double>(states.texture.height) * kFilterOne;
    const double shift_u = period_shift(std::min({p0.u, p1.u, p2.u}), states.address_u);
    const double shift_v = period_shift(std::min({p0.v, p1.v, p2.v}), states.address_v);
    double u[3] = {(p0.u + shift_u) * su, (p1.u + shift_u) * su, (p2.u + shift_u) * su};
    double w[3] = {(p0.v + shift_v) * sv, (p1.v + shift_v) * sv, (p2.v + shift_v) * sv};
    uint32_t filter = states.mag_filter;
    if (states.min_filter != states.mag_filter) {
      // Minified when one pixel covers more than one texel; decided once per
      // triangle from its affine texel-per-pixel area.
      Plane pu = plane(u[0], u[1], u[2]), pv = plane(w[0], w[1], w[2]);
      double texels = std::fabs(double{pu.a} * pv.b - double{pu.b} * pv.a) /
                      (double{kFilterOne} * kFilterOne);
      if (texels > 1.0) filter = states.min_filter;
    }
    t.bilinear = filter != D3DTEXF_NONE && filter != D3DTEXF_POINT;
    if (t.perspective) {
      t.u = plane(u[0] * p0.q, u[1] * p1.q, u[2] * p2.q);
      t.v = plane(w[0] * p0.q, w[1] * p1.q, w[2] * p2.q);
    } else {
      t.u = plane(u[0], u[1], u[2]);
      t.v = plane(w[0], w[1], w[2]);
    }
  }
  return true;
}

namespace {

// One edge's bound on x along the rows, stepped without dividing: the bound
// is floor(n / d) (+1 when a remainder is left, for a lower bound), with n
// changing by a fixed step each row.
struct EdgeWalker {
  enum Kind { kLower, kUpper, kRow } kind = kRow;
  int64_t q = 0, rem = 0, d = 1, step_q = 0, step_r = 0;
  // kRow: horizontal edge, covered rows only.
  int64_t dx = 0, y_ref = 0, threshold = 0;

  void start(int64_t n, int64_t step) {
    q = floor_div(n, d);
    rem = n - q * d;
    step_q = floor_div(step, d);
    step_r = step - step_q * d;
  }
  void next() {
    q += step_q;
    rem += step_r;
    if (rem >= d) {
      rem -= d;
      ++q;
    }
  }
};

}  // namespace

int compute_spans(const Triangle& t, Span* spans) {
  EdgeWalker edges[3];
  for (int e = 0; e < 3; ++e) {
    int a = e, b = (e + 1) % 3;
    int64_t dX = int64_t{t.X[b]} - t.X[a], dY = int64_t{t.Y[b]} - t.Y[a];
    // E(x, y) = dX * (16y - Ya) - dY * (16x - Xa), positive inside. On the
    // edge itself only top and left edges cover (Direct3D 8 top-left rule).
    bool top_left = (dY == 0 && dX > 0) || dY < 0;
    int64_t threshold = top_left ? 0 : 1;
    int64_t A = -kSubpixelScale * dY;
    int64_t y16 = int64_t{t.y_begin} * kSubpixelScale;
    // Covered when A * x >= n(y), n(y) = threshold - dX * (16y - Ya) - dY * Xa.
    int64_t n = threshold - dX * (y16 - t.Y[a]) - dY * t.X[a];
    int64_t n_step = -kSubpixelScale * dX;
    EdgeWalker& w = edges[e];
    if (A > 0) {
      w.kind = EdgeWalker::kLower;  // x >= ceil(n / A)
      w.d = A;
      w.start(n, n_step);
    } else if (A < 0) {
      w.kind = EdgeWalker::kUpper;  // x <= floor(-n / -A)
      w.d = -A;
      w.start(-n, -n_step);
    } else {
      w.kind = EdgeWalker::kRow;
      w.dx = dX;
      w.y_ref = t.Y[a];
      w.threshold = threshold;
    }
  }
  int count = 0;
  for (int y = t.y_begin; y < t.y_end; ++y) {
    int64_t lo = t.x_begin, hi = t.x_end - 1;
    for (EdgeWalker& w : edges) {
      switch (w.kind) {
        case EdgeWalker::kLower:
          lo = std::max(lo, w.q + (w.rem > 0 ? 1 : 0));
          w.next();
          break;
        case EdgeWalker::kUpper:
          hi = std::min(hi, w.q);
          w.next();
          break;
        case EdgeWalker::kRow:
          if (w.dx * (int64_t{y} * kSubpixelScale - w.y_ref) < w.threshold) hi = lo - 1;
          break;
      }
    }
    if (lo <= hi) {
      spans[count++] = Span{static_cast<int16_t>(y), static_cast<int16_t>(lo),
                            static_cast<int16_t>(hi + 1)};
    }
  }
  return count;
}

}  // namespace d3d8::raster
