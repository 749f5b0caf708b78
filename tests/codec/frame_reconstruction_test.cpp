// Frame reconstruction: interpolation, residuals, raw luma, frames without
// chroma, the state carried between frames, and headers that are refused.
#include <cstring>
#include <random>

#include "codec_test_util.h"

namespace {

using codec::FrameError;
using codec::FrameParts;
using codec_test::cb_at;
using codec_test::cr_at;
using codec_test::header;
using codec_test::luma_at;

TEST(LumaInterpolation, HorizontalAndVerticalSteps) {
  codec_test::init_codec();
  struct Case {
    const char* name;
    std::vector<uint8_t> grid;  // 2 x 2 samples of one 4 x 4 block
    uint8_t vertical;
    std::vector<uint8_t> first_row, first_column;
  };
  const Case cases[] = {
      {"0 to 16 across: 0, 16, 32, 48", {0, 16, 0, 16}, 1, {0, 16, 32, 48}, {0, 0, 0, 0}},
      {"0 to 16 down", {0, 0, 16, 16}, 1, {0, 0, 0, 0}, {0, 16, 32, 48}},
      {"vertical interpolation off: every row is the upper grid row", {0, 0, 16, 16}, 0,
       {0, 0, 0, 0}, {0, 0, 0, 0}},
      {"falling: 63 to 0", {63, 0, 63, 0}, 1,
       {252, 189, 126, 63}, {252, 252, 252, 252}},
      {"signed samples: -1 is 252 after the byte wraps", {0xFF, 0xFF, 0xFF, 0xFF}, 1,
       {252, 252, 252, 252}, {252, 252, 252, 252}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameParts parts;
    parts.header = header(4, 4, 4, 4, 0, 0, 2, codec::kNoChromaMarker, c.vertical);
    parts.luma = c.grid;
    codec::append_block_residuals(parts.residuals, {});
    ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(parts)), FrameError::kNone);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(codec::FramePixels[i], c.first_row[static_cast<size_t>(i)]) << "x " << i;
      EXPECT_EQ(codec::FramePixels[i * 4], c.first_column[static_cast<size_t>(i)]) << "y " << i;
    }
  }
}

TEST(LumaResiduals, NibblesShiftedAndSubtractedInEightBits) {
  codec_test::init_codec();
  // A 2 x 1 block: the grid row 62, 63 interpolates to 248, 250.
  struct Case {
    const char* name;
    uint8_t residual;
    int shift;
    uint8_t left, right;
  };
  const Case cases[] = {
      {"0x88 leaves both at the base", 0x88, 2, 248, 250},
      {"low nibble 0 raises the left pixel by 32 and wraps", 0x80, 2, 24, 250},
      {"low nibble 15 lowers the left pixel by 28", 0x8F, 2, 220, 250},
      {"high nibble 0: 250 + 32 wraps to 26", 0x08, 2, 248, 26},
      {"shift 0", 0x79, 0, 247, 251},
      {"shift 7: -8 << 7 is 0 modulo 256", 0x00, 7, 248, 250},
      {"shift outside 0-7 is masked as x86 does, no fault", 0x80, 9, 248, 250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameParts parts;
    parts.header = header(2, 1, 2, 1, 0, 0, c.shift, codec::kNoChromaMarker);
    parts.luma = {62, 63, 62, 63};
    parts.residuals = {0, c.residual};
    ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(parts)), FrameError::kNone);
    EXPECT_EQ(codec::FramePixels[0], c.left);
    EXPECT_EQ(codec::FramePixels[1], c.right);
  }
}

// 8 x 4 frame of two 4 x 4 luma blocks and 8 x 4 chroma blocks: the chroma
// grids come out right only if the residual stream was consumed exactly.
TEST(LumaResiduals, SkippedBlockIsTheBaseAndTakesOneByte) {
  codec_test::init_codec();
  for (uint8_t flag : {1, 7, 255}) {
    SCOPED_TRACE(static_cast<int>(flag));
    FrameParts parts;
    parts.header = header(8, 4, 4, 4, 8, 4);
    parts.luma = {10, 20, 30, 10, 20, 30};
    parts.residuals = {flag};
    parts.residuals.push_back(0);
    for (int i = 0; i < 8; ++i) parts.residuals.push_back(0x88);
    parts.cr_grid = {5, 6, 5, 6};
    parts.cb_grid = {50, 50, 50, 50};
    ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(parts)), FrameError::kNone);
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(luma_at(x, 2), 40 + 10 * x);  // 40..80 then 80..120, step 10
      EXPECT_EQ(cr_at(x, 1), 5 + x / 8);
      EXPECT_EQ(cb_at(x, 3), 50);
    }
  }
}

