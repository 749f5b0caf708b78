// media2: credits, added over the video at full or near-zero level as the
// grey counter flips: the ground is black so that only the words show.
#include "media/font.h"
#include "media/images.h"

namespace media {

Image render_credits() {
  Canvas canvas(kOverlaySize, kOverlaySize);
  Font bold("DejaVuSans-Bold.ttf");
  Font regular("DejaVuSans.ttf");
  struct Credit {
    const char* role;
    const char* who;
  };
  const Credit credits[] = {{"CODE", "the tuulikannel engine"},
                            {"GRAPHICS", "painted by formulas"},
                            {"MUSIC", "synthesized, 150 bpm"}};
  int centre = static_cast<int>(kOverlaySize * 0.45);
  int y = 70;
  for (const Credit& c : credits) {
    draw_glow_text(canvas, bold.render(c.role, 40.0, 0.75, 3.0), centre, y, rgb255(120, 230, 255),
                   rgb255(60, 160, 255), rgb255(0, 60, 140), 4.0);
    draw_glow_text(canvas, regular.render(c.who, 30.0, 0.75, 1.0), centre, y + 46,
                   rgb255(255, 255, 255), rgb255(220, 220, 230), rgb255(50, 50, 80), 3.0);
    y += 120;
  }
  return canvas.to_image();
}

}  // namespace media
