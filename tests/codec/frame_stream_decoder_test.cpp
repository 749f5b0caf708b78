// The frame-stream decoder: fast table, code tree, bit order and stop rules,
// checked against the format's examples and against a plain one-bit-at-a-
// time model of the decoder on random codes and streams.
#include <algorithm>
#include <cstring>
#include <random>

#include "codec_test_util.h"

namespace {

using codec::FastCodeEntry;
using codec::HuffmanCode;

// A record from a code given symbol by symbol.
struct Code {
  struct Entry {
    int symbol;
    uint32_t value;
    int length;
  };
  std::vector<Entry> entries;
  HuffmanCode description() const {
    HuffmanCode c;
    for (const Entry& e : entries) {
      c.values[e.symbol] = e.value;
      c.lengths[e.symbol] = static_cast<uint8_t>(e.length);
    }
    return c;
  }
};

// Decodes a record and returns what the decoder produced.
std::vector<uint8_t> run(const std::vector<uint8_t>& record, int32_t size = -1) {
  codec::FrameDecoder.LoadCodeDescription(record.data(),
                                          size < 0 ? static_cast<int32_t>(record.size()) : size);
  const uint8_t* out = codec::FrameDecoder.DecodeStream();
  return {out, out + codec::FrameDecoder.produced_bytes()};
}

TEST(FastTable, ShortCodesFillEveryIndexTheirReversedBitsSelect) {
  struct Case {
    const char* name;
    uint32_t value;
    int length;
    int first;   // lowest index filled
    int stride;  // between filled indices
  };
  const Case cases[] = {
      {"1-bit value 1: odd indices", 1, 1, 1, 2},
      {"1-bit value 0: even indices", 0, 1, 0, 2},
      {"3-bit value 6 (bits 1,1,0)", 6, 3, 3, 8},
      {"10-bit code: one entry, its value read backwards", 0x2C1, 10, 0x20D, 1024},
      {"value bits above the length are ignored", 0xFFFFFFF2u, 2, 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t values[256] = {};
    uint8_t lengths[256] = {};
    values[42] = c.value;
    lengths[42] = static_cast<uint8_t>(c.length);
    FastCodeEntry table[codec::kFastTableSize];
    EXPECT_TRUE(codec::BuildFastTable(values, lengths, table));
    int filled = 0;
    for (int i = 0; i < codec::kFastTableSize; ++i) {
      const bool expected = i >= c.first && (i - c.first) % c.stride == 0;
      EXPECT_EQ(table[i].length, expected ? c.length : 0) << "index " << i;
      if (expected) {
        EXPECT_EQ(table[i].symbol, 42);
      }
      filled += table[i].length != 0;
    }
    EXPECT_EQ(filled, codec::kFastTableSize / c.stride);
  }
}

TEST(FastTable, LaterSymbolWinsASharedEntryAndLongCodesStayOut) {
  uint32_t values[256] = {};
  uint8_t lengths[256] = {};
  values[3] = 1, lengths[3] = 1;     // odd indices
  values[200] = 1, lengths[200] = 2; // stream bits 0,1: indices 2 mod 4
  values[9] = 3, lengths[9] = 2;     // stream bits 1,1: indices 3 mod 4, also claimed by 3
  values[10] = 0, lengths[10] = 11;  // never in the table
  FastCodeEntry table[codec::kFastTableSize];
  EXPECT_FALSE(codec::BuildFastTable(values, lengths, table));
  EXPECT_EQ(table[1].symbol, 3);
  EXPECT_EQ(table[3].symbol, 9);
  EXPECT_EQ(table[2].symbol, 200);
  EXPECT_EQ(table[0].length, 0);
}

TEST(FrameStreamDecoder, ThreeSymbolExampleDecodesInStreamBitOrder) {
  codec_test::init_codec();
  const Code code{{{1, 1, 1}, {2, 1, 2}, {3, 0, 2}}};
  const uint8_t stream[] = {0x05};
  EXPECT_EQ(run(codec::write_frame_record(3, code.description(), stream)),
            (std::vector<uint8_t>{1, 2, 3}));
}

TEST(FrameStreamDecoder, ElevenBitCodeConsumesElevenBitsAtEveryBitOffset) {
  codec_test::init_codec();
  // Symbol 9 is "1", symbol 7 is "0" then ten more bits: prefix-free, so
  // decoding lines up only if the walk consumed exactly 11 bits.
  const Code code{{{9, 1, 1}, {7, 0x2B5, 11}, {8, 0x3FE, 11}}};
  for (int lead = 0; lead < 8; ++lead) {
    SCOPED_TRACE(lead);
    std::vector<uint8_t> decoded(static_cast<size_t>(lead), 9);
    for (uint8_t s : {7, 9, 8, 7, 7, 9}) decoded.push_back(s);
    const HuffmanCode c = code.description();
    const auto stream = codec::encode_bit_stream(decoded, c);
    EXPECT_EQ(run(codec::write_frame_record(static_cast<int32_t>(decoded.size()), c, stream)),
              decoded);
  }
}

TEST(FrameStreamDecoder, FailedTreeWalkEmitsTheReachedNodesSymbolWithoutConsuming) {
  codec_test::init_codec();
  struct Case {
    const char* name;
    Code code;
    std::vector<uint8_t> stream;
    int32_t decoded_length;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      // Only "1..." codes exist: a 0 bit fails at the root, which holds the
      // largest symbol without a code; nothing is consumed, so it repeats.
      {"root fails: largest uncoded symbol, repeated", Code{{{3, 0x400, 11}}}, {0x00}, 4,
       {255, 255, 255, 255}},
      {"every symbol coded: root symbol 0", Code{}, {0x00}, 2, {0, 0}},
      // Ten 1 bits then a 0 where only "11111111111" exists: the walk stops
      // at an inner node (symbol 0) after ten bits, then the root fails.
      {"walk stops inside the tree", Code{{{5, 0x7FF, 11}}}, {0xFF, 0x03}, 3, {0, 255, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HuffmanCode d = c.code.description();
    if (c.code.entries.empty()) {
      // 256 codes of 11 bits, all starting with a 1.
      for (int s = 0; s < 256; ++s) d.values[s] = 0x400 | static_cast<uint32_t>(s), d.lengths[s] = 11;
    }
    EXPECT_EQ(run(codec::write_frame_record(c.decoded_length, d, c.stream)), c.expected);
  }
}

TEST(FrameStreamDecoder, StopRules) {
  codec_test::init_codec();
  // Symbol 1 "0", symbol 2 "1": one bit each.
  const HuffmanCode two = Code{{{1, 0, 1}, {2, 1, 1}}}.description();
  struct Case {
    const char* name;
    int32_t decoded_length;
    std::vector<uint8_t> stream;
    size_t expected_count;
  };
  const Case cases[] = {
      {"stream ends on a byte boundary before decodedLength", 20, {0xA5}, 8},
      {"decodedLength reached with bits left", 3, {0xA5, 0xFF}, 3},
      {"decodedLength 0", 0, {0xA5}, 0},
      {"negative decodedLength", -5, {0xA5}, 0},
      {"no stream bytes", 10, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(codec::write_frame_record(c.decoded_length, two, c.stream)).size(),
              c.expected_count);
  }
}

TEST(FrameStreamDecoder, BytesPastTheStreamReadAsZeroNotAsTheNextRecord) {
  codec_test::init_codec();
  // Symbol 6's 10-bit code starts in the last stream byte: its last six bits
  // lie past the stream. They must read as 0 even though the memory after
  // the record holds ones.
  const Code code{{{4, 0xC, 4}, {6, 0x280, 10}, {1, 0x281, 10}}};
  // Stream bits: 1,1,0,0 (symbol 4) then 1,0,1,0 and six zeros (symbol 6).
  std::vector<uint8_t> record = codec::write_frame_record(5, code.description(), {{0x53}});
  const int32_t size = static_cast<int32_t>(record.size());
  record.insert(record.end(), 16, 0xFF);
  EXPECT_EQ(run(record, size), (std::vector<uint8_t>{4, 6}));
}

TEST(FrameStreamDecoder, RefusedDescriptionsDecodeNothingAndLeaveTheStream) {
  codec_test::init_codec();
  const HuffmanCode two = Code{{{1, 0, 1}, {2, 1, 1}}}.description();
  struct Case {
    const char* name;
    int32_t decoded_length;
    int code_length_of_symbol_3;
    int32_t cut;  // bytes cut from the record's end
    codec::FrameError expected;
  };
  const Case cases[] = {
      {"record of 1283 bytes", 4, 0, 2, codec::FrameError::kRecordTooShort},
      {"code length 33", 4, 33, 0, codec::FrameError::kCodeLengthTooLong},
      {"code length 255", 4, 255, 0, codec::FrameError::kCodeLengthTooLong},
      {"decodedLength 640001", 640001, 0, 0, codec::FrameError::kDecodedLengthTooLong},
      {"decodedLength 640000 is allowed", 640000, 0, 0, codec::FrameError::kNone},
      {"code length 32 is allowed", 4, 32, 0, codec::FrameError::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HuffmanCode code = two;
    code.lengths[3] = static_cast<uint8_t>(c.code_length_of_symbol_3);
    std::vector<uint8_t> record = codec::write_frame_record(c.decoded_length, code, {{0xF0}});
    std::memset(codec::DecodedStream, 0xEE, 16);
    const auto error = codec::FrameDecoder.LoadCodeDescription(
        record.data(), static_cast<int32_t>(record.size()) - c.cut);
    EXPECT_EQ(error, c.expected);
    codec::FrameDecoder.DecodeStream();
    if (c.expected != codec::FrameError::kNone) {
      EXPECT_EQ(codec::FrameDecoder.produced_bytes(), 0);
      EXPECT_EQ(codec::DecodedStream[0], 0xEE);
    } else {
      EXPECT_EQ(codec::FrameDecoder.produced_bytes(), std::min(c.decoded_length, 8));
    }
  }
}

TEST(FrameStreamDecoder, RecordOfOnlyTheDescriptionLeavesTheStreamUntouched) {
  codec_test::init_codec();
  std::memset(codec::DecodedStream, 0x5A, 64);
  const HuffmanCode two = Code{{{1, 0, 1}, {2, 1, 1}}}.description();
  const auto record = codec::write_frame_record(30, two, {});
  ASSERT_EQ(record.size(), 1284u);
  EXPECT_TRUE(run(record).empty());
  for (int i = 0; i < 64; ++i) ASSERT_EQ(codec::DecodedStream[i], 0x5A);
}

// ---- The decoder against a model that follows the format one bit at a time.

struct ModelNode {
  uint8_t symbol = 0;
  int one = -1, zero = -1;
};

// Returns the produced count; writes into `out` (prefilled by the caller).
int32_t model_decode(const std::vector<uint8_t>& record, std::vector<uint8_t>& out) {
  auto le32 = [&](size_t at) {
    return static_cast<uint32_t>(record[at] | record[at + 1] << 8 | record[at + 2] << 16 |
                                 static_cast<uint32_t>(record[at + 3]) << 24);
  };
  const int32_t wanted = static_cast<int32_t>(le32(0));
  const int64_t length = static_cast<int64_t>(record.size()) - 1284;
  FastCodeEntry fast[1024] = {};
  std::vector<ModelNode> tree(1);
  for (int s = 0; s < 256; ++s) {
    const uint32_t v = le32(4 + 4 * static_cast<size_t>(s));
    const int l = record[1028 + static_cast<size_t>(s)];
    if (l == 0) {
      tree[0].symbol = static_cast<uint8_t>(s);
    } else if (l <= 10) {
      uint32_t r = 0;
      for (int i = 0; i < l; ++i) r |= ((v >> (l - 1 - i)) & 1u) << i;
      for (uint32_t i = r; i < 1024; i += 1u << l) fast[i] = {static_cast<uint8_t>(s), static_cast<uint8_t>(l)};
    } else {
      int node = 0;
      for (int j = l - 1; j >= 0; --j) {
        const bool bit = (v >> j) & 1u;
        int next = bit ? tree[static_cast<size_t>(node)].one : tree[static_cast<size_t>(node)].zero;
        if (next < 0) {
          tree.emplace_back();
          next = static_cast<int>(tree.size() - 1);
          (bit ? tree[static_cast<size_t>(node)].one : tree[static_cast<size_t>(node)].zero) = next;
        }
        node = next;
      }
      tree[static_cast<size_t>(node)].symbol = static_cast<uint8_t>(s);
    }
  }
  auto byte = [&](int64_t p) -> uint32_t { return p < length ? record[1284 + static_cast<size_t>(p)] : 0; };
  int64_t p = 0;
  int b = 0;
  int32_t n = 0;
  while (n < wanted && p < length) {
    const uint32_t word = byte(p) | byte(p + 1) << 8 | byte(p + 2) << 16 | byte(p + 3) << 24;
    const FastCodeEntry e = fast[(word >> b) & 0x3FF];
    uint8_t symbol;
    if (e.length != 0) {
      symbol = e.symbol;
      b += e.length;
      p += b >> 3;
      b &= 7;
    } else {
      int node = 0;
      for (;;) {
        const int next = ((byte(p) >> b) & 1u) ? tree[static_cast<size_t>(node)].one
                                              : tree[static_cast<size_t>(node)].zero;
        if (next < 0) break;
        node = next;
        if (++b == 8) b = 0, ++p;
      }
      symbol = tree[static_cast<size_t>(node)].symbol;
    }
    out[static_cast<size_t>(n++)] = symbol;
  }
  return n;
}

TEST(FrameStreamDecoder, MatchesTheBitByBitModelOnRandomCodesAndStreams) {
  codec_test::init_codec();
  std::mt19937 random(1234);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  std::vector<uint8_t> model(codec::kDecodedStreamBytes);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    HuffmanCode code;
    std::vector<uint8_t> stream;
    int32_t decoded_length;
    const int kind = trial % 3;
    if (kind == 0) {
      // Prefix-free codes of the writer, sometimes with long codes: the
      // decoder's two-symbol fast path applies.
      codec::SymbolCounts counts{};
      const int used = uniform(1, 256);
      for (int i = 0; i < used; ++i) counts[static_cast<size_t>(uniform(0, 255))] += static_cast<uint64_t>(uniform(1, 1 << uniform(0, 16)));
      code = codec::build_huffman_code(counts, uniform(8, 20));
      std::vector<uint8_t> decoded;
      for (int i = 0, count = uniform(0, 5000); i < count; ++i) {
        int s;
        do s = uniform(0, 255); while (code.lengths[static_cast<size_t>(s)] == 0);
        decoded.push_back(static_cast<uint8_t>(s));
      }
      stream = codec::encode_bit_stream(decoded, code);
      if (uniform(0, 3) == 0 && !stream.empty()) stream.resize(static_cast<size_t>(uniform(0, static_cast<int>(stream.size()))));
      decoded_length = static_cast<int32_t>(decoded.size()) + uniform(-3, 3);
    } else {
      // Arbitrary descriptions: overlapping codes, missing codes, long ones.
      for (int s = 0; s < 256; ++s) {
        if (uniform(0, 2) == 0) {
          code.lengths[static_cast<size_t>(s)] = static_cast<uint8_t>(uniform(1, kind == 1 ? 12 : 32));
          code.values[static_cast<size_t>(s)] = static_cast<uint32_t>(random());
        }
      }
      stream.resize(static_cast<size_t>(uniform(0, 3000)));
      for (auto& b : stream) b = static_cast<uint8_t>(random() & (uniform(0, 1) ? 0xFF : 0x0F));
      decoded_length = uniform(-2, 6000);
    }
    const auto record = codec::write_frame_record(decoded_length, code, stream);
    // The stale bytes past the output must be what was there before.
    const uint8_t fill = static_cast<uint8_t>(trial);
    std::memset(codec::DecodedStream, fill, 8192);
    std::fill(model.begin(), model.begin() + 8192, fill);
    const int32_t expected_count = model_decode(record, model);
    const auto produced = run(record);
    ASSERT_EQ(static_cast<int32_t>(produced.size()), expected_count);
    ASSERT_EQ(std::memcmp(codec::DecodedStream, model.data(), 8192), 0);
  }
}

}  // namespace

namespace {

// Codes the fast path sees in pieces: prefix-free but incomplete (windows
// whose tree walk stops early, or at the root), codes of 11 and 12 bits next
// to short ones, and a tree that must shrink again after a frame with many
// long codes. Each case decodes random bytes against the bit-by-bit model,
// frame after frame through the same decoder.
struct PieceCase {
  const char* name;
  int max_length;       // of the writer's code
  int dropped_symbols;  // codes removed afterwards (prefix-free, incomplete)
  bool zero_bytes;      // streams mostly of zero bits: long runs down one branch
};

TEST(FrameStreamDecoder, IncompleteAndLongPrefixFreeCodesMatchTheModelFrameAfterFrame) {
  codec_test::init_codec();
  const PieceCase cases[] = {
      {"complete, up to 12 bits", 12, 0, false},
      {"complete, up to 20 bits", 20, 0, false},
      {"a few codes missing", 14, 3, false},
      {"most codes missing", 16, 200, false},
      {"missing codes, zero-heavy stream", 16, 40, true},
  };
  std::mt19937 random(77);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  std::vector<uint8_t> model(codec::kDecodedStreamBytes);
  for (int frame = 0; frame < 60; ++frame) {
    const PieceCase& c = cases[frame % std::size(cases)];
    SCOPED_TRACE(std::string(c.name) + ", frame " + std::to_string(frame));
    codec::SymbolCounts counts{};
    for (int s = 0; s < 256; ++s) {
      counts[static_cast<size_t>(s)] = static_cast<uint64_t>(uniform(1, 1 << uniform(0, 18)));
    }
    HuffmanCode code = codec::build_huffman_code(counts, c.max_length);
    for (int i = 0; i < c.dropped_symbols; ++i) code.lengths[static_cast<size_t>(uniform(0, 255))] = 0;
    std::vector<uint8_t> stream(static_cast<size_t>(uniform(16, 6000)));
    for (auto& b : stream) b = static_cast<uint8_t>(c.zero_bytes && uniform(0, 3) != 0 ? 0 : random());
    const auto record = codec::write_frame_record(uniform(0, 9000), code, stream);
    const uint8_t fill = static_cast<uint8_t>(frame * 37);
    std::memset(codec::DecodedStream, fill, 12000);
    std::fill(model.begin(), model.begin() + 12000, fill);
    const int32_t expected_count = model_decode(record, model);
    const auto produced = run(record);
    ASSERT_EQ(static_cast<int32_t>(produced.size()), expected_count);
    ASSERT_EQ(std::memcmp(codec::DecodedStream, model.data(), 12000), 0);
  }
}

}  // namespace
