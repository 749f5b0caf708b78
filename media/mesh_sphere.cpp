// pallukka: a sphere of radius 100 with latitude-longitude texture
// coordinates. The seam column is doubled (u 0 and u 1) so that a repeating
// texture wraps around without a smeared strip.
#include "media/det_math.h"
#include "media/media.h"

namespace media {

namespace {

constexpr int kRings = 24;     // pole to pole
constexpr int kSegments = 48;  // around
constexpr double kRadius = 100.0;

}  // namespace

mesh::MeshData make_sphere_mesh() {
  mesh::MeshData m;
  for (int ring = 0; ring <= kRings; ++ring) {
    double v = static_cast<double>(ring) / kRings;
    double polar = kPi * v;
    double y = kRadius * det_cos(polar), r = kRadius * det_sin(polar);
    for (int seg = 0; seg <= kSegments; ++seg) {
      double u = static_cast<double>(seg) / kSegments;
      double azimuth = kTwoPi * u;
      m.positions.push_back({static_cast<float>(r * det_cos(azimuth)), static_cast<float>(y),
                             static_cast<float>(r * det_sin(azimuth))});
      m.tex_coords.push_back({static_cast<float>(u), static_cast<float>(v)});
    }
  }
  auto index = [](int ring, int seg) { return static_cast<uint16_t>(ring * (kSegments + 1) + seg); };
  for (int ring = 0; ring < kRings; ++ring) {
    for (int seg = 0; seg < kSegments; ++seg) {
      uint16_t a = index(ring, seg), b = index(ring, seg + 1);
      uint16_t c = index(ring + 1, seg), d = index(ring + 1, seg + 1);
      // The pole rows collapse to a point: one triangle per quad there.
      if (ring != 0) m.triangles.push_back({a, b, c});
      if (ring != kRings - 1) m.triangles.push_back({b, d, c});
    }
  }
  return m;
}

}  // namespace media
