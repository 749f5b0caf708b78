// PNG previews and a model of how the demo's full-screen layers stack, so the
// pack can be judged in use and not only piece by piece.
#include <algorithm>
#include <cmath>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "media/media.h"

namespace media {

bool write_png(const std::string& path, const Image& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3) {
    return false;
  }
  return stbi_write_png(path.c_str(), image.width, image.height, 3, image.rgb.data(),
                        image.width * 3) != 0;
}

Image frame_image(const codec::RgbFrame& frame) {
  return Image{frame.width, frame.height, frame.rgb};
}

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

// Bilinear sample at texture coordinates (u, v), wrapping like the device's
// default addressing.
void sample(const Image& t, double u, double v, double out[3]) {
  double x = u * t.width - 0.5, y = v * t.height - 0.5;
  double fx = std::floor(x), fy = std::floor(y);
  double ax = x - fx, ay = y - fy;
  auto wrap = [](int i, int n) { return ((i % n) + n) % n; };
  int x0 = wrap(static_cast<int>(fx), t.width), x1 = wrap(static_cast<int>(fx) + 1, t.width);
  int y0 = wrap(static_cast<int>(fy), t.height), y1 = wrap(static_cast<int>(fy) + 1, t.height);
  for (int c = 0; c < 3; ++c) {
    auto texel = [&](int xx, int yy) {
      return static_cast<double>(t.rgb[(static_cast<size_t>(yy) * t.width + xx) * 3 + c]);
    };
    double top = texel(x0, y0) + (texel(x1, y0) - texel(x0, y0)) * ax;
    double bottom = texel(x0, y1) + (texel(x1, y1) - texel(x0, y1)) * ax;
    out[c] = (top + (bottom - top) * ay) / 255.0;
  }
}

}  // namespace

Image composite_layers(const std::vector<Layer>& layers) {
  std::vector<double> screen(static_cast<size_t>(kScreenWidth) * kScreenHeight * 3, 0.0);
  for (const Layer& layer : layers) {
    if (layer.texture == nullptr || layer.texture->width <= 0) continue;
    double level = (layer.level & 0xFF) / 255.0;
    for (int y = 0; y < kScreenHeight; ++y) {
      for (int x = 0; x < kScreenWidth; ++x) {
        double s[3];
        // The layer quad spans 0..639 and 0..479 with texture coordinates 0..0.9.
        sample(*layer.texture, 0.9 * x / 639.0, 0.9 * y / 479.0, s);
        double* d = &screen[(static_cast<size_t>(y) * kScreenWidth + x) * 3];
        for (int c = 0; c < 3; ++c) {
          double src = s[c] * level;
          double out = layer.blend == Blend::kOpaque     ? src
                       : layer.blend == Blend::kAdditive ? src + d[c]
                                                         : 2.0 * src * d[c];
          d[c] = std::min(out, 1.0);
        }
      }
    }
  }
  Image image{kScreenWidth, kScreenHeight, {}};
  image.rgb.reserve(screen.size());
  for (double v : screen) image.rgb.push_back(static_cast<uint8_t>(std::floor(v * 255.0 + 0.5)));
  return image;
}

}  // namespace media
