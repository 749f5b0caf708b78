// The 4:2:0 conversion against its definition, computed here pixel by pixel
// in plain integers, on pictures whose every channel value occurs.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tools/yuv420.h"

namespace {

constexpr int kWidth = 64, kHeight = 6;

std::vector<uint8_t> by_definition(const std::vector<uint16_t>& pixels) {
  auto widen = [](uint16_t p, int& r, int& g, int& b) {
    r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
    r = r << 3 | r >> 2, g = g << 2 | g >> 4, b = b << 3 | b >> 2;
  };
  std::vector<uint8_t> planes(kWidth * kHeight * 3 / 2);
  uint8_t* cb = planes.data() + kWidth * kHeight;
  uint8_t* cr = cb + (kWidth / 2) * (kHeight / 2);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    int r, g, b;
    widen(pixels[i], r, g, b);
    planes[i] = static_cast<uint8_t>((66 * r + 129 * g + 25 * b + 128 + 16 * 256) >> 8);
  }
  for (int y = 0; y < kHeight / 2; ++y) {
    for (int x = 0; x < kWidth / 2; ++x) {
      int R = 0, G = 0, B = 0;
      for (int i : {0, 1, kWidth, kWidth + 1}) {
        int r, g, b;
        widen(pixels[(2 * y) * kWidth + 2 * x + i], r, g, b);
        R += r, G += g, B += b;
      }
      cb[y * (kWidth / 2) + x] = static_cast<uint8_t>((-38 * R - 74 * G + 112 * B + 512 + 128 * 1024) >> 10);
      cr[y * (kWidth / 2) + x] = static_cast<uint8_t>((112 * R - 94 * G - 18 * B + 512 + 128 * 1024) >> 10);
    }
  }
  return planes;
}

TEST(Yuv420, MatchesTheDefinition) {
  std::mt19937 rng(3);
  struct Case {
    const char* name;
    std::function<uint16_t(int)> pixel;
  };
  const Case cases[] = {
      {"black", [](int) { return uint16_t{0}; }},
      {"white", [](int) { return uint16_t{0xFFFF}; }},
      {"pure red, green, blue", [](int i) { return uint16_t(i % 3 == 0 ? 0xF800 : i % 3 == 1 ? 0x07E0 : 0x001F); }},
      {"every value in turn", [](int i) { return uint16_t(i * 173); }},
      {"random", [&](int) { return uint16_t(rng()); }},
  };
  std::string skipped;
  for (const tools::Yuv420Width& w : tools::kYuv420Widths) {
    if (w.convert == nullptr || w.needs > cpu::simd_ceiling()) {
      skipped += std::string(" ") + w.name;
      continue;
    }
    for (const Case& c : cases) {
      std::vector<uint16_t> pixels(kWidth * kHeight);
      for (int i = 0; i < kWidth * kHeight; ++i) pixels[i] = c.pixel(i);
      std::vector<uint8_t> planes(kWidth * kHeight * 3 / 2, 0xAA);
      w.convert(pixels.data(), kWidth, kHeight, planes.data());
      EXPECT_EQ(planes, by_definition(pixels)) << c.name << ", " << w.name;
    }
  }
  if (!skipped.empty()) GTEST_SKIP() << "not on this CPU or build:" << skipped;
}

TEST(Yuv420, StudioRangeAtTheExtremes) {
  std::vector<uint16_t> white(kWidth * kHeight, 0xFFFF), black(kWidth * kHeight, 0);
  std::vector<uint8_t> planes(kWidth * kHeight * 3 / 2);
  tools::rgb565_to_yuv420(white.data(), kWidth, kHeight, planes.data());
  EXPECT_EQ(planes[0], 235);
  EXPECT_EQ(planes[kWidth * kHeight], 128);  // no colour: neutral chroma
  tools::rgb565_to_yuv420(black.data(), kWidth, kHeight, planes.data());
  EXPECT_EQ(planes[0], 16);
  EXPECT_EQ(planes.back(), 128);
}

}  // namespace
