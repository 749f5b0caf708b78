// Synthetic pictures of the kinds a clip holds, for the encoder's tests and
// figures: each a function of the frame number so that clips move.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/clip_encoder.h"

namespace codec_test {

enum class Content { kFlat, kGradient, kPlasma, kCheckerboard, kNoise, kRings };

inline const char* content_name(Content c) {
  switch (c) {
    case Content::kFlat: return "flat";
    case Content::kGradient: return "gradient";
    case Content::kPlasma: return "plasma";
    case Content::kCheckerboard: return "checkerboard";
    case Content::kNoise: return "noise";
    case Content::kRings: return "rings";
  }
  return "?";
}

inline codec::RgbFrame synthetic_frame(Content content, int width, int height, int frame) {
  codec::RgbFrame f;
  f.width = width;
  f.height = height;
  f.rgb.resize(static_cast<size_t>(width) * height * 3);
  std::mt19937 random(static_cast<uint32_t>(frame * 7919 + static_cast<int>(content)));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double r = 0, g = 0, b = 0;
      const double u = x / static_cast<double>(width), v = y / static_cast<double>(height);
      switch (content) {
        case Content::kFlat: r = 200, g = 90, b = 30; break;
        case Content::kGradient: r = 255 * u, g = 255 * v, b = 128 + 100 * std::sin(frame * 0.3); break;
        case Content::kPlasma: {
          const double p = std::sin(u * 9 + frame * 0.2) + std::sin(v * 7 - frame * 0.15) +
                           std::sin((u + v) * 11 + frame * 0.1);
          r = 128 + 120 * std::sin(p), g = 128 + 120 * std::sin(p + 2.1), b = 128 + 120 * std::sin(p + 4.2);
          break;
        }
        case Content::kCheckerboard: {
          const bool on = ((x + frame) / 16 + y / 16) % 2;
          r = on ? 240 : 20, g = on ? 240 : 40, b = on ? 60 : 200;
          break;
        }
        case Content::kNoise: r = random() % 256, g = random() % 256, b = random() % 256; break;
        case Content::kRings: {
          const double d = std::hypot(u - 0.5, v - 0.5) * 40 - frame * 0.5;
          r = 128 + 127 * std::sin(d), g = 128 + 127 * std::sin(d * 1.3), b = 90;
          break;
        }
      }
      uint8_t* p = &f.rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(std::clamp(r, 0.0, 255.0));
      p[1] = static_cast<uint8_t>(std::clamp(g, 0.0, 255.0));
      p[2] = static_cast<uint8_t>(std::clamp(b, 0.0, 255.0));
    }
  }
  return f;
}

}  // namespace codec_test