TEST(FrameLayouts, RawLumaNoChromaAndTheFullSizedExample) {
  codec_test::init_codec();
  std::mt19937 random(7);

  // Raw luma with chroma: the chroma grids start width x height bytes after
  // the header.
  {
    FrameParts parts;
    parts.header = header(16, 8, 0, 99, 8, 8);
    for (int i = 0; i < 16 * 8; ++i) parts.luma.push_back(static_cast<uint8_t>(random()));
    parts.cr_grid.assign(3 * 2, 33);
    parts.cb_grid.assign(3 * 2, 31);
    ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(parts)), FrameError::kNone);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 16; ++x) {
        ASSERT_EQ(luma_at(x, y), parts.luma[static_cast<size_t>(y * 16 + x)]);
        ASSERT_EQ(cr_at(x, y), 33);
        ASSERT_EQ(cb_at(x, y), 31);
      }
    }
  }

  // No chroma: luma packed one byte a pixel, nothing else written.
  for (int luma_block : {0, 4}) {
    SCOPED_TRACE(luma_block);
    std::memset(codec::FramePixels, 0xCD, codec::kFramePixelBytes);
    FrameParts parts = codec_test::flat_parts(header(8, 8, luma_block, 4, 0, 0, 2, 255),
                                              luma_block ? 10 : 77, 0, 0);
    ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(parts)), FrameError::kNone);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(codec::FramePixels[i], luma_block ? 40 : 77);
    for (int i = 64; i < 1024; ++i) ASSERT_EQ(codec::FramePixels[i], 0xCD);
  }

  // 128 x 128, 4 x 4 luma and 8 x 8 chroma: a 33 x 33 grid, 1024 flags plus
  // 8 residual bytes for each flag 0, two 17 x 17 chroma grids.
  {
    FrameParts parts;
    parts.header = header(128, 128, 4, 4, 8, 8, 1);
    parts.luma.assign(33 * 33, 25);
    std::vector<uint8_t> block(16);
    for (int b = 0; b < 1024; ++b) {
      const bool coded = random() % 2;
      for (auto& n : block) n = static_cast<uint8_t>(random() % 16);
      codec::append_block_residuals(parts.residuals, coded ? std::span<const uint8_t>(block)
                                                           : std::span<const uint8_t>());
    }
    parts.cr_grid.assign(17 * 17, 63);
    parts.cb_grid.assign(17 * 17, 0);
    const auto decoded = codec::assemble_decoded_stream(parts);
    ASSERT_EQ(codec_test::decode_stream(decoded), FrameError::kNone);
    EXPECT_EQ(codec::grid_geometry.lumaGridColumns, 32);
    EXPECT_EQ(codec::grid_geometry.chromaGridRows, 16);
    for (int y = 0; y < 128; ++y) {
      for (int x = 0; x < 128; ++x) {
        ASSERT_EQ(cr_at(x, y), 63);
        ASSERT_EQ(cb_at(x, y), 0);
      }
    }
    // Block 0 is coded or not; its first pixel is 100 minus its residual.
    const uint8_t first_flag = parts.residuals[0];
    const int expected = first_flag ? 100 : 100 - (((parts.residuals[1] & 15) - 8) << 1);
    EXPECT_EQ(luma_at(0, 0), expected);
  }
}

