#include "media/font.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

namespace media {

struct Font::Impl {
  std::vector<unsigned char> data;
  stbtt_fontinfo info{};
};

std::string font_folder() { return "/usr/share/fonts/truetype/dejavu"; }

Font::Font(const std::string& file_name) : impl_(std::make_unique<Impl>()) {
  std::string path = font_folder() + "/" + file_name;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("font " + path + " not found (Debian package fonts-dejavu-core)");
  }
  impl_->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  int offset = stbtt_GetFontOffsetForIndex(impl_->data.data(), 0);
  if (impl_->data.size() < 12 || offset < 0 ||
      !stbtt_InitFont(&impl_->info, impl_->data.data(), offset)) {
    throw std::runtime_error("font " + path + " cannot be read");
  }
}

Font::~Font() = default;

TextMask Font::render(const std::string& text, double pixel_height, double x_scale,
                      double tracking) const {
  const stbtt_fontinfo* info = &impl_->info;
  float scale_y = stbtt_ScaleForPixelHeight(info, static_cast<float>(pixel_height));
  float scale_x = scale_y * static_cast<float>(x_scale);
  int ascent, descent, line_gap;
  stbtt_GetFontVMetrics(info, &ascent, &descent, &line_gap);
  TextMask mask;
  mask.baseline = static_cast<int>(std::ceil(ascent * scale_y));
  mask.height = mask.baseline + static_cast<int>(std::ceil(-descent * scale_y)) + 1;

  // First pass: pen positions, to size the mask.
  std::vector<double> pen;
  double x = 1.0;
  for (size_t i = 0; i < text.size(); ++i) {
    int c = static_cast<unsigned char>(text[i]);
    pen.push_back(x);
    int advance, bearing;
    stbtt_GetCodepointHMetrics(info, c, &advance, &bearing);
    x += advance * scale_x + tracking;
    if (i + 1 < text.size()) {
      x += stbtt_GetCodepointKernAdvance(info, c, static_cast<unsigned char>(text[i + 1])) *
           scale_x;
    }
  }
  mask.width = static_cast<int>(std::ceil(x)) + 2;
  mask.alpha.assign(static_cast<size_t>(mask.width) * mask.height, 0.0);

  for (size_t i = 0; i < text.size(); ++i) {
    int c = static_cast<unsigned char>(text[i]);
    double whole = std::floor(pen[i]);
    float shift = static_cast<float>(pen[i] - whole);
    int w, h, xoff, yoff;
    unsigned char* bitmap =
        stbtt_GetCodepointBitmapSubpixel(info, scale_x, scale_y, shift, 0.0f, c, &w, &h, &xoff, &yoff);
    if (bitmap == nullptr) continue;  // a space
    for (int gy = 0; gy < h; ++gy) {
      for (int gx = 0; gx < w; ++gx) {
        int mx = static_cast<int>(whole) + xoff + gx, my = mask.baseline + yoff + gy;
        if (mx < 0 || my < 0 || mx >= mask.width || my >= mask.height) continue;
        double& a = mask.alpha[static_cast<size_t>(my) * mask.width + mx];
        a = std::min(1.0, a + bitmap[gy * w + gx] / 255.0);
      }
    }
    stbtt_FreeBitmap(bitmap, nullptr);
  }
  return mask;
}

void draw_text(Canvas& canvas, const TextMask& mask, int x, int y, Colour colour, double align) {
  int left = x - static_cast<int>(std::floor(mask.width * align + 0.5));
  for (int my = 0; my < mask.height; ++my) {
    for (int mx = 0; mx < mask.width; ++mx) {
      double a = mask.alpha[static_cast<size_t>(my) * mask.width + mx];
      if (a > 0.0) canvas.blend(left + mx, y + my, colour, a);
    }
  }
}

}  // namespace media

namespace media {

void draw_glow_text(Canvas& canvas, const TextMask& mask, int x, int y, Colour colour,
                    Colour colour_bottom, Colour glow, double radius, double align) {
  int left = x - static_cast<int>(std::floor(mask.width * align + 0.5));
  int r = static_cast<int>(std::ceil(radius * 2.0));
  // Separable box-ish blur of the mask for the halo, in two passes.
  int w = mask.width + 2 * r, h = mask.height + 2 * r;
  std::vector<double> pass(static_cast<size_t>(w) * h, 0.0), halo(pass.size(), 0.0);
  std::vector<double> kernel;
  double total = 0.0;
  for (int k = -r; k <= r; ++k) {
    double weight = det_exp(-(k * k) / (2.0 * radius * radius));
    kernel.push_back(weight);
    total += weight;
  }
  for (double& k : kernel) k /= total;
  for (int yy = 0; yy < h; ++yy) {
    for (int xx = 0; xx < w; ++xx) {
      double sum = 0.0;
      for (int k = -r; k <= r; ++k) sum += kernel[static_cast<size_t>(k + r)] * mask.at(xx - r + k, yy - r);
      pass[static_cast<size_t>(yy) * w + xx] = sum;
    }
  }
  for (int yy = 0; yy < h; ++yy) {
    for (int xx = 0; xx < w; ++xx) {
      double sum = 0.0;
      for (int k = -r; k <= r; ++k) {
        int sy = yy + k;
        if (sy >= 0 && sy < h) sum += kernel[static_cast<size_t>(k + r)] * pass[static_cast<size_t>(sy) * w + xx];
      }
      halo[static_cast<size_t>(yy) * w + xx] = sum;
    }
  }
  for (int yy = 0; yy < h; ++yy) {
    for (int xx = 0; xx < w; ++xx) {
      canvas.add(left - r + xx, y - r + yy, glow, std::min(1.0, 1.6 * halo[static_cast<size_t>(yy) * w + xx]));
    }
  }
  for (int my = 0; my < mask.height; ++my) {
    Colour fill = mix(colour, colour_bottom, static_cast<double>(my) / mask.height);
    for (int mx = 0; mx < mask.width; ++mx) {
      double a = mask.alpha[static_cast<size_t>(my) * mask.width + mx];
      if (a > 0.0) canvas.blend(left + mx, y + my, fill, a);
    }
  }
}

}  // namespace media
