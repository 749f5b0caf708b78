// liekki: flames rising from the bottom of the screen.
#include "media/clips.h"
#include "media/noise.h"

namespace media {

std::vector<codec::RgbFrame> render_flames(int width, int count) {
  const ScreenMap screen{width, width};
  const std::vector<Colour> palette = {
      rgb255(10, 2, 2),     rgb255(70, 8, 4),     rgb255(165, 28, 6),  rgb255(230, 90, 12),
      rgb255(255, 165, 40), rgb255(255, 220, 110), rgb255(255, 250, 215)};
  return render_frames(width, count, 1, [&](int, double phase) -> FrameShader {
    return [&, phase](double px, double py) {
      double x = screen.x(px) / 640.0;  // 0..1 across the visible screen
      double y = screen.y(py) / 480.0;  // 0 at the top, 1 at the bottom edge
      double height = 1.0 - y;          // above the screen's bottom edge
      // The noise scrolls up by exactly one vertical period per loop and its
      // time axis spans one period, so the last frame leads into the first.
      double warp = tile_fbm3(7, x * 3.0, y * 2.0 + phase * 2.0, phase * 2.0, 16, 2, 2, 3);
      double fire = tile_fbm3(11, x * 6.0 + (warp - 0.5) * 1.2, y * 4.0 + phase * 8.0,
                              phase * 3.0, 64, 8, 3, 5, 0.55);
      double centre = (x - 0.5) * (x - 0.5);
      double heat = fire * 1.9 - height * 1.25 - centre * 1.6 + 0.05;
      // A dim glow keeps what the flames are multiplied over faintly visible.
      double glow = 0.10 * clamp01(1.2 - height);
      return ramp(palette, clamp01(heat) * 0.95 + glow);
    };
  });
}

}  // namespace media
