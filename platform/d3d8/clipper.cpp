// Sutherland-Hodgman clipping, one plane at a time. An intersection is
// always computed from the inside vertex toward the outside one, so two
// triangles sharing a clipped edge get bit-identical new vertices and the
// edge neither cracks nor doubles.
#include "platform/d3d8/clipper.h"

#include <cmath>

#include "platform/d3d8/raster_config.h"

namespace d3d8::raster {

namespace {

// Equal ends interpolate to exactly that value, so a constant colour stays
// constant (and flat) after clipping.
double mix(double a, double b, double t) { return a == b ? a : a + t * (b - a); }

ClipVertex intersect(const ClipVertex& in, const ClipVertex& out, double t) {
  ClipVertex r;
  r.x = mix(in.x, out.x, t);
  r.y = mix(in.y, out.y, t);
  r.z = mix(in.z, out.z, t);
  r.w = mix(in.w, out.w, t);
  r.u = mix(in.u, out.u, t);
  r.v = mix(in.v, out.v, t);
  for (int i = 0; i < 4; ++i) r.colour[i] = mix(in.colour[i], out.colour[i], t);
  return r;
}

ScreenVertex intersect(const ScreenVertex& in, const ScreenVertex& out, double t) {
  ScreenVertex r;
  r.x = mix(in.x, out.x, t);
  r.y = mix(in.y, out.y, t);
  r.z = mix(in.z, out.z, t);
  r.q = mix(in.q, out.q, t);
  // Through q, so the values stay those of the perspective-correct surface.
  auto attribute = [&](double a, double b) {
    return a == b ? a : mix(a * in.q, b * out.q, t) / r.q;
  };
  r.u = attribute(in.u, out.u);
  r.v = attribute(in.v, out.v);
  for (int i = 0; i < 4; ++i) r.colour[i] = attribute(in.colour[i], out.colour[i]);
  return r;
}

template <typename Vertex, typename Distance>
int clip_plane(const Vertex* in, int count, Vertex* out, Distance distance) {
  if (count == 0) return 0;
  int n = 0;
  const Vertex* prev = &in[count - 1];
  double d_prev = distance(*prev);
  for (int i = 0; i < count; ++i) {
    const Vertex* cur = &in[i];
    double d_cur = distance(*cur);
    bool cur_in = d_cur >= 0.0, prev_in = d_prev >= 0.0;
    if (cur_in != prev_in) {
      // d_in >= 0 > d_out, so the denominator is positive.
      if (cur_in) {
        out[n++] = intersect(*cur, *prev, d_cur / (d_cur - d_prev));
      } else {
        out[n++] = intersect(*prev, *cur, d_prev / (d_prev - d_cur));
      }
    }
    if (cur_in) out[n++] = *cur;
    prev = cur;
    d_prev = d_cur;
  }
  return n >= 3 ? n : 0;
}

}  // namespace

bool inside_guard_band(const ScreenVertex& v, const TargetSize& target) {
  return v.x >= -kGuardBandPixels && v.x <= target.width + kGuardBandPixels &&
         v.y >= -kGuardBandPixels && v.y <= target.height + kGuardBandPixels;
}

int clip_homogeneous(const ClipVertex (&in)[3], ClipVertex (&out)[kMaxPolygon]) {
  ClipVertex a[kMaxPolygon], b[kMaxPolygon];
  int n = clip_plane(in, 3, a, [](const ClipVertex& v) { return v.z; });
  n = clip_plane(a, n, b, [](const ClipVertex& v) { return v.w - v.z; });
  n = clip_plane(b, n, out, [](const ClipVertex& v) { return v.w - kMinClipW; });
  return n;
}

int clip_guard_band(const ScreenVertex* in, int count, const TargetSize& target,
                    ScreenVertex (&out)[kMaxPolygon]) {
  constexpr double kLeft = -kGuardBandPixels, kTop = -kGuardBandPixels;
  const double kRight = target.width + kGuardBandPixels;
  const double kBottom = target.height + kGuardBandPixels;
  // Four planes add at most four vertices.
  if (count > kMaxPolygon - 4) return 0;
  ScreenVertex a[kMaxPolygon], b[kMaxPolygon];
  int n = clip_plane(in, count, a, [](const ScreenVertex& v) { return v.x - kLeft; });
  n = clip_plane(a, n, b, [kRight](const ScreenVertex& v) { return kRight - v.x; });
  n = clip_plane(b, n, a, [](const ScreenVertex& v) { return v.y - kTop; });
  n = clip_plane(a, n, out, [kBottom](const ScreenVertex& v) { return kBottom - v.y; });
  return n;
}

}  // namespace d3d8::raster
