// The colour conversion table, the conversion of a frame, and the start-up
// allocation that builds them.
#include <cstring>
#include <random>

#include "codec_test_util.h"

namespace {

TEST(ColourTable, EntriesOfTheFormat) {
  codec_test::init_codec();
  struct Case {
    const char* name;
    int y, cr, cb;
    uint16_t entry;
  };
  const Case cases[] = {
      {"black", 16, 32, 32, 0x0000},
      {"white: R = G = B = 254", 235, 32, 32, 0xFFFF},
      {"grey 130", 128, 32, 32, 0x8410},
      {"full Cr", 128, 63, 32, 0xF8F0},
      {"full Cb", 128, 32, 63, 0x829F},
      {"no chroma at all: green", 128, 0, 0, 0x07E0},
      {"shadow roll-off divides by 8", 8, 63, 63, 0x0802},
      {"Y 0 is black whatever the chroma", 0, 63, 0, 0x0000},
      {"Y 249 is white whatever the chroma", 249, 0, 63, 0xFFFF},
      {"Y 255 is white", 255, 63, 0, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(codec::ColourTable[c.y << 12 | c.cr << 6 | c.cb], c.entry);
    EXPECT_EQ(codec::colour_table_entry(c.y, c.cr, c.cb), c.entry);
  }
}

TEST(ColourTable, FastBuildMatchesTheEntryFormulaEverywhere) {
  codec_test::init_codec();
  int mismatches = 0;
  for (int y = 0; y < 256; ++y) {
    for (int cr = 0; cr < 64; ++cr) {
      for (int cb = 0; cb < 64; ++cb) {
        mismatches += codec::ColourTable[y << 12 | cr << 6 | cb] != codec::colour_table_entry(y, cr, cb);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ColourTable, HighlightRollOffStartsAt249) {
  codec_test::init_codec();
  auto all_white = [](int y) {
    for (int i = 0; i < 4096; ++i) {
      if (codec::ColourTable[y << 12 | i] != 0xFFFF) return false;
    }
    return true;
  };
  EXPECT_FALSE(all_white(248));
  for (int y = 249; y < 256; ++y) EXPECT_TRUE(all_white(y)) << y;
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(codec::ColourTable[i], 0) << i;
}

TEST(ConvertFrameToRgb16, PitchAndOutOfRangeChroma) {
  codec_test::init_codec();
  // Two rows of three pixels, {Y, Cr, Cb, ignored}, packed.
  const uint8_t pixels[] = {
      128, 32, 32, 99,  128, 63, 32, 0,  128, 32, 63, 0,
      // Chroma 64 and more: signed bytes clamped into 0..63.
      128, 64, 32, 0,   128, 200, 255, 0, 128, 127, 128, 0,
  };
  const uint16_t grey = 0x8410, red = 0xF8F0, blue = 0x829F;
  const uint16_t both_low = codec::colour_table_entry(128, 0, 0);
  const uint16_t cr_high_cb_low = codec::colour_table_entry(128, 63, 0);
  uint16_t out[2 * 5];
  std::fill(std::begin(out), std::end(out), 0xABCD);
  codec::ConvertFrameToRgb16(pixels, out, 10, 3, 2);  // pitch of 5 pixels
  const uint16_t expected[] = {grey, red, blue, 0xABCD, 0xABCD,
                               red,  both_low, cr_high_cb_low, 0xABCD, 0xABCD};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

TEST(InitClipCodec, RunsOutOfMemoryWithMinusOneAndNoTable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Each allocation in turn fails, in a fresh process (the buffers are
  // process-wide and never freed).
  for (int fail_at = 0; fail_at < 6; ++fail_at) {
    SCOPED_TRACE(fail_at);
    EXPECT_EXIT(
        {
          codec::faults.fail_allocation_after = fail_at;
          const int result = codec::InitClipCodec();
          // The allocations before the failing one stay.
          const bool kept = fail_at == 0 || codec::ColourTable != nullptr;
          std::exit(result == -1 && kept && codec::DecodedStream == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
  }
}

TEST(InitClipCodec, FailedFramePixelsAllocationFailsStartUpAndRefusesFrames) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // As if the allocation before main had failed.
        codec::FramePixels = nullptr;
        codec::faults.fail_allocation_after = 6;  // the seventh: the pixel buffer
        const int result = codec::InitClipCodec();
        const auto clip = codec::write_clip_file({codec::encode_frame_record(
            codec::assemble_decoded_stream(codec_test::flat_parts(
                codec_test::header(8, 8, 4, 4, 8, 8), 1, 2, 3)))});
        bool in_range = false;
        const auto error = codec::decode_clip_frame(clip, 0, &in_range);
        std::exit(result == -1 && error == codec::FrameError::kNotInitialised ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace

namespace {

TEST(ConvertFrameToRgb16, EveryPixelIsItsColourTableEntry) {
  codec_test::init_codec();
  std::mt19937 random(5);
  std::vector<uint8_t> pixels(256 * 256 * 4);
  for (size_t i = 0; i < pixels.size(); i += 4) {
    const uint32_t r = random();
    pixels[i] = static_cast<uint8_t>(r), pixels[i + 1] = (r >> 8) & 63, pixels[i + 2] = (r >> 16) & 63;
  }
  std::vector<uint16_t> out(256 * 256);
  codec::ConvertFrameToRgb16(pixels.data(), out.data(), 512, 256, 256);
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_EQ(out[i], codec::ColourTable[pixels[4 * i] << 12 | pixels[4 * i + 1] << 6 | pixels[4 * i + 2]]) << i;
  }
}

}  // namespace
