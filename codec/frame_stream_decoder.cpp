// The frame-stream decoder: one frame record's Huffman code description and
// bit stream in, the decoded byte stream out.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "codec/codec_local.h"

namespace codec {

FrameStreamDecoder FrameDecoder;

namespace {

[[noreturn]] void out_of_memory() {
  std::fputs("Out of memory!\n", stdout);
  std::fflush(stdout);
  std::exit(1);
}

uint32_t reverse_low_bits(uint32_t value, int length) {
  uint32_t reversed = 0;
  for (int i = 0; i < length; ++i) reversed |= ((value >> i) & 1u) << (length - 1 - i);
  return reversed;
}

// What the fast loop looks up: up to two symbols whose codes together fit in
// the 10-bit window. Built from the fast table, and only for prefix-free
// codes: then every entry is fixed by its own low `length` bits, so the
// second symbol read from the window's remaining bits is the one the
// one-at-a-time decoder would find.
struct PairEntry {
  uint8_t first;
  uint8_t second;
  uint8_t length;  // bits of both codes
  uint8_t count;   // 0: no short code here (take the exact path)
};

void build_pair_table(const FastCodeEntry* fast, bool pairs_allowed, PairEntry* pairs) {
  for (int w = 0; w < kFastTableSize; ++w) {
    const FastCodeEntry first = fast[w];
    if (first.length == 0) {
      pairs[w] = {0, 0, 0, 0};
      continue;
    }
    pairs[w] = {first.symbol, 0, first.length, 1};
    if (!pairs_allowed) continue;
    const FastCodeEntry second = fast[w >> first.length];
    if (second.length != 0 && second.length + first.length <= kFastTableBits) {
      pairs[w] = {first.symbol, second.symbol,
                  static_cast<uint8_t>(first.length + second.length), 2};
    }
  }
}

// Stream byte p, or 0 at and past the end of the stream.
inline uint32_t stream_byte(const uint8_t* data, int64_t length, int64_t p) {
  return p < length ? data[p] : 0u;
}

// The 10-bit window at bit `pos` of the stream, zero past its end.
inline uint32_t stream_window(const uint8_t* data, int64_t length, uint64_t pos) {
  const int64_t p = static_cast<int64_t>(pos >> 3);
  uint32_t word;
  if (p + 4 <= length) {
    word = load_le32(data + p);
  } else {
    word = stream_byte(data, length, p) | stream_byte(data, length, p + 1) << 8 |
           stream_byte(data, length, p + 2) << 16 | stream_byte(data, length, p + 3) << 24;
  }
  return (word >> (pos & 7)) & (kFastTableSize - 1);
}

}  // namespace

bool BuildFastTable(const uint32_t* code_values, const uint8_t* code_lengths,
                    FastCodeEntry* table) {
  for (int i = 0; i < kFastTableSize; ++i) table[i] = {0, 0};
  bool prefix_free = true;
  for (int s = 0; s < kSymbolCount; ++s) {
    const int length = code_lengths[s];
    if (length == 0 || length > kFastTableBits) continue;
    const uint32_t first = reverse_low_bits(code_values[s], length);
    for (uint32_t r = first; r < static_cast<uint32_t>(kFastTableSize); r += 1u << length) {
      if (table[r].length != 0) prefix_free = false;
      table[r] = {static_cast<uint8_t>(s), static_cast<uint8_t>(length)};
    }
  }
  return prefix_free;
}

FrameError FrameStreamDecoder::LoadCodeDescription(const uint8_t* record, int32_t size) {
  // A refused description decodes nothing, whatever the previous frame held.
  decodedLength = 0;
  streamData = nullptr;
  streamLength = 0;
  if (record == nullptr || size < kRecordHeaderBytes) return FrameError::kRecordTooShort;

  const int32_t decoded_length = load_le32_signed(record);
  uint32_t values[kSymbolCount];
  for (int s = 0; s < kSymbolCount; ++s) values[s] = load_le32(record + 4 + 4 * s);
  const uint8_t* lengths = record + 4 + 4 * kSymbolCount;
  for (int s = 0; s < kSymbolCount; ++s) {
    if (lengths[s] > kMaxCodeLength) return FrameError::kCodeLengthTooLong;
  }
  if (decoded_length > kDecodedStreamBytes) return FrameError::kDecodedLengthTooLong;

  decodedLength = decoded_length;
  std::memcpy(codeValues, values, sizeof codeValues);
  std::memcpy(codeLengths, lengths, sizeof codeLengths);
  streamData = record + kRecordHeaderBytes;
  streamLength = size - kRecordHeaderBytes;
  return FrameError::kNone;
}

uint8_t* FrameStreamDecoder::DecodeStream() {
  produced_bytes_ = 0;

  // Lookup structures. The tree needs one node per bit of every long code,
  // plus the root; reserving them all keeps the node pointers stable.
  size_t node_count = 1;
  for (int s = 0; s < kSymbolCount; ++s) {
    if (codeLengths[s] > kFastTableBits) node_count += codeLengths[s];
  }
  std::unique_ptr<CodeTree> tree;
  try {
    tree = std::make_unique<CodeTree>();
    tree->nodes.reserve(node_count);
  } catch (const std::bad_alloc&) {
    out_of_memory();
  }
  tree->nodes.emplace_back();
  tree->root = &tree->nodes.back();
  codeTree = std::move(tree);
  CodeTree& t = *codeTree;

  FastCodeEntry fast[kFastTableSize];
  const bool prefix_free = BuildFastTable(codeValues, codeLengths, fast);
  for (int s = 0; s < kSymbolCount; ++s) {
    const int length = codeLengths[s];
    if (length == 0) {
      t.root->symbol = static_cast<uint8_t>(s);
    } else if (length > kFastTableBits) {
      t.cursor = t.root;
      for (int j = length - 1; j >= 0; --j) {
        CodeTreeNode*& child =
            ((codeValues[s] >> j) & 1u) ? t.cursor->oneChild : t.cursor->zeroChild;
        if (child == nullptr) {
          t.nodes.emplace_back();
          t.nodes.back().parent = t.cursor;
          child = &t.nodes.back();
        }
        t.cursor = child;
      }
      t.cursor->symbol = static_cast<uint8_t>(s);
    }
  }
  t.cursor = t.root;

  uint8_t* out = DecodedStream;
  if (out == nullptr || streamData == nullptr) return out;
  PairEntry pairs[kFastTableSize];
  build_pair_table(fast, prefix_free, pairs);

  const uint8_t* data = streamData;
  const int64_t length = streamLength;
  const int32_t wanted = decodedLength;
  int32_t n = 0;
  uint64_t pos = 0;  // bit position: byte pos >> 3, bit pos & 7
  while (n < wanted && static_cast<int64_t>(pos >> 3) < length) {
    // Fast path: with 8 stream bytes and 8 output bytes to spare, one 64-bit
    // load holds (after the bit shift) at least 57 bits, enough for four
    // lookups of at most 10 bits. A one-symbol entry also stores a second byte
    // one past the end of the output so far; the next symbol, which the
    // spare room guarantees, overwrites it.
    if (n + 8 <= wanted && static_cast<int64_t>(pos >> 3) + 8 <= length) {
      uint64_t bits;
      std::memcpy(&bits, data + (pos >> 3), sizeof bits);
      bits >>= (pos & 7);
      int step = 0;
      for (; step < 4; ++step) {
        const PairEntry e = pairs[bits & (kFastTableSize - 1)];
        if (e.count == 0) break;
        out[n] = e.first;
        out[n + 1] = e.second;
        n += e.count;
        bits >>= e.length;
        pos += e.length;
      }
      if (step == 4) continue;
    }

    // One symbol exactly as the format describes: the fast table, else a
    // walk of the tree that stops before a missing child and emits the
    // symbol of the node reached (the root's when the first bit fails).
    const FastCodeEntry e = fast[stream_window(data, length, pos)];
    if (e.length != 0) {
      out[n++] = e.symbol;
      pos += e.length;
      continue;
    }
    for (;;) {
      const int64_t p = static_cast<int64_t>(pos >> 3);
      const uint32_t bit = (stream_byte(data, length, p) >> (pos & 7)) & 1u;
      CodeTreeNode* child = bit ? t.cursor->oneChild : t.cursor->zeroChild;
      if (child == nullptr) break;
      t.cursor = child;
      ++pos;
    }
    out[n++] = t.cursor->symbol;
    t.cursor = t.root;
  }
  produced_bytes_ = n;
  return out;
}

}  // namespace codec
