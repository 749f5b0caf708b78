// A presented picture as the device hands it to a backend: the back buffer's
// rows in its own pixel format, at whatever size the device draws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win32 {

enum class PixelFormat : uint8_t {
  r5g6b5,    // 16 bits: the demo's own mode
  x8r8g8b8,  // 32 bits, as a little-endian word 0xXXRRGGBB
};

struct Frame {
  const void* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch_bytes = 0;
  PixelFormat format = PixelFormat::r5g6b5;

  int bytes_per_pixel() const { return format == PixelFormat::r5g6b5 ? 2 : 4; }
  const uint8_t* row(int y) const {
    return static_cast<const uint8_t*>(pixels) + static_cast<size_t>(y) * pitch_bytes;
  }
  const uint16_t* row565(int y) const { return reinterpret_cast<const uint16_t*>(row(y)); }
  const uint32_t* row8888(int y) const { return reinterpret_cast<const uint32_t*>(row(y)); }
};

// One row (`width` pixels) to RGB888. R5G6B5 channels are widened by
// repeating their top bits, so 0 stays 0 and full stays 255; every user of
// a picture (captures, windows, pages, tests) widens it this one way.
void row_to_rgb888(const Frame& frame, int y, uint8_t* out);

// The whole picture, width * height * 3 bytes, rows without padding.
void frame_to_rgb888(const Frame& frame, uint8_t* out);

// Rows [row_begin, row_end) of `from` into `to`, a writable picture of the
// same size and format (its pitch may differ).
void copy_rows(const Frame& from, const Frame& to, int row_begin, int row_end);

}  // namespace win32
