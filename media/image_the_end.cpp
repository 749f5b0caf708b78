// media4: the closing words, added over the last scene on a black ground.
#include "media/font.h"
#include "media/images.h"

namespace media {

Image render_the_end() {
  Canvas canvas(kOverlaySize, kOverlaySize);
  Font bold("DejaVuSans-Bold.ttf");
  Font regular("DejaVuSans.ttf");
  int centre = static_cast<int>(kOverlaySize * 0.45);
  draw_glow_text(canvas, bold.render("THE END", 96.0, 0.75, 4.0), centre, 120,
                 rgb255(255, 250, 230), rgb255(255, 170, 60), rgb255(200, 80, 20), 8.0);
  draw_glow_text(canvas, regular.render("thanks for watching", 30.0, 0.75, 1.0), centre, 260,
                 rgb255(230, 230, 255), rgb255(180, 190, 240), rgb255(40, 50, 120), 3.0);
  draw_glow_text(canvas, bold.render("tuulikannel", 26.0, 0.75, 2.0), centre, 330,
                 rgb255(140, 220, 255), rgb255(90, 170, 255), rgb255(0, 60, 140), 3.0);
  return canvas.to_image();
}

}  // namespace media
