// Decoding BMP and TGA files written byte by byte by the tests' own writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "texload/image_writers.h"
#include "texload/texload.h"

namespace {

using texload::ImageError;
using texload_test::BmpLayout;
using texload_test::Picture;
using texload_test::TgaLayout;
using texload_test::pattern_picture;
using texload_test::quantise_all;

struct Variant {
  std::string name;
  Picture picture;
  std::vector<uint8_t> file;
  bool has_alpha;
};

const std::vector<uint32_t> kColours = {0xFF102030, 0xFFF0E0D0, 0xFF00FF7F, 0xFF808080,
                                        0xFFFF0000, 0xFF0000FF, 0xFF123456, 0xFFFEDCBA};
const std::vector<uint32_t> kAlphaColours = {0x00102030, 0x40F0E0D0, 0x8000FF7F, 0xFF808080,
                                             0xC0FF0000, 0x100000FF};
const std::vector<uint32_t> kGreys = {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF, 0xFF131313};
const std::vector<uint32_t> kGreyAlphas = {0x00000000, 0x80555555, 0xFFAAAAAA, 0x33131313};

std::vector<uint32_t> first(size_t n, const std::vector<uint32_t>& colours) {
  return {colours.begin(), colours.begin() + static_cast<long>(n)};
}

Variant bmp(std::string name, const std::vector<uint32_t>& colours, BmpLayout layout,
            bool has_alpha = false, int width = 5, int height = 3) {
  Picture p = pattern_picture(width, height, colours);
  return {"bmp " + name, p, texload_test::write_bmp(p, layout), has_alpha};
}

Variant tga(std::string name, const std::vector<uint32_t>& colours, TgaLayout layout,
            bool has_alpha = false, int width = 5, int height = 3) {
  Picture p = pattern_picture(width, height, colours);
  return {"tga " + name, p, texload_test::write_tga(p, layout), has_alpha};
}

std::vector<Variant> variants() {
  const auto c555 = quantise_all(kColours, 5, 5, 5, 0);
  const auto c565 = quantise_all(kColours, 5, 6, 5, 0);
  const auto c1555 = quantise_all(kAlphaColours, 5, 5, 5, 1);
  const auto c4444 = quantise_all(kAlphaColours, 4, 4, 4, 4);
  const uint32_t k555[4] = {0x7C00, 0x03E0, 0x001F, 0};
  const uint32_t k565[4] = {0xF800, 0x07E0, 0x001F, 0};
  const uint32_t k4444[4] = {0x0F00, 0x00F0, 0x000F, 0xF000};
  const uint32_t k8888[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  const uint32_t kBgra[4] = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};
  const uint32_t k2101010[4] = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
  auto masks = [](BmpLayout l, const uint32_t m[4]) {
    std::copy(m, m + 4, l.masks);
    return l;
  };
  const auto c2101010 = quantise_all(kAlphaColours, 8, 8, 8, 2);

  std::vector<Variant> v = {
      bmp("1-bit", first(2, kColours), {.bits = 1}),
      bmp("1-bit 9 wide", first(2, kColours), {.bits = 1}, false, 9, 2),
      bmp("4-bit", kColours, {.bits = 4}),
      bmp("4-bit short palette", first(3, kColours), {.bits = 4, .palette_entries = 3}),
      bmp("8-bit", kColours, {.bits = 8}),
      bmp("8-bit top-down", kColours, {.bits = 8, .top_down = true}),
      bmp("8-bit OS/2 core header", kColours, {.bits = 8, .header_bytes = 12}),
      bmp("4-bit OS/2 core header", kColours, {.bits = 4, .header_bytes = 12}),
      bmp("8-bit gap before pixels", kColours, {.bits = 8, .palette_entries = 8, .gap_bytes = 6}),
      bmp("RLE8", kColours, {.bits = 8, .compression = 1}, false, 13, 4),
      bmp("RLE4", kColours, {.bits = 4, .compression = 2}, false, 13, 4),
      bmp("RLE4 odd absolute runs", kColours, {.bits = 4, .compression = 2}, false, 7, 5),
      bmp("16-bit plain", c555, masks({.bits = 16}, k555)),
      bmp("16-bit 565 fields", c565, masks({.bits = 16, .compression = 3}, k565)),
      bmp("16-bit 4444 V4", c4444, masks({.bits = 16, .header_bytes = 108, .compression = 3}, k4444), true),
      bmp("16-bit 565 52-byte header", c565, masks({.bits = 16, .header_bytes = 52, .compression = 3}, k565)),
      bmp("16-bit 1555 alpha fields", c1555,
          masks({.bits = 16, .compression = 6}, std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x1F, 0x8000}.data()), true),
      bmp("24-bit", kColours, {}),
      bmp("24-bit top-down", kColours, {.top_down = true}),
      bmp("24-bit gap before pixels", kColours, {.gap_bytes = 10}),
      bmp("24-bit V5", kColours, {.header_bytes = 124}),
      bmp("32-bit plain with alpha", kAlphaColours, masks({.bits = 32}, k8888), true),
      bmp("32-bit V5 BGRA fields", kAlphaColours, masks({.bits = 32, .header_bytes = 124, .compression = 3}, kBgra), true),
      bmp("32-bit 56-byte header", kAlphaColours, masks({.bits = 32, .header_bytes = 56, .compression = 3}, k8888), true),
      bmp("32-bit 2-10-10-10 fields", c2101010, masks({.bits = 32, .header_bytes = 108, .compression = 3}, k2101010), true),
      bmp("32-bit fields no alpha", kColours, masks({.bits = 32, .compression = 3}, k8888)),

      tga("24-bit bottom-left", kColours, {}),
      tga("24-bit top-left", kColours, {.from_top = true}),
      tga("24-bit bottom-right", kColours, {.from_right = true}),
      tga("24-bit top-right", kColours, {.from_top = true, .from_right = true}),
      tga("32-bit", kAlphaColours, {.bits = 32, .attribute_bits = 8}, true),
      tga("32-bit RLE top-right", kAlphaColours, {.run_length = true, .bits = 32, .from_top = true, .from_right = true}, true, 13, 4),
      tga("24-bit RLE", kColours, {.run_length = true}, false, 13, 4),
      tga("16-bit", quantise_all(kColours, 5, 5, 5, 0), {.bits = 16}),
      tga("15-bit RLE", quantise_all(kColours, 5, 5, 5, 0), {.run_length = true, .bits = 15}, false, 13, 4),
      tga("16-bit alpha bit", c1555, {.bits = 16, .attribute_bits = 1}, true),
      tga("grey", kGreys, {.type = 3, .bits = 8}),
      tga("grey RLE bottom-right", kGreys, {.type = 3, .run_length = true, .bits = 8, .from_right = true}, false, 13, 4),
      tga("grey and alpha", kGreyAlphas, {.type = 3, .bits = 16}, true),
      tga("mapped 24-bit entries", kColours, {.type = 1, .bits = 8}),
      tga("mapped RLE 32-bit entries", kAlphaColours, {.type = 1, .run_length = true, .bits = 8, .map_entry_bits = 32}, true, 13, 4),
      tga("mapped 16-bit entries", quantise_all(kColours, 5, 5, 5, 0), {.type = 1, .bits = 8, .map_entry_bits = 16}),
      tga("mapped 16-bit indices, first entry 300", kColours, {.type = 1, .bits = 16, .map_first = 300}),
      tga("mapped first entry 5", kColours, {.type = 1, .bits = 8, .map_first = 5, .from_top = true}),
      tga("with image id", kColours, {.id_bytes = 7}),
      tga("true colour with a colour map", kColours, {.stray_map_entries = 4}),
  };
  return v;
}

