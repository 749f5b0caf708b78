#include "platform/win32/frame.h"

#include <cstring>

namespace win32 {

void row_to_rgb888(const Frame& frame, int y, uint8_t* out) {
  if (frame.format == PixelFormat::r5g6b5) {
    const uint16_t* row = frame.row565(y);
    for (int x = 0; x < frame.width; ++x) {
      const uint32_t p = row[x];
      const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
      out[3 * x + 0] = static_cast<uint8_t>(r << 3 | r >> 2);
      out[3 * x + 1] = static_cast<uint8_t>(g << 2 | g >> 4);
      out[3 * x + 2] = static_cast<uint8_t>(b << 3 | b >> 2);
    }
    return;
  }
  const uint32_t* row = frame.row8888(y);
  for (int x = 0; x < frame.width; ++x) {
    out[3 * x + 0] = static_cast<uint8_t>(row[x] >> 16);
    out[3 * x + 1] = static_cast<uint8_t>(row[x] >> 8);
    out[3 * x + 2] = static_cast<uint8_t>(row[x]);
  }
}

void frame_to_rgb888(const Frame& frame, uint8_t* out) {
  for (int y = 0; y < frame.height; ++y) {
    row_to_rgb888(frame, y, out + static_cast<size_t>(y) * frame.width * 3);
  }
}

void copy_rows(const Frame& from, const Frame& to, int row_begin, int row_end) {
  const size_t bytes = static_cast<size_t>(from.width) * from.bytes_per_pixel();
  for (int y = row_begin; y < row_end; ++y) {
    std::memcpy(const_cast<uint8_t*>(to.row(y)), from.row(y), bytes);
  }
}

}  // namespace win32
