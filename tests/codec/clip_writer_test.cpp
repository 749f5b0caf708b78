// The clip writer: length-limited canonical codes, and records and clip files
// that read back through the decoder and the clip file access.
#include <random>
#include <stdexcept>

#include "codec_test_util.h"

namespace {

using codec::HuffmanCode;
using codec::SymbolCounts;

// Bits of the optimal unlimited code: the sum of all merged weights.
uint64_t optimal_bits(const SymbolCounts& counts) {
  std::vector<uint64_t> w;
  for (uint64_t c : counts) {
    if (c) w.push_back(c);
  }
  if (w.size() == 1) return w[0];
  uint64_t total = 0;
  std::sort(w.begin(), w.end(), std::greater<>());
  while (w.size() > 1) {
    const uint64_t merged = w[w.size() - 1] + w[w.size() - 2];
    w.resize(w.size() - 2);
    w.insert(std::upper_bound(w.begin(), w.end(), merged, std::greater<>()), merged);
    total += merged;
  }
  return total;
}

bool is_prefix(const HuffmanCode& c, int a, int b) {
  if (c.lengths[a] > c.lengths[b]) return false;
  return (c.values[b] >> (c.lengths[b] - c.lengths[a])) == c.values[a];
}

TEST(HuffmanCode, LimitedCanonicalPrefixCodes) {
  struct Case {
    const char* name;
    std::vector<uint64_t> counts;  // symbol i gets counts[i % size] (0 = unused)
    int used;                      // symbols 0..used-1
    int max_length;
    bool optimal;  // the limit does not bind
  };
  std::vector<uint64_t> fibonacci{1, 1};
  while (fibonacci.size() < 40) fibonacci.push_back(fibonacci[fibonacci.size() - 1] + fibonacci[fibonacci.size() - 2]);
  const Case cases[] = {
      {"one symbol: a 1-bit code", {5}, 1, 16, true},
      {"two symbols", {5, 1}, 2, 16, true},
      {"uniform 256: all 8 bits", {1}, 256, 16, true},
      {"256 symbols with the tightest limit", {1, 1000, 3, 70000}, 256, 8, false},
      {"fibonacci counts unlimited reach 32 bits", fibonacci, 33, 32, true},
      {"fibonacci counts limited to 10 (all in the fast table)", fibonacci, 40, 10, false},
      {"fibonacci counts limited to 16", fibonacci, 40, 16, false},
      {"skewed 100 symbols limited to 7", {1000000, 1, 1, 2, 3}, 100, 7, false},
      {"sparse symbols", {0, 0, 7, 0, 9, 0, 0, 1}, 256, 12, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SymbolCounts counts{};
    for (int s = 0; s < c.used; ++s) counts[static_cast<size_t>(s)] = c.counts[static_cast<size_t>(s) % c.counts.size()];
    const HuffmanCode code = codec::build_huffman_code(counts, c.max_length);
    double kraft = 0;
    for (int s = 0; s < 256; ++s) {
      ASSERT_EQ(code.lengths[static_cast<size_t>(s)] != 0, counts[static_cast<size_t>(s)] != 0) << s;
      ASSERT_LE(code.lengths[static_cast<size_t>(s)], c.max_length);
      if (code.lengths[static_cast<size_t>(s)]) kraft += std::ldexp(1.0, -code.lengths[static_cast<size_t>(s)]);
    }
    EXPECT_LE(kraft, 1.0);
    for (int a = 0; a < 256; ++a) {
      for (int b = 0; b < 256; ++b) {
        if (a != b && code.lengths[static_cast<size_t>(a)] && code.lengths[static_cast<size_t>(b)]) {
          ASSERT_FALSE(is_prefix(code, a, b)) << a << " is a prefix of " << b;
        }
      }
    }
    if (c.optimal) {
      EXPECT_EQ(codec::coded_bits(counts, code), optimal_bits(counts));
    }
  }
}

TEST(HuffmanCode, ImpossibleLimitsAreRefused) {
  SymbolCounts all;
  all.fill(1);
  EXPECT_THROW(codec::build_huffman_code(all, 7), std::invalid_argument);
  EXPECT_THROW(codec::build_huffman_code(all, 0), std::invalid_argument);
  EXPECT_THROW(codec::build_huffman_code(all, 33), std::invalid_argument);
  SymbolCounts three{};
  three[1] = three[2] = three[3] = 1;
  EXPECT_THROW(codec::build_huffman_code(three, 1), std::invalid_argument);
  EXPECT_NO_THROW(codec::build_huffman_code(three, 2));
  EXPECT_THROW(codec::encode_bit_stream(std::vector<uint8_t>{4}, codec::build_huffman_code(three, 2)),
               std::invalid_argument);
}

TEST(FrameRecord, RoundTripsThroughTheDecoder) {
  codec_test::init_codec();
  std::mt19937 random(99);
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    // Skewed bytes, so that some codes run long.
    std::vector<uint8_t> decoded(static_cast<size_t>(random() % 20000));
    for (auto& b : decoded) b = static_cast<uint8_t>(std::min<uint32_t>(255, static_cast<uint32_t>(std::geometric_distribution<int>(0.05 + (trial % 5) * 0.2)(random))));
    const int max_length = 8 + trial % 25;
    const auto record = codec::encode_frame_record(decoded, max_length);
    codec::FrameDecoder.LoadCodeDescription(record.data(), static_cast<int32_t>(record.size()));
    const uint8_t* out = codec::FrameDecoder.DecodeStream();
    ASSERT_EQ(codec::FrameDecoder.produced_bytes(), static_cast<int32_t>(decoded.size()));
    ASSERT_TRUE(std::equal(decoded.begin(), decoded.end(), out));
  }
  EXPECT_THROW(codec::encode_frame_record(std::vector<uint8_t>(640001)), std::invalid_argument);
}

TEST(ClipFile, OffsetTableLocatesEveryRecord) {
  const std::vector<std::vector<uint8_t>> records = {{1, 2, 3}, {}, {4, 5, 6, 7, 8}};
  const auto file = codec::write_clip_file(records);
  ASSERT_EQ(file.size(), 4 + 4 * 4 + 8u);
  int32_t frames = 0;
  ASSERT_EQ(codec::read_clip_frame_count(file, &frames), codec::FrameError::kNone);
  EXPECT_EQ(frames, 3);
  for (int k = 0; k < 3; ++k) {
    std::span<const uint8_t> record;
    ASSERT_EQ(codec::locate_clip_frame(file, k, &record), codec::FrameError::kNone);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), records[static_cast<size_t>(k)].begin(),
                           records[static_cast<size_t>(k)].end()));
  }
  EXPECT_THROW(codec::write_clip_file({}), std::invalid_argument);
}

