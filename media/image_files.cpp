// Windows bitmap and Targa writers for the pack's pictures.
#include <stdexcept>

#include "media/media.h"

namespace media {

namespace {

void put_u16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
  put_u16(out, v & 0xFFFF);
  put_u16(out, v >> 16);
}

void check_image(const Image& image) {
  // The texture loaders take power-of-two sizes up to 2048 well; nothing the
  // pack makes is larger, and a size check here keeps the arithmetic below
  // far from overflow.
  if (image.width <= 0 || image.height <= 0 || image.width > 4096 || image.height > 4096 ||
      image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3) {
    throw std::invalid_argument("image size does not match its pixels");
  }
}

}  // namespace

std::vector<uint8_t> encode_bmp(const Image& image) {
  check_image(image);
  // Rows are padded to a multiple of 4 bytes (BITMAPINFOHEADER, BI_RGB).
  const uint32_t row_bytes = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
  const uint32_t pixel_bytes = row_bytes * static_cast<uint32_t>(image.height);
  constexpr uint32_t kHeaderBytes = 14 + 40;
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes + pixel_bytes);
  out.push_back('B');
  out.push_back('M');
  put_u32(out, kHeaderBytes + pixel_bytes);
  put_u32(out, 0);  // reserved
  put_u32(out, kHeaderBytes);
  put_u32(out, 40);  // BITMAPINFOHEADER
  put_u32(out, static_cast<uint32_t>(image.width));
  put_u32(out, static_cast<uint32_t>(image.height));  // positive: bottom row first
  put_u16(out, 1);                                     // planes
  put_u16(out, 24);                                    // bits per pixel
  put_u32(out, 0);                                     // BI_RGB
  put_u32(out, pixel_bytes);
  put_u32(out, 2835);  // 72 dpi, in pixels per metre
  put_u32(out, 2835);
  put_u32(out, 0);  // palette colours
  put_u32(out, 0);  // important colours
  for (int y = image.height - 1; y >= 0; --y) {
    const uint8_t* row = &image.rgb[static_cast<size_t>(y) * image.width * 3];
    for (int x = 0; x < image.width; ++x) {
      out.push_back(row[x * 3 + 2]);
      out.push_back(row[x * 3 + 1]);
      out.push_back(row[x * 3 + 0]);
    }
    for (uint32_t pad = static_cast<uint32_t>(image.width) * 3; pad < row_bytes; ++pad) {
      out.push_back(0);
    }
  }
  return out;
}

std::vector<uint8_t> encode_tga(const Image& image) {
  check_image(image);
  std::vector<uint8_t> out;
  out.reserve(18 + image.rgb.size());
  out.push_back(0);  // no image id
  out.push_back(0);  // no colour map
  out.push_back(2);  // uncompressed true colour
  for (int i = 0; i < 5; ++i) out.push_back(0);  // colour map fields: none
  put_u16(out, 0);                               // x origin
  put_u16(out, 0);                               // y origin
  put_u16(out, static_cast<uint32_t>(image.width));
  put_u16(out, static_cast<uint32_t>(image.height));
  out.push_back(24);
  out.push_back(0);  // descriptor: no alpha bits, origin bottom left
  for (int y = image.height - 1; y >= 0; --y) {
    const uint8_t* row = &image.rgb[static_cast<size_t>(y) * image.width * 3];
    for (int x = 0; x < image.width; ++x) {
      out.push_back(row[x * 3 + 2]);
      out.push_back(row[x * 3 + 1]);
      out.push_back(row[x * 3 + 0]);
    }
  }
  return out;
}

}  // namespace media
