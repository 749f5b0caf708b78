// raivo: a furious tunnel ride, glowing red and gold.
#include "media/clips.h"
#include "media/noise.h"

namespace media {

std::vector<codec::RgbFrame> render_tunnel(int width, int count) {
  const ScreenMap screen{width, width};
  const std::vector<Colour> palette = {rgb255(30, 0, 10), rgb255(140, 10, 30), rgb255(230, 60, 20),
                                       rgb255(255, 160, 40), rgb255(255, 235, 150)};
  return render_frames(width, count, 1, [&](int, double phase) -> FrameShader {
    double p = kTwoPi * phase;
    double cx = 320.0 + 70.0 * det_sin(p), cy = 240.0 + 45.0 * det_sin(2.0 * p);
    // Whole texture periods per loop: four along the tunnel, one around it.
    double travel = 4.0 * phase, twist = phase;
    return [&, cx, cy, travel, twist](double px, double py) {
      double dx = (screen.x(px) - cx) / 480.0, dy = (screen.y(py) - cy) / 480.0;
      double r = std::sqrt(dx * dx + dy * dy) + 1e-6;
      double u = det_atan2(dy, dx) / kTwoPi * 8.0 + twist;  // eight tiles around
      double v = 0.45 / r + travel;
      double fu = fract(u), fv = fract(v);
      double grain = tile_fbm2(21, fu * 4.0, fv * 4.0, 4, 4, 3);
      // Bright seams between the tiles of the tunnel wall.
      double seam = std::min(std::min(fu, 1.0 - fu), std::min(fv, 1.0 - fv));
      double edge = 1.0 - smoothstep(0.0, 0.08, seam);
      Colour c = ramp(palette, grain * 0.9 + edge * 0.5);
      // Far away is dark: hides the texture's crowding near the centre.
      // Kept below white: the plasma is added over this clip.
      double depth = smoothstep(0.02, 0.35, r);
      return c * (depth * 0.82);
    };
  });
}

}  // namespace media