TEST(CarriedOverState, GeometryAndShiftsPersistUntilAFrameUsesThem) {
  codec_test::init_codec();
  // A frame with 4 x 4 luma and 8 x 8 chroma blocks sets all four shifts.
  ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(
                codec_test::flat_parts(header(16, 16, 4, 4, 8, 8), 0, 32, 32))),
            FrameError::kNone);
  const codec::GridGeometry after_first = codec::grid_geometry;
  EXPECT_EQ(after_first.lumaShiftX, 2);
  EXPECT_EQ(after_first.chromaShiftY, 3);

  struct Case {
    const char* name;
    codec::FrameHeader header;
    codec::GridGeometry expected;
  };
  codec::GridGeometry raw_luma = after_first;  // luma untouched
  raw_luma.chromaGridColumns = 2, raw_luma.chromaGridRows = 4, raw_luma.chromaShiftY = 1;
  codec::GridGeometry no_chroma = after_first;  // chroma untouched
  no_chroma.lumaGridColumns = 8, no_chroma.lumaGridRows = 2;
  no_chroma.lumaShiftX = 1, no_chroma.lumaShiftY = 3;
  codec::GridGeometry odd_sizes = after_first;  // sizes 3 and 1 keep the shifts
  odd_sizes.lumaGridColumns = 5, odd_sizes.lumaGridRows = 16;
  odd_sizes.chromaGridColumns = 16, odd_sizes.chromaGridRows = 1, odd_sizes.chromaShiftY = 4;
  const Case cases[] = {
      {"raw luma leaves the luma geometry", header(16, 8, 0, 0, 8, 2), raw_luma},
      {"no chroma leaves the chroma geometry", header(16, 16, 2, 8, 0, 0, 2, 255), no_chroma},
      {"sizes other than 2, 4, 8, 16 keep the shifts", header(16, 16, 3, 1, 1, 16), odd_sizes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    codec::grid_geometry = after_first;
    ASSERT_EQ(codec_test::decode_stream(
                  codec::assemble_decoded_stream(codec_test::flat_parts(c.header, 8, 32, 32))),
              FrameError::kNone);
    const codec::GridGeometry& g = codec::grid_geometry;
    EXPECT_EQ(g.lumaGridColumns, c.expected.lumaGridColumns);
    EXPECT_EQ(g.lumaGridRows, c.expected.lumaGridRows);
    EXPECT_EQ(g.chromaGridColumns, c.expected.chromaGridColumns);
    EXPECT_EQ(g.chromaGridRows, c.expected.chromaGridRows);
    EXPECT_EQ(g.lumaShiftX, c.expected.lumaShiftX);
    EXPECT_EQ(g.lumaShiftY, c.expected.lumaShiftY);
    EXPECT_EQ(g.chromaShiftX, c.expected.chromaShiftX);
    EXPECT_EQ(g.chromaShiftY, c.expected.chromaShiftY);
  }

  // A 3-wide block interpolates with the carried shift of 2: quarter steps.
  FrameParts parts;
  parts.header = header(3, 1, 3, 1, 0, 0, 2, 255);
  codec::grid_geometry.lumaShiftX = 2;
  parts.luma = {0, 16, 0, 16};
  parts.residuals = {1};
  ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(parts)), FrameError::kNone);
  EXPECT_EQ(codec::FramePixels[0], 0);
  EXPECT_EQ(codec::FramePixels[1], 16);
  EXPECT_EQ(codec::FramePixels[2], 32);
}

TEST(CarriedOverState, ShortStreamReadsWhatTheLastFrameLeftInTheDecodedStream) {
  codec_test::init_codec();
  FrameParts parts = codec_test::flat_parts(header(16, 16, 4, 4, 8, 8), 20, 10, 50);
  const auto full = codec::assemble_decoded_stream(parts);
  std::memset(codec::FramePixels, 0, 16 * 16 * 4);  // byte 3 of a pixel is never written
  ASSERT_EQ(codec_test::decode_stream(full), FrameError::kNone);
  std::vector<uint8_t> first(codec::FramePixels, codec::FramePixels + 16 * 16 * 4);
  // Same frame, but its stream stops after the header although
  // decodedLength claims the whole frame: the rest is stale. Eight-bit codes
  // end the stream exactly on the header's last byte.
  codec::SymbolCounts counts;
  counts.fill(1);
  const codec::HuffmanCode flat = codec::build_huffman_code(counts, 8);
  const std::span<const uint8_t> head(full.data(), 12);
  const auto record = codec::write_frame_record(static_cast<int32_t>(full.size()), flat,
                                                codec::encode_bit_stream(head, flat));
  std::memset(codec::FramePixels, 0, 16 * 16 * 4);
  ASSERT_EQ(codec_test::decode(record), FrameError::kNone);
  EXPECT_EQ(std::memcmp(codec::FramePixels, first.data(), first.size()), 0);
}

TEST(BadHeaders, AreRefusedAndLeaveThePictureHeaderAndGeometry) {
  codec_test::init_codec();
  struct Case {
    const char* name;
    codec::FrameHeader header;
    FrameError expected;
  };
  const Case cases[] = {
      {"width 0", header(0, 16, 4, 4, 8, 8), FrameError::kBadFrameSize},
      {"negative height", header(16, -16, 4, 4, 8, 8), FrameError::kBadFrameSize},
      {"both negative (positive product)", header(-256, -256, 4, 4, 8, 8), FrameError::kBadFrameSize},
      {"257 x 256 pixels", header(257, 256, 1, 1, 1, 1), FrameError::kBadFrameSize},
      {"32767 x 3 pixels", header(32767, 3, 0, 0, 1, 1), FrameError::kBadFrameSize},
      {"negative luma block width", header(16, 16, -4, 4, 8, 8), FrameError::kBadBlockSize},
      {"luma block height 0", header(16, 16, 4, 0, 8, 8), FrameError::kBadBlockSize},
      {"chroma block width 0", header(16, 16, 4, 4, 0, 8), FrameError::kBadBlockSize},
      {"negative chroma block height", header(16, 16, 4, 4, 8, -8), FrameError::kBadBlockSize},
  };
  // A good frame first; every bad one must leave its results in place.
  const auto good = codec::assemble_decoded_stream(
      codec_test::flat_parts(header(16, 16, 4, 4, 8, 8), 30, 20, 40));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(codec_test::decode_stream(good), FrameError::kNone);
    const std::vector<uint8_t> picture(codec::FramePixels, codec::FramePixels + codec::kFramePixelBytes);
    const codec::GridGeometry geometry = codec::grid_geometry;
    std::vector<uint8_t> bad(good);
    codec::write_frame_header(c.header, bad.data());
    bad.resize(bad.size() + 70000, 0x11);  // enough bytes for the largest claims
    const auto record = codec::encode_frame_record(bad);
    EXPECT_EQ(codec::DecodeFrame(record.data(), codec::FramePixels,
                                 static_cast<int32_t>(record.size())),
              1);
    EXPECT_EQ(codec::last_frame_error(), c.expected);
    EXPECT_EQ(std::memcmp(codec::FramePixels, picture.data(), picture.size()), 0);
    EXPECT_EQ(codec::CurrentFrameHeader.width, 16);
    EXPECT_EQ(codec::grid_geometry.lumaGridColumns, geometry.lumaGridColumns);
    EXPECT_EQ(codec::grid_geometry.chromaShiftX, geometry.chromaShiftX);
  }
}