std::string hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", v);
  return text;
}

::testing::AssertionResult same_picture(const texload::Image& image, const Picture& picture) {
  if (image.width != picture.width || image.height != picture.height) {
    return ::testing::AssertionFailure() << "size " << image.width << "x" << image.height;
  }
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t got = image.texels[static_cast<size_t>(y) * picture.width + x];
      if (got != picture.at(x, y)) {
        return ::testing::AssertionFailure() << "texel (" << x << "," << y << ") is " << hex(got)
                                             << ", expected " << hex(picture.at(x, y));
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(TexloadDecode, EveryVariantDecodesTexelForTexel) {
  for (const Variant& v : variants()) {
    SCOPED_TRACE(v.name);
    // The pattern must tell a mirrored decode from a right one.
    ASSERT_NE(v.picture.texels, v.picture.mirrored(true, false).texels);
    ASSERT_NE(v.picture.texels, v.picture.mirrored(false, true).texels);
    texload::Image image;
    ASSERT_EQ(texload::decode_image(v.file.data(), v.file.size(), image), ImageError::kNone);
    EXPECT_TRUE(same_picture(image, v.picture));
    EXPECT_EQ(image.has_alpha, v.has_alpha);
  }
}

TEST(TexloadDecode, TruncationNeverYieldsAWrongPicture) {
  // Every prefix of every file either decodes to the whole picture (only
  // possible when what is cut is an end marker) or is refused.
  for (const Variant& v : variants()) {
    SCOPED_TRACE(v.name);
    for (size_t size = 0; size < v.file.size(); ++size) {
      texload::Image image;
      ImageError error = texload::decode_image(v.file.data(), size, image);
      if (error == ImageError::kNone) {
        ASSERT_TRUE(same_picture(image, v.picture)) << "prefix of " << size << " bytes";
      } else {
        ASSERT_TRUE(image.texels.empty());
      }
    }
  }
}

TEST(TexloadDecode, MissingPixelBytesAreReportedAsTruncation) {
  for (const Variant& v : variants()) {
    SCOPED_TRACE(v.name);
    texload::Image image;
    EXPECT_EQ(texload::decode_image(v.file.data(), v.file.size() * 3 / 4, image),
              ImageError::kTruncated);
  }
}

// Hand-written files for the orientation rules, so that a writer and a
// reader sharing one mistake cannot hide it. Each picture is 2x2 and its
// stored first pixel is 0x0000FF (blue, stored BGR), the others red, green, white.
TEST(TexloadDecode, StoredRowOrderFollowsTheHeader) {
  const std::vector<uint8_t> bmp_header = {
      'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
      40, 0, 0, 0, 2, 0, 0, 0,                          // info header, width 2
  };
  const std::vector<uint8_t> bmp_rest = {1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0,
                                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                         // rows: blue red (pad), green white (pad)
                                         0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF,
                                         0xFF, 0, 0};
  auto bmp_file = [&](int32_t height) {
    std::vector<uint8_t> f = bmp_header;
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(static_cast<uint32_t>(height) >> (8 * i)));
    f.insert(f.end(), bmp_rest.begin(), bmp_rest.end());
    return f;
  };
  auto tga_file = [](uint8_t descriptor) {
    std::vector<uint8_t> f = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, descriptor,
                              0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF};
    return f;
  };
  constexpr uint32_t B = 0xFF0000FF, R = 0xFFFF0000, G = 0xFF00FF00, W = 0xFFFFFFFF;
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    std::vector<uint32_t> top_first;
  } cases[] = {
      {"bmp bottom-up", bmp_file(2), {G, W, B, R}},
      {"bmp top-down", bmp_file(-2), {B, R, G, W}},
      {"tga bottom-left", tga_file(0x00), {G, W, B, R}},
      {"tga bottom-right", tga_file(0x10), {W, G, R, B}},
      {"tga top-left", tga_file(0x20), {B, R, G, W}},
      {"tga top-right", tga_file(0x30), {R, B, W, G}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    texload::Image image;
    ASSERT_EQ(texload::decode_image(c.file.data(), c.file.size(), image), ImageError::kNone);
    EXPECT_EQ(image.texels, c.top_first);
  }
}

