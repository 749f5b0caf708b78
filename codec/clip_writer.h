// Writes clip files: length-limited canonical Huffman codes, frame records,
// the clip file with its offset table, and decoded streams assembled from a
// header and its sections. The inverse of the decoder, for the encoder, the
// tools, the default media and the tests.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/codec.h"

namespace codec {

// A code description as a frame record stores it: the code of symbol s is
// the low lengths[s] bits of values[s], sent most significant bit first.
struct HuffmanCode {
  std::array<uint32_t, kSymbolCount> values{};
  std::array<uint8_t, kSymbolCount> lengths{};
};

using SymbolCounts = std::array<uint64_t, kSymbolCount>;

SymbolCounts count_symbols(std::span<const uint8_t> bytes);

// A canonical prefix code with no code longer than `max_length` (1 to 32,
// and enough for the symbols in use: 2^max_length of them). Symbols with a
// count of 0 get no code; a lone symbol gets a 1-bit code. Throws
// std::invalid_argument for an impossible limit.
HuffmanCode build_huffman_code(const SymbolCounts& counts, int max_length);

// Stream bits of bytes with these counts under `code`.
uint64_t coded_bits(const SymbolCounts& counts, const HuffmanCode& code);

// The bit stream of `decoded` under `code`: codes one after the other, each
// most significant bit first, bytes filled from their least significant bit.
// Throws std::invalid_argument for a byte that has no code.
std::vector<uint8_t> encode_bit_stream(std::span<const uint8_t> decoded, const HuffmanCode& code);

// A frame record from its parts, taken as they are (tests build bad records
// this way too).
std::vector<uint8_t> write_frame_record(int32_t decoded_length, const HuffmanCode& code,
                                        std::span<const uint8_t> stream);

// A frame record that decodes to exactly `decoded`, with a code of its own.
// Throws std::invalid_argument when `decoded` is longer than the decoded
// stream holds.
std::vector<uint8_t> encode_frame_record(std::span<const uint8_t> decoded,
                                         int max_length = kMaxCodeLength / 2);

// The clip file: entry count, offset table and the records one after the
// other. Throws std::invalid_argument for no records or a file of 2 GiB.
std::vector<uint8_t> write_clip_file(const std::vector<std::vector<uint8_t>>& records);

// ---- Decoded streams ---------------------------------------------------------

void write_frame_header(const FrameHeader& header, uint8_t* bytes);

// The sections of one decoded stream, in stream order. Not checked against
// the header: tests assemble broken streams on purpose.
struct FrameParts {
  FrameHeader header;
  std::vector<uint8_t> luma;       // raw luma, or the luma grid (signed samples)
  std::vector<uint8_t> residuals;  // block mode: flags and residual bytes
  std::vector<uint8_t> cr_grid;    // only written when chroma is present
  std::vector<uint8_t> cb_grid;
};

std::vector<uint8_t> assemble_decoded_stream(const FrameParts& parts);

// Appends one block's part of the residual stream: a flag of 1 when
// `nibbles` is empty; else a flag of 0 and the nibbles (one a pixel, row by
// row, 0-15) packed two to a byte, the left pixel in the low nibble.
void append_block_residuals(std::vector<uint8_t>& residuals, std::span<const uint8_t> nibbles);

}  // namespace codec
