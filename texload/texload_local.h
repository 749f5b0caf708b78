// The inside of texture loading. The readers of this folder turn every BMP or
// TGA variant into one plain form of the same format ("canonical": exact
// offsets, full palettes, no run-length coding, top-left origin for TGA), which
// stb_image then unpacks. stb sees nothing else, so its gaps and quirks with
// odd headers, short palettes and truncated data cannot be reached from a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "texload/texload.h"

namespace texload {

// The one check on file data: a failed condition returns its typed error.
#define TEXLOAD_CHECK(condition, error) \
  do {                                  \
    if (!(condition)) return (error);   \
  } while (0)

// A read-only view of file data that knows its length. The accessors return 0
// outside the data, so a missing check yields a wrong value, never an
// out-of-bounds read; the readers still check with has() first, to report
// truncation as such.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size_bytes) : data_(data), size_bytes_(size_bytes) {}

  size_t size_bytes() const { return size_bytes_; }
  const uint8_t* data() const { return data_; }
  bool has(size_t offset, size_t count) const {
    return offset <= size_bytes_ && count <= size_bytes_ - offset;
  }
  uint8_t u8(size_t offset) const { return has(offset, 1) ? data_[offset] : 0; }
  uint16_t u16le(size_t offset) const {
    return static_cast<uint16_t>(u8(offset) | u8(offset + 1) << 8);
  }
  uint32_t u32le(size_t offset) const {
    return static_cast<uint32_t>(u16le(offset)) | static_cast<uint32_t>(u16le(offset + 2)) << 16;
  }

 private:
  const uint8_t* data_;
  size_t size_bytes_;
};

// Little-endian writers for the canonical files.
inline void put_u16le(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void put_u32le(std::vector<uint8_t>& out, uint32_t value) {
  put_u16le(out, value & 0xFFFF);
  put_u16le(out, value >> 16);
}

// True when the data starts like a Windows bitmap ("BM").
bool looks_like_bmp(const Bytes& in);

// A BMP of any supported variant, rewritten as a canonical BMP: a 40-byte
// header with a full palette for 1/4/8 bits (run-length data expanded to
// 8-bit indices), a 108-byte header for 16/24/32 bits (with explicit masks
// of at most 8 bits each for 16 and 32), and the pixel rows right after.
ImageError canonical_bmp(const Bytes& in, std::vector<uint8_t>& out);

// Expands RLE8 or RLE4 data into 8-bit index rows of `stride_bytes` each, in
// the file's row order; texels the data never reaches keep index 0.
ImageError expand_bmp_rle(const Bytes& data, int bits_per_index, int width, int rows,
                          size_t stride_bytes, std::vector<uint8_t>& indices);

// A TGA of any supported variant, rewritten as a canonical TGA: no image id,
// a colour map (only for colour-mapped images) that starts at entry 0 with
// 24- or 32-bit entries, uncompressed 8-, 16- (grey and alpha), 24- or 32-bit
// pixels, top-left origin.
ImageError canonical_tga(const Bytes& in, std::vector<uint8_t>& out);

// Unpacks a canonical BMP or TGA with stb_image.
ImageError unpack_canonical(const std::vector<uint8_t>& canonical, Image& image);

}  // namespace texload
