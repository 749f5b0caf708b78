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

// What the fast loop looks up: up to two symbols whose codes, both in the
// fast table, together fit in the next 12 bits, or one symbol of a tree walk
// those bits decide (below). Pairs are built from the fast table, and only
// for prefix-free codes: then every entry is fixed by its own low
// `length` bits, so the second symbol read from the remaining bits is the
// one the one-at-a-time decoder would find.
constexpr int kPairBits = 12;
constexpr int kPairTableSize = 1 << kPairBits;

// An entry packs the bits both codes take (bits 0-5, so that the shift by
// it needs no masking), the number of symbols (bits 8-15; 0: no short code
// here, take the exact path) and the two symbols (bits 16-23, 24-31).
using PairEntry = uint32_t;

inline PairEntry pair_entry(uint32_t length, uint32_t count, uint32_t first, uint32_t second) {
  return length | count << 8 | first << 16 | second << 24;
}

// Where the fast table is empty the exact path walks the tree from the root
// and stops before the first missing child. When that stop falls inside the
// window (the child it misses is picked by one of the window's bits), the
// walk is decided by the window alone and its one symbol goes into the
// entry; codes of 11 and 12 bits, and the symbols of cut-short walks, then
// stay on the fast path. A walk that reads past the window stays empty.
PairEntry walk_entry(const CodeTreeNode* root, uint32_t window) {
  const CodeTreeNode* node = root;
  for (uint32_t depth = 0; depth < static_cast<uint32_t>(kPairBits); ++depth) {
    const CodeTreeNode* child = ((window >> depth) & 1u) ? node->oneChild : node->zeroChild;
    if (child == nullptr) return pair_entry(depth, 1, node->symbol, 0);
    node = child;
  }
  return 0;
}

// For a prefix-free code the second lookup uses the bits after the first
// code; otherwise entries hold one symbol at most.
void build_pair_table(const FastCodeEntry* fast, bool prefix_free, const CodeTreeNode* root,
                      PairEntry* pairs) {
  if (!prefix_free) {
    for (uint32_t w = 0; w < static_cast<uint32_t>(kPairTableSize); ++w) {
      const FastCodeEntry first = fast[w & (kFastTableSize - 1)];
      pairs[w] = first.length != 0 ? pair_entry(first.length, 1, first.symbol, 0)
                                   : walk_entry(root, w);
    }
    return;
  }
  // Prefix-free: the fast entry at index i with a code of length L is the
  // same at every index agreeing with i in the low L bits, so it suffices
  // to visit it once, at i < 2^L, and to run over what follows the code:
  // the second lookups are then the first entries of the fast table in
  // order, with no load waiting on another. This visit order is what makes
  // the per-frame rebuild cheap; the entries are those of the general rule.
  for (uint32_t i = 0; i < static_cast<uint32_t>(kFastTableSize); ++i) {
    const FastCodeEntry first = fast[i];
    if (first.length == 0) {
      for (uint32_t w = i; w < static_cast<uint32_t>(kPairTableSize); w += kFastTableSize) {
        pairs[w] = walk_entry(root, w);
      }
      continue;
    }
    if (i >> first.length != 0) continue;  // visited at its lowest index
    const uint32_t length = first.length;
    const uint32_t room = kPairBits - length;  // bits left for a second code
    const uint32_t single = pair_entry(length, 1, first.symbol, 0);
    const uint32_t rests = 1u << room;         // at most 2^11
    for (uint32_t rest = 0; rest < rests; ++rest) {
      const FastCodeEntry second = fast[rest & (kFastTableSize - 1)];
      const uint32_t fits = second.length != 0 && second.length <= room;
      const uint32_t pair_mask = 0u - fits;
      pairs[i | rest << length] =
          single + ((second.length | 1u << 8 | static_cast<uint32_t>(second.symbol) << 24) & pair_mask);
    }
  }
}

// Where a tree walk from the root ends up after at most 10 bits, for every
// value of the 10-bit window: the walk is decided by those bits alone. Only
// consulted where the fast table is empty.
struct WalkEntry {
  CodeTreeNode* node;
  int bits;  // consumed; 10 means the walk goes on bit by bit from `node`
};

// `path` holds the `depth` stream bits that led to `node`, the first in bit 0.
void fill_walks(CodeTreeNode* node, int depth, uint32_t path, WalkEntry* walks) {
  if (depth == kFastTableBits) {
    walks[path] = {node, depth};
    return;
  }
  for (uint32_t bit = 0; bit < 2; ++bit) {
    CodeTreeNode* child = bit ? node->oneChild : node->zeroChild;
    const uint32_t next = path | bit << depth;
    if (child != nullptr) {
      fill_walks(child, depth + 1, next, walks);
    } else {
      for (uint32_t w = next; w < static_cast<uint32_t>(kFastTableSize); w += 2u << depth) {
        walks[w] = {node, depth};
      }
    }
  }
}