TEST(BadHeaders, UnusedBlockSizesAndBlocksThatDoNotDivideAreDecoded) {
  codec_test::init_codec();
  struct Case {
    const char* name;
    codec::FrameHeader header;
  };
  const Case cases[] = {
      {"chroma sizes 0 without chroma", header(16, 16, 4, 4, 0, -3, 2, 255)},
      {"luma height 0 with raw luma", header(16, 16, 0, 0, 8, 8)},
      {"blocks wider than the frame", header(16, 16, 32, 32, 64, 64)},
      {"10 x 6 frame, 4 x 4 blocks", header(10, 6, 4, 4, 4, 4)},
      {"odd luma block width", header(15, 15, 5, 3, 5, 3)},
      {"largest frame, one-pixel blocks", header(256, 256, 1, 1, 1, 1)},
      {"long thin frame", header(32767, 2, 2, 2, 16, 2)},
  };
  std::mt19937 random(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameParts parts = codec_test::flat_parts(c.header, 200, 100, 250);
    for (auto& b : parts.residuals) b = static_cast<uint8_t>(random() % 3);  // some flags 0
    auto decoded = codec::assemble_decoded_stream(parts);
    decoded.resize(decoded.size() + 40000, 0x77);
    EXPECT_EQ(codec_test::decode_stream(decoded), FrameError::kNone);
    EXPECT_EQ(codec::CurrentFrameHeader.width, c.header.width);
  }
}

}  // namespace

namespace {

// DecodeFrame interpolates both chroma grids in one pass when the blocks
// tile the width; that must give exactly what the two passes in turn give,
// ChromaRowBuffer included.
TEST(ChromaGrids, OnePassEqualsTheTwoPassesInTurn) {
  codec_test::init_codec();
  std::mt19937 random(11);
  struct Case {
    int width, height, block_width, block_height;
    uint8_t vertical;
  };
  const Case cases[] = {{256, 256, 8, 8, 1}, {128, 96, 4, 16, 1}, {64, 64, 16, 2, 0},
                        {256, 8, 2, 4, 1},   {32, 30, 8, 4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    codec::FrameParts parts = codec_test::flat_parts(
        header(c.width, c.height, 0, 0, c.block_width, c.block_height, 0, 0, c.vertical), 0, 0, 0);
    for (auto& v : parts.luma) v = static_cast<uint8_t>(random());
    for (auto& v : parts.cr_grid) v = static_cast<uint8_t>(random() % 64);
    for (auto& v : parts.cb_grid) v = static_cast<uint8_t>(random() % 64);
    ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(parts)), FrameError::kNone);
    // Rows below the last whole block row are not chroma's to write.
    const size_t bytes = static_cast<size_t>(c.width) * (c.height / c.block_height * c.block_height) * 4;
    const std::vector<uint8_t> one_pass(codec::FramePixels, codec::FramePixels + bytes);
    const std::vector<uint8_t> rows_after(codec::ChromaRowBuffer, codec::ChromaRowBuffer + 4096);
    std::memset(codec::FramePixels, 0, bytes);
    std::memcpy(codec::FramePixels, one_pass.data(), bytes);
    for (size_t i = 0; i < bytes; i += 4) codec::FramePixels[i + 1] = codec::FramePixels[i + 2] = 0xEE;
    codec::InterpolateChromaGrid(codec::FramePixels + 1, parts.cr_grid.data());
    codec::InterpolateChromaGrid(codec::FramePixels + 2, parts.cb_grid.data());
    EXPECT_EQ(std::memcmp(codec::FramePixels, one_pass.data(), bytes), 0);
    EXPECT_EQ(std::memcmp(codec::ChromaRowBuffer, rows_after.data(), rows_after.size()), 0);
  }
}

}  // namespace