TEST(TexloadDecode, RleEscapesAndOutOfPaletteIndicesGiveBlackNotGarbage) {
  // 4x3 RLE8, two palette entries: row 0 (bottom) starts with two texels
  // of index 1, a delta (1 right, 1 up) moves to x=3 of row 1, which gets
  // index 7 (past the palette), a texel past the right edge is dropped, then
  // the bitmap ends; row 2 is never reached.
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,
                            40, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
                            0x30, 0x20, 0x10, 0, 0xFF, 0xFF, 0xFF, 0,  // palette
                            2, 1, 0, 2, 1, 1, 1, 7, 1, 1, 0, 1};
  texload::Image image;
  ASSERT_EQ(texload::decode_image(f.data(), f.size(), image), ImageError::kNone);
  constexpr uint32_t K = 0xFF000000, W = 0xFFFFFFFF, P = 0xFF102030;
  // Top row first; the texel of index 7 is black, unreached texels index 0.
  EXPECT_EQ(image.texels, (std::vector<uint32_t>{P, P, P, P,  //
                                                 P, P, P, K,  //
                                                 W, W, P, P}));
}

TEST(TexloadDecode, AlphaThatIsZeroThroughoutCountsAsOpaque) {
  const uint32_t k8888[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  Picture transparent = pattern_picture(5, 3, {0x00102030, 0x00F0E0D0, 0x00FF00FF});
  BmpLayout layout{.bits = 32};
  std::copy(k8888, k8888 + 4, layout.masks);
  const std::vector<std::vector<uint8_t>> files = {
      texload_test::write_bmp(transparent, layout),
      texload_test::write_tga(transparent, {.bits = 32}),
  };
  for (const auto& file : files) {
    texload::Image image;
    ASSERT_EQ(texload::decode_image(file.data(), file.size(), image), ImageError::kNone);
    EXPECT_FALSE(image.has_alpha);
    EXPECT_EQ(image.texels[0], 0xFF102030u);
  }
}

std::vector<uint8_t> with_u32(std::vector<uint8_t> file, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
  return file;
}
std::vector<uint8_t> with_u16(std::vector<uint8_t> file, size_t at, uint32_t value) {
  file[at] = static_cast<uint8_t>(value);
  file[at + 1] = static_cast<uint8_t>(value >> 8);
  return file;
}

TEST(TexloadDecode, BadHeadersAreRefusedWithTheirReason) {
  const Picture p = pattern_picture(5, 3, kColours);
  const auto b24 = texload_test::write_bmp(p, {});
  const auto b8 = texload_test::write_bmp(p, {.bits = 8});
  BmpLayout fields{.bits = 16, .compression = 3};
  std::copy_n(std::array<uint32_t, 4>{0xF800, 0x07E0, 0x001F, 0}.data(), 4, fields.masks);
  const auto b16 = texload_test::write_bmp(pattern_picture(5, 3, quantise_all(kColours, 5, 6, 5, 0)), fields);
  const auto t24 = texload_test::write_tga(p, {});
  const auto t8 = texload_test::write_tga(p, {.type = 1, .bits = 8});
  const std::string text = "hello, this is not a picture";
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    ImageError error;
  } cases[] = {
      {"empty", {}, ImageError::kEmpty},
      {"text", {text.begin(), text.end()}, ImageError::kUnknownFormat},
      {"bmp file header only", {b24.begin(), b24.begin() + 14}, ImageError::kTruncated},
      {"bmp width 4097", with_u32(b24, 18, 4097), ImageError::kTooLarge},
      {"bmp height -4097", with_u32(b24, 22, static_cast<uint32_t>(-4097)), ImageError::kTooLarge},
      {"bmp height INT_MIN", with_u32(b24, 22, 0x80000000u), ImageError::kTooLarge},
      {"bmp 4096x4096 in a small file", with_u32(with_u32(b24, 18, 4096), 22, 4096), ImageError::kTruncated},
      {"bmp width 0", with_u32(b24, 18, 0), ImageError::kCorrupt},
      {"bmp width negative", with_u32(b24, 18, static_cast<uint32_t>(-5)), ImageError::kCorrupt},
      {"bmp height 0", with_u32(b24, 22, 0), ImageError::kCorrupt},
      {"bmp 7 bits", with_u16(b24, 28, 7), ImageError::kCorrupt},
      {"bmp JPEG inside", with_u32(b24, 30, 4), ImageError::kUnsupported},
      {"bmp PNG inside", with_u32(b24, 30, 5), ImageError::kUnsupported},
      {"bmp RLE8 with 24 bits", with_u32(b24, 30, 1), ImageError::kCorrupt},
      {"bmp OS/2 2.x header", with_u32(b24, 14, 64), ImageError::kUnsupported},
      {"bmp pixels inside the header", with_u32(b24, 10, 20), ImageError::kCorrupt},
      {"bmp palette image without palette", with_u32(b8, 10, 54), ImageError::kCorrupt},
      {"bmp split red mask", with_u32(b16, 54, 0xF0F0), ImageError::kCorrupt},
      {"bmp no red mask", with_u32(b16, 54, 0), ImageError::kCorrupt},
      {"tga width 4097", with_u16(t24, 12, 4097), ImageError::kTooLarge},
      {"tga 4096x4096 in a small file", with_u16(with_u16(t24, 12, 4096), 14, 4096), ImageError::kTruncated},
      {"tga width 0", with_u16(t24, 12, 0), ImageError::kUnknownFormat},
      {"tga image type 0", with_u16(t24, 2, 0), ImageError::kUnknownFormat},
      {"tga 20 bits", with_u16(t24, 16, 20), ImageError::kUnknownFormat},
      {"tga mapped without map", with_u16(t8, 1, 0x0100), ImageError::kUnknownFormat},
      {"tga interleaved rows", with_u16(t24, 16, 0x4018), ImageError::kUnsupported},
      {"tga map past the end", with_u16(t8, 5, 60000), ImageError::kTruncated},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    texload::Image image;
    EXPECT_EQ(texload::decode_image(c.file.data(), c.file.size(), image), c.error);
    EXPECT_TRUE(image.texels.empty());
  }
}

TEST(TexloadDecode, TheLargestSideAllowedStillLoads) {
  const Picture wide = pattern_picture(texload::kMaxImageSide, 1, kColours);
  const Picture tall = pattern_picture(1, texload::kMaxImageSide, kColours);
  for (const auto& file : {texload_test::write_bmp(wide, {.bits = 8}),
                           texload_test::write_tga(tall, {.run_length = true})}) {
    texload::Image image;
    EXPECT_EQ(texload::decode_image(file.data(), file.size(), image), ImageError::kNone);
  }
}

}  // namespace