// The next stream bits from bit `pos` on, at least 57 of them, as a
// little-endian field; bytes at and past the end of the stream read as 0.
inline uint64_t stream_bits(const uint8_t* data, int64_t length, uint64_t pos) {
  const int64_t p = static_cast<int64_t>(pos >> 3);
  uint64_t word = 0;
  if (p + 8 <= length) {
    std::memcpy(&word, data + p, sizeof word);
  } else {
    for (int64_t i = 0; p + i < length && i < 8; ++i) {
      word |= static_cast<uint64_t>(data[p + i]) << (8 * i);
    }
  }
  return word >> (pos & 7);
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

CodeTree& FrameStreamDecoder::rebuild_code_tree() {
  // Lookup structures. The tree needs one node per bit of every long code,
  // plus the root; reserving them all keeps the node pointers stable. The
  // tree of the previous frame is emptied and refilled rather than freed:
  // its node storage, freed and allocated again every frame, went back to
  // the system and came back as fresh pages, which cost more than decoding
  // a quarter of the stream.
  size_t node_count = 1;
  for (int s = 0; s < kSymbolCount; ++s) {
    if (codeLengths[s] > kFastTableBits) node_count += codeLengths[s];
  }
  try {
    if (codeTree == nullptr) codeTree = std::make_unique<CodeTree>();
    codeTree->nodes.clear();
    codeTree->nodes.reserve(node_count);
  } catch (const std::bad_alloc&) {
    out_of_memory();
  }
  CodeTree& t = *codeTree;
  t.nodes.emplace_back();
  t.root = &t.nodes.back();
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
  return t;
}

void FrameStreamDecoder::RestoreDecodedStream(const uint8_t* bytes, int32_t count) {
  rebuild_code_tree();
  std::memcpy(DecodedStream, bytes, static_cast<size_t>(count));
  produced_bytes_ = count;
}

uint8_t* FrameStreamDecoder::DecodeStream() {
  produced_bytes_ = 0;
  CodeTree& t = rebuild_code_tree();
  FastCodeEntry fast[kFastTableSize];
  const bool prefix_free = BuildFastTable(codeValues, codeLengths, fast);

  uint8_t* out = DecodedStream;
  if (out == nullptr || streamData == nullptr) return out;
  PairEntry pairs[kPairTableSize];
  build_pair_table(fast, prefix_free, t.root, pairs);
  WalkEntry walks[kFastTableSize];
  bool walks_built = false;

  const uint8_t* data = streamData;
  const int64_t length = streamLength;
  const int32_t wanted = decodedLength;
  int32_t n = 0;
  uint64_t pos = 0;  // bit position: byte pos >> 3, bit pos & 7
  while (n < wanted && static_cast<int64_t>(pos >> 3) < length) {
    // Fast path: rounds of four lookups of at most 12 bits from a bit
    // buffer of at least 56 bits. An entry of one symbol (or none) also
    // stores a byte (or two) past the output so far; with 8 output bytes and
    // 16 stream bytes to spare at the start of every round, the symbols that
    // follow are sure to come and overwrite them, so no stale byte past the
    // end of the output is ever disturbed.
    if (n + 8 <= wanted && static_cast<int64_t>(pos >> 3) + 16 <= length) {
      // The buffer holds the stream from bit `pos` in its low `available`
      // bits (and only stream bits, or zeros, above them); `next` is the
      // stream byte at bit pos + available. Refilling ORs the 8 bytes at
      // `next` in above the bits held and moves `next` on by whole bytes,
      // so the load's address comes from the previous refill and never
      // waits for the lookups: the chain from round to round is the table
      // loads and shifts alone (Giesen's branch-free refill).
      const uint8_t* next = data + (pos >> 3);
      uint64_t bits;
      std::memcpy(&bits, next, sizeof bits);
      bits >>= (pos & 7);
      uint32_t available = 56 - static_cast<uint32_t>(pos & 7);
      next += 7;
      uint32_t count = 0;
      // The output as a pointer and its limit, so that the loop keeps no
      // index to widen and fewer values spill from the registers.
      uint8_t* put = out + n;
      uint8_t* const put_limit = out + (wanted - 8);
      // Four lookups, written out and without a branch between them: the
      // loop-carried chain is only the table load and the shift of `bits`
      // by the length it gives. An empty entry changes nothing, so every
      // lookup after it finds it again and the last one tells.
      const auto step = [&] {
        const PairEntry e = pairs[bits & (kPairTableSize - 1)];
        const uint16_t both = static_cast<uint16_t>(e >> 16);
        std::memcpy(put, &both, sizeof both);
        count = (e >> 8) & 0xFF;
        put += count;
        bits >>= (e & 63);
        available -= e & 63;
      };
      for (;;) {
        step();
        step();
        step();
        step();
        pos = static_cast<uint64_t>(next - data) * 8 - available;
        if (count == 0 || put > put_limit || static_cast<int64_t>(pos >> 3) + 16 > length) break;
        // `next` is at most 8 bytes past pos >> 3, so the load stays inside
        // the stream.
        uint64_t more;
        std::memcpy(&more, next, sizeof more);
        bits |= more << available;
        next += (63 - available) >> 3;
        available |= 56;
      }
      n = static_cast<int32_t>(put - out);
      if (count != 0) continue;
    }

    // One symbol exactly as the format describes: the fast table, else a
    // walk of the tree that stops before a missing child and emits the
    // symbol of the node reached (the root's when the first bit fails).
    uint64_t bits = stream_bits(data, length, pos);
    const uint32_t window = static_cast<uint32_t>(bits) & (kFastTableSize - 1);
    const FastCodeEntry e = fast[window];
    if (e.length != 0) {
      out[n++] = e.symbol;
      pos += e.length;
      continue;
    }
    // The walk's first ten bits are the window's: looked up, not walked.
    if (!walks_built) {
      fill_walks(t.root, 0, 0, walks);
      walks_built = true;
    }
    const WalkEntry walk = walks[window];
    t.cursor = walk.node;
    pos += static_cast<uint64_t>(walk.bits);
    if (walk.bits == kFastTableBits) {
      // At most 32 - 10 more bits: codes are at most 32 bits, so is the tree.
      bits >>= kFastTableBits;
      for (;;) {
        CodeTreeNode* child = (bits & 1u) ? t.cursor->oneChild : t.cursor->zeroChild;
        if (child == nullptr) break;
        t.cursor = child;
        bits >>= 1;
        ++pos;
      }
    }
    out[n++] = t.cursor->symbol;
    t.cursor = t.root;
  }
  produced_bytes_ = n;
  return out;
}

}  // namespace codec
