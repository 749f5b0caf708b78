// Text from the DejaVu fonts that Debian installs (fonts-dejavu-core),
// rasterised with stb_truetype.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/canvas.h"

namespace media {

// A rendered line of text: coverage 0..1 per texel.
struct TextMask {
  int width = 0;
  int height = 0;
  int baseline = 0;  // row of the baseline
  std::vector<double> alpha;
  double at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0.0;
    return alpha[static_cast<size_t>(y) * width + x];
  }
};

class Font {
 public:
  // `file_name` inside the DejaVu folder, e.g. "DejaVuSans-Bold.ttf". Throws
  // std::runtime_error when the file is missing or not a font.
  explicit Font(const std::string& file_name);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // One line, `pixel_height` texels from ascender to descender, its glyphs
  // `x_scale` times as wide as the font draws them (0.75 undoes the 4:3
  // stretch of a square texture shown full screen), `tracking` extra texels
  // between letters.
  TextMask render(const std::string& text, double pixel_height, double x_scale,
                  double tracking = 0.0) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where the DejaVu fonts are looked for.
std::string font_folder();

// Paints `mask` in `colour` with its top-left corner at (x, y); `align` 0
// puts x at the left edge, 0.5 at the centre, 1 at the right edge.
void draw_text(Canvas& canvas, const TextMask& mask, int x, int y, Colour colour,
               double align = 0.0);

}  // namespace media

namespace media {

// Text with a soft halo: the halo (`glow` colour, `radius` texels) is added
// first, then the letters are painted over it in `colour`. The fill may be a
// vertical gradient from `colour` at the top to `colour_bottom`.
void draw_glow_text(Canvas& canvas, const TextMask& mask, int x, int y, Colour colour,
                    Colour colour_bottom, Colour glow, double radius, double align = 0.5);

}  // namespace media
