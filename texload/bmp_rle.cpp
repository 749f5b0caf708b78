// Run-length coded bitmaps (BI_RLE8, BI_RLE4), which stb_image does not read.
// The coding, as Windows defines it: pairs of bytes. A non-zero first byte is
// a run of that many texels; for RLE8 the second byte is their index, for
// RLE4 it holds two indices (high nibble first) used alternately. A zero
// first byte is an escape: 0 ends the line, 1 ends the bitmap, 2 is a delta
// (two more bytes: right, then down), and 3..255 is an absolute run of that
// many indices (bytes, or nibbles high first), padded to a 16-bit boundary.
#include <algorithm>

#include "texload/texload_local.h"

namespace texload {

ImageError expand_bmp_rle(const Bytes& data, int bits_per_index, int width, int rows,
                          size_t stride_bytes, std::vector<uint8_t>& indices) {
  indices.assign(stride_bytes * static_cast<size_t>(rows), 0);
  const bool rle4 = bits_per_index == 4;
  size_t at = 0;
  // x and y never go past width and rows, however long the data, so they
  // cannot overflow; texels past the right edge are dropped.
  int x = 0;
  int y = 0;
  auto put = [&](uint8_t index) {
    if (x < width) indices[static_cast<size_t>(y) * stride_bytes + static_cast<size_t>(x++)] = index;
  };
  for (;;) {
    // Every row is written: whatever follows (normally the end-of-bitmap
    // escape) adds nothing. A file that stops right after the last texel
    // without that escape is complete too.
    if (y >= rows) return ImageError::kNone;
    if (at >= data.size_bytes() && y == rows - 1 && x >= width) return ImageError::kNone;
    TEXLOAD_CHECK(data.has(at, 2), ImageError::kTruncated);
    const uint8_t count = data.u8(at);
    const uint8_t value = data.u8(at + 1);
    at += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) {
        put(rle4 ? static_cast<uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap: the texels not reached keep index 0
        return ImageError::kNone;
      case 2:  // delta
        TEXLOAD_CHECK(data.has(at, 2), ImageError::kTruncated);
        x = std::min(width, x + data.u8(at));
        y = std::min(rows, y + data.u8(at + 1));
        at += 2;
        break;
      default: {  // absolute run
        const size_t run_bytes = rle4 ? (value + 1u) / 2 : value;
        TEXLOAD_CHECK(data.has(at, run_bytes), ImageError::kTruncated);
        for (int i = 0; i < value; ++i) {
          const uint8_t byte = data.u8(at + (rle4 ? i / 2 : i));
          put(rle4 ? static_cast<uint8_t>(i % 2 == 0 ? byte >> 4 : byte & 0x0F) : byte);
        }
        at += run_bytes + (run_bytes & 1);
        break;
      }
    }
  }
}

}  // namespace texload
