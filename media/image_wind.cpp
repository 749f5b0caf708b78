// media3: streamlines of wind and a scatter of sparks, added over the
// television on a black ground.
#include "media/images.h"
#include "media/noise.h"

namespace media {

Image render_wind() {
  Canvas canvas(kOverlaySize, kOverlaySize);
  const ScreenMap screen{kOverlaySize, kOverlaySize};
  constexpr int kLines = 9;
  for (int y = 0; y < kOverlaySize; ++y) {
    for (int x = 0; x < kOverlaySize; ++x) {
      double sx = screen.x(x + 0.5), sy = screen.y(y + 0.5);
      Colour c;
      for (int i = 0; i < kLines; ++i) {
        double base = 40.0 + i * 50.0;
        double curve = base + 22.0 * det_sin(sx * 0.012 + i * 0.9) + 10.0 * det_sin(sx * 0.031 + i * 2.1);
        double d = std::fabs(sy - curve);
        // Each line swells from a thin start to a bright middle and fades out.
        double along = clamp01((sx - 15.0 * i) / 560.0);
        double strength = det_sin(kPi * along) * (i % 3 == 1 ? 1.0 : 0.6);
        double width = 1.0 + 2.5 * strength;
        Colour hue = i % 2 == 0 ? rgb255(120, 220, 255) : rgb255(200, 170, 255);
        c = c + hue * (strength * (cover(d - width, 1.2) + 0.35 * det_exp(-d * d / 90.0)));
      }
      canvas.at(x, y) = c;
    }
  }
  Random random(77);
  for (int i = 0; i < 120; ++i) {
    int x = static_cast<int>(random.next_unit() * kOverlaySize * 0.9);
    int y = static_cast<int>(random.next_unit() * kOverlaySize * 0.9);
    double bright = 0.4 + 0.6 * random.next_unit();
    for (int dy = -3; dy <= 3; ++dy) {
      for (int dx = -3; dx <= 3; ++dx) {
        double fall = det_exp(-(dx * dx * 1.8 + dy * dy) / 2.0);
        canvas.add(x + dx, y + dy, rgb255(255, 240, 200), bright * fall);
      }
    }
  }
  return canvas.to_image();
}

}  // namespace media
