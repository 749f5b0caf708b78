// The 4:2:0 conversion against its definition, computed here pixel by pixel
// in plain integers, on pictures whose every channel value occurs, from
// R5G6B5 and from X8R8G8B8 pixels.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/win32/frame.h"
#include "tools/yuv420.h"

namespace {

constexpr int kWidth = 64, kHeight = 6;

// Each pixel's 8-bit channels: R5G6B5 through the one widening every
// output shares.
std::vector<uint8_t> channels_of(const std::vector<uint16_t>& pixels) {
  std::vector<uint8_t> rgb(pixels.size() * 3);
  win32::frame_to_rgb888({pixels.data(), kWidth, kHeight, kWidth * 2, win32::PixelFormat::r5g6b5},
                         rgb.data());
  return rgb;
}
std::vector<uint8_t> channels_of(const std::vector<uint32_t>& pixels) {
  std::vector<uint8_t> rgb(pixels.size() * 3);
  win32::frame_to_rgb888({pixels.data(), kWidth, kHeight, kWidth * 4, win32::PixelFormat::x8r8g8b8},
                         rgb.data());
  return rgb;
}

template <typename Pixel>
std::vector<uint8_t> by_definition(const std::vector<Pixel>& pixels) {
  const std::vector<uint8_t> rgb = channels_of(pixels);
  auto channels = [&](int i, int& r, int& g, int& b) { r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2]; };
  std::vector<uint8_t> planes(kWidth * kHeight * 3 / 2);
  uint8_t* cb = planes.data() + kWidth * kHeight;
  uint8_t* cr = cb + (kWidth / 2) * (kHeight / 2);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    int r, g, b;
    channels(i, r, g, b);
    planes[i] = static_cast<uint8_t>((66 * r + 129 * g + 25 * b + 128 + 16 * 256) >> 8);
  }
  for (int y = 0; y < kHeight / 2; ++y) {
    for (int x = 0; x < kWidth / 2; ++x) {
      int R = 0, G = 0, B = 0;
      for (int i : {0, 1, kWidth, kWidth + 1}) {
        int r, g, b;
        channels((2 * y) * kWidth + 2 * x + i, r, g, b);
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

TEST(Yuv420, ThirtyTwoBitPixelsMatchTheDefinition) {
  std::mt19937 rng(5);
  struct Case {
    const char* name;
    std::function<uint32_t(int)> pixel;
  };
  const Case cases[] = {
      {"black, top byte set", [](int) { return 0xFF000000u; }},
      {"white", [](int) { return 0x00FFFFFFu; }},
      {"greys", [](int i) { return uint32_t(i & 255) * 0x010101u; }},
      {"pure red, green, blue", [](int i) { return i % 3 == 0 ? 0xFF0000u : i % 3 == 1 ? 0x00FF00u : 0x0000FFu; }},
      {"random, top byte too", [&](int) { return uint32_t(rng()); }},
  };
  int tried = 0;
  for (const tools::Yuv420Width& w : tools::kYuv420Widths) {
    if (w.convert_xrgb == nullptr || w.needs > cpu::simd_ceiling()) continue;
    ++tried;
    for (const Case& c : cases) {
      std::vector<uint32_t> pixels(kWidth * kHeight);
      for (int i = 0; i < kWidth * kHeight; ++i) pixels[i] = c.pixel(i);
      std::vector<uint8_t> planes(kWidth * kHeight * 3 / 2, 0xAA);
      w.convert_xrgb(pixels.data(), kWidth, kHeight, planes.data());
      EXPECT_EQ(planes, by_definition(pixels)) << c.name << ", " << w.name;
    }
  }
  EXPECT_GE(tried, 1);
}

// A 32-bit picture holding the widened values of a 16-bit one converts to
// the same bytes: the two sources differ only before the 8-bit channels.
TEST(Yuv420, WidenedSixteenBitPicturesGiveTheSamePlanesAtThirtyTwoBits) {
  for (int start = 0; start < 65536; start += kWidth * kHeight) {
    std::vector<uint16_t> sixteen(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i) sixteen[i] = uint16_t(start + i);
    const std::vector<uint8_t> rgb = channels_of(sixteen);
    std::vector<uint32_t> thirty_two(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i) {
      thirty_two[i] = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    }
    std::vector<uint8_t> from16(kWidth * kHeight * 3 / 2), from32(kWidth * kHeight * 3 / 2);
    tools::rgb565_to_yuv420(sixteen.data(), kWidth, kHeight, from16.data());
    tools::xrgb8888_to_yuv420(thirty_two.data(), kWidth, kHeight, from32.data());
    ASSERT_EQ(from16, from32) << "pixels from " << start;
  }
}

// Widths that no SIMD width divides (a canvas of any even size) take the
// portable path, with the same bytes.
TEST(Yuv420, AnyEvenWidth) {
  for (int width : {2, 18, 34, 642}) {
    std::vector<uint16_t> pixels(size_t(width) * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint16_t(i * 2654435761u >> 7);
    std::vector<uint8_t> planes(pixels.size() * 3 / 2), expected(pixels.size() * 3 / 2);
    tools::rgb565_to_yuv420(pixels.data(), width, 4, planes.data());
    tools::kYuv420Widths[0].convert(pixels.data(), width, 4, expected.data());
    EXPECT_EQ(planes, expected) << width;
  }
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
