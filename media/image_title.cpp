// media: the title. In the opening scene it is multiplied 2x over the
// flames and then added on top, both at a pulsing grey level: the letters
// fill with fire and glow, while the dark ground keeps the flames faint.
#include "media/font.h"
#include "media/images.h"

namespace media {

Image render_title() {
  Canvas canvas(kOverlaySize, kOverlaySize);
  const ScreenMap screen{kOverlaySize, kOverlaySize};
  for (int y = 0; y < kOverlaySize; ++y) {
    for (int x = 0; x < kOverlaySize; ++x) {
      double sx = screen.x(x + 0.5), sy = screen.y(y + 0.5);
      Colour ground = mix(rgb255(52, 56, 84), rgb255(30, 26, 36), clamp01(sy / 480.0));
      // Faint diagonal streaks of wind.
      double streak = det_sin((sx + sy * 0.35) * 0.09) * det_sin(sy * 0.021 + sx * 0.004);
      canvas.at(x, y) = ground + rgb255(20, 24, 40) * smoothstep(0.55, 1.0, streak);
    }
  }
  Font bold("DejaVuSans-Bold.ttf");
  Font regular("DejaVuSans.ttf");
  // 0.75 squeezes the glyphs so that the 4:3 stretch gives them their shape.
  TextMask title = bold.render("TUULIKANNEL", 72.0, 0.75, 2.0);
  int centre = static_cast<int>(kOverlaySize * 0.45);
  draw_glow_text(canvas, title, centre, 150, rgb255(255, 255, 245), rgb255(255, 190, 70),
                 rgb255(255, 120, 30), 6.0);
  TextMask line = regular.render("wind  \xB7  fire  \xB7  light", 24.0, 0.75, 1.0);
  draw_glow_text(canvas, line, centre, 250, rgb255(200, 220, 255), rgb255(150, 180, 240),
                 rgb255(40, 70, 160), 3.0);
  return canvas.to_image();
}

}  // namespace media
