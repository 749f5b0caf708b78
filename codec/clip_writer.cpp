// Frame records, clip files and decoded streams, written.
#include "codec/clip_writer.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace codec {

namespace {

void put_le32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t reversed(uint32_t value, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) r |= ((value >> i) & 1u) << (length - 1 - i);
  return r;
}

}  // namespace

std::vector<uint8_t> encode_bit_stream(std::span<const uint8_t> decoded, const HuffmanCode& code) {
  // The decoder reads a code's bits most significant first, from the low
  // end of each byte up: so each code goes in bit-reversed, least
  // significant bit first.
  std::array<uint32_t, kSymbolCount> sent{};
  for (int s = 0; s < kSymbolCount; ++s) sent[s] = reversed(code.values[s], code.lengths[s]);
  std::vector<uint8_t> out;
  out.reserve(decoded.size());
  uint64_t pending = 0;
  int pending_bits = 0;
  for (uint8_t b : decoded) {
    if (code.lengths[b] == 0) {
      throw std::invalid_argument("byte " + std::to_string(b) + " has no code");
    }
    pending |= static_cast<uint64_t>(sent[b]) << pending_bits;
    pending_bits += code.lengths[b];
    while (pending_bits >= 8) {
      out.push_back(static_cast<uint8_t>(pending));
      pending >>= 8;
      pending_bits -= 8;
    }
  }
  if (pending_bits > 0) out.push_back(static_cast<uint8_t>(pending));
  return out;
}

std::vector<uint8_t> write_frame_record(int32_t decoded_length, const HuffmanCode& code,
                                        std::span<const uint8_t> stream) {
  std::vector<uint8_t> record;
  record.reserve(kRecordHeaderBytes + stream.size());
  put_le32(record, static_cast<uint32_t>(decoded_length));
  for (uint32_t v : code.values) put_le32(record, v);
  record.insert(record.end(), code.lengths.begin(), code.lengths.end());
  record.insert(record.end(), stream.begin(), stream.end());
  return record;
}

std::vector<uint8_t> encode_frame_record(std::span<const uint8_t> decoded, int max_length) {
  if (decoded.size() > static_cast<size_t>(kDecodedStreamBytes)) {
    throw std::invalid_argument("decoded stream of " + std::to_string(decoded.size()) +
                                " bytes is longer than the decoder's " +
                                std::to_string(kDecodedStreamBytes));
  }
  const HuffmanCode code = build_huffman_code(count_symbols(decoded), max_length);
  return write_frame_record(static_cast<int32_t>(decoded.size()), code,
                            encode_bit_stream(decoded, code));
}

std::vector<uint8_t> write_clip_file(const std::vector<std::vector<uint8_t>>& records) {
  if (records.empty()) throw std::invalid_argument("a clip needs at least one frame");
  const uint64_t entries = records.size() + 1;
  uint64_t total = 4 + 4 * entries;
  for (const auto& r : records) total += r.size();
  if (total > static_cast<uint64_t>(INT32_MAX)) {
    throw std::invalid_argument("clip file would exceed the 32-bit offsets");
  }
  std::vector<uint8_t> file;
  file.reserve(total);
  put_le32(file, static_cast<uint32_t>(entries));
  uint32_t offset = 0;
  put_le32(file, offset);
  for (const auto& r : records) {
    offset += static_cast<uint32_t>(r.size());
    put_le32(file, offset);
  }
  for (const auto& r : records) file.insert(file.end(), r.begin(), r.end());
  return file;
}

void write_frame_header(const FrameHeader& h, uint8_t* bytes) {
  bytes[0] = static_cast<uint8_t>(h.width);
  bytes[1] = static_cast<uint8_t>(h.width >> 8);
  bytes[2] = static_cast<uint8_t>(h.height);
  bytes[3] = static_cast<uint8_t>(h.height >> 8);
  bytes[4] = static_cast<uint8_t>(h.lumaBlockWidth);
  bytes[5] = static_cast<uint8_t>(h.lumaBlockHeight);
  bytes[6] = static_cast<uint8_t>(h.chromaBlockWidth);
  bytes[7] = static_cast<uint8_t>(h.chromaBlockHeight);
  bytes[8] = h.verticalInterpolation;
  bytes[9] = h.reserved;
  bytes[10] = static_cast<uint8_t>(h.residualShift);
  bytes[11] = h.chromaMarker;
}

std::vector<uint8_t> assemble_decoded_stream(const FrameParts& parts) {
  std::vector<uint8_t> out(kFrameHeaderBytes);
  write_frame_header(parts.header, out.data());
  out.insert(out.end(), parts.luma.begin(), parts.luma.end());
  out.insert(out.end(), parts.residuals.begin(), parts.residuals.end());
  if (parts.header.chromaMarker != kNoChromaMarker) {
    out.insert(out.end(), parts.cr_grid.begin(), parts.cr_grid.end());
    out.insert(out.end(), parts.cb_grid.begin(), parts.cb_grid.end());
  }
  return out;
}

void append_block_residuals(std::vector<uint8_t>& residuals, std::span<const uint8_t> nibbles) {
  if (nibbles.empty()) {
    residuals.push_back(1);
    return;
  }
  residuals.push_back(0);
  for (size_t i = 0; i + 1 < nibbles.size(); i += 2) {
    residuals.push_back(static_cast<uint8_t>((nibbles[i] & 15) | (nibbles[i + 1] & 15) << 4));
  }
}

}  // namespace codec