TEST(ClipFile, BrokenTablesAreRefused) {
  auto file_with = [](std::vector<int32_t> words, size_t payload) {
    std::vector<uint8_t> f;
    for (int32_t w : words) {
      for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(static_cast<uint32_t>(w) >> (8 * i)));
    }
    f.resize(f.size() + payload, 0);
    return f;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int32_t frame;
    codec::FrameError expected;
  };
  const Case cases[] = {
      {"empty file", {}, 0, codec::FrameError::kClipTooShort},
      {"three bytes", {2, 0, 0}, 0, codec::FrameError::kClipTooShort},
      {"entry count 1: no frames", file_with({1, 0}, 10), 0, codec::FrameError::kNoFrames},
      {"negative entry count", file_with({-5, 0, 0}, 10), 0, codec::FrameError::kNoFrames},
      {"table longer than the file", file_with({1000000, 0, 4}, 4), 0, codec::FrameError::kClipTooShort},
      {"huge entry count", file_with({0x7FFFFFFF, 0}, 0), 0, codec::FrameError::kClipTooShort},
      {"record past the end", file_with({2, 0, 11}, 10), 0, codec::FrameError::kFrameOutsideClip},
      {"negative offset", file_with({2, -4, 4}, 10), 0, codec::FrameError::kFrameOutsideClip},
      {"offsets going backwards", file_with({3, 0, 8, 4}, 10), 1, codec::FrameError::kFrameOutsideClip},
      {"frame number past the table", file_with({2, 0, 4}, 10), 1, codec::FrameError::kFrameOutsideClip},
      {"good", file_with({2, 0, 10}, 10), 0, codec::FrameError::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::span<const uint8_t> record;
    EXPECT_EQ(codec::locate_clip_frame(c.file, c.frame, &record), c.expected);
  }
}

TEST(DecodedStream, ResidualsPackLeftPixelInTheLowNibble) {
  std::vector<uint8_t> residuals;
  codec::append_block_residuals(residuals, {});
  const uint8_t nibbles[] = {1, 2, 15, 0};
  codec::append_block_residuals(residuals, nibbles);
  EXPECT_EQ(residuals, (std::vector<uint8_t>{1, 0, 0x21, 0x0F}));
  codec::FrameHeader h = codec_test::header(-2, 300, 0, -1, 8, 16, 5, 255, 0);
  uint8_t bytes[12];
  codec::write_frame_header(h, bytes);
  const codec::FrameHeader back = codec::read_frame_header(bytes);
  EXPECT_EQ(back.width, -2);
  EXPECT_EQ(back.height, 300);
  EXPECT_EQ(back.lumaBlockHeight, -1);
  EXPECT_EQ(back.chromaBlockHeight, 16);
  EXPECT_EQ(back.residualShift, 5);
  EXPECT_EQ(back.chromaMarker, 255);
  EXPECT_EQ(back.verticalInterpolation, 0);
}

}  // namespace
