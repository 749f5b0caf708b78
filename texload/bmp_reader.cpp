// Windows bitmaps of every header generation (OS/2 1.x core header, the
// Windows 3 info header with or without trailing masks, the 52- and 56-byte
// variants, V4, V5): 1/4/8-bit palettes, RLE8 and RLE4, 16/24/32 bits with or
// without bit fields, bottom-up and top-down. Checked here and rewritten in
// the one plain form stb_image reads exactly.
//
// stb alone would mis-read several of these: it cannot do RLE, it takes its
// palette size from the pixel offset (reading uninitialised entries when the
// palette is short, and mis-counting OS/2 palettes), it refuses any gap before
// 16/24/32-bit pixel data, reads masks past a 56-byte header, and decodes a
// truncated file as if the missing bytes were zero.
#include <algorithm>
#include <bit>

#include "texload/texload_local.h"

namespace texload {

namespace {

// BITMAPFILEHEADER: "BM", file size, two reserved words, offset of the pixels.
constexpr size_t kFileHeaderBytes = 14;

// biSize of each header generation.
constexpr uint32_t kCoreHeaderBytes = 12;      // OS/2 1.x BITMAPCOREHEADER
constexpr uint32_t kInfoHeaderBytes = 40;      // BITMAPINFOHEADER
constexpr uint32_t kRgbMaskHeaderBytes = 52;   // info header + RGB masks
constexpr uint32_t kRgbaMaskHeaderBytes = 56;  // info header + RGBA masks
constexpr uint32_t kV4HeaderBytes = 108;       // BITMAPV4HEADER
constexpr uint32_t kV5HeaderBytes = 124;       // BITMAPV5HEADER

// biCompression.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

// Where the RGBA masks start: right after the 40 bytes common to every
// header but the core one, whether inside a longer header or after the
// 40-byte one.
constexpr size_t kMasksOffset = kFileHeaderBytes + kInfoHeaderBytes;

// 72 dots per inch, in dots per metre: what the canonical header claims.
constexpr uint32_t kDotsPerMetre = 2835;

// LCS_sRGB, the colour space of the canonical V4 header.
constexpr uint32_t kSrgbColourSpace = 0x73524742;

struct BmpHeader {
  uint32_t pixel_offset = 0;
  uint32_t header_bytes = 0;
  int width = 0;
  int rows = 0;
  bool top_down = false;
  int bits = 0;
  uint32_t compression = kBiRgb;
  uint32_t colours_used = 0;
  uint32_t masks[4] = {};  // red, green, blue, alpha
  size_t header_end = 0;   // first byte after the header and any trailing masks
};

ImageError read_header(const Bytes& in, BmpHeader& h) {
  TEXLOAD_CHECK(in.has(0, kFileHeaderBytes + 4), ImageError::kTruncated);
  h.pixel_offset = in.u32le(10);
  h.header_bytes = in.u32le(14);
  const uint32_t size = h.header_bytes;
  TEXLOAD_CHECK(size == kCoreHeaderBytes || size == kInfoHeaderBytes ||
                    size == kRgbMaskHeaderBytes || size == kRgbaMaskHeaderBytes ||
                    size == kV4HeaderBytes || size == kV5HeaderBytes,
                ImageError::kUnsupported);
  TEXLOAD_CHECK(in.has(kFileHeaderBytes, size), ImageError::kTruncated);
  h.header_end = kFileHeaderBytes + size;

  int64_t height = 0;
  if (size == kCoreHeaderBytes) {
    // The core header's sizes are unsigned words: always bottom-up.
    h.width = in.u16le(18);
    height = in.u16le(20);
    h.bits = in.u16le(24);
  } else {
    h.width = static_cast<int32_t>(in.u32le(18));
    height = static_cast<int32_t>(in.u32le(22));
    h.bits = in.u16le(28);
    h.compression = in.u32le(30);
    h.colours_used = in.u32le(46);
  }
  // The planes field is not checked: it is always 1 in practice, and some
  // writers leave it 0 without meaning anything else.
  TEXLOAD_CHECK(h.width > 0 && height != 0, ImageError::kCorrupt);
  h.top_down = height < 0;
  const int64_t rows = height < 0 ? -height : height;
  TEXLOAD_CHECK(h.width <= kMaxImageSide && rows <= kMaxImageSide, ImageError::kTooLarge);
  h.rows = static_cast<int>(rows);

  switch (h.compression) {
    case kBiRgb:
      TEXLOAD_CHECK(h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 ||
                        h.bits == 32,
                    ImageError::kCorrupt);
      break;
    case kBiRle8:
      TEXLOAD_CHECK(h.bits == 8, ImageError::kCorrupt);
      break;
    case kBiRle4:
      TEXLOAD_CHECK(h.bits == 4, ImageError::kCorrupt);
      break;
    case kBiBitfields:
    case kBiAlphaBitfields: {
      TEXLOAD_CHECK(h.bits == 16 || h.bits == 32, ImageError::kCorrupt);
      const int mask_count = h.compression == kBiAlphaBitfields ? 4 : 3;
      if (size == kInfoHeaderBytes) {
        // The masks follow the 40-byte header.
        h.header_end += 4 * static_cast<size_t>(mask_count);
        TEXLOAD_CHECK(in.has(kMasksOffset, 4 * static_cast<size_t>(mask_count)),
                      ImageError::kTruncated);
      } else if (size == kRgbMaskHeaderBytes) {
        TEXLOAD_CHECK(mask_count == 3, ImageError::kCorrupt);
      }
      for (int i = 0; i < mask_count; ++i) h.masks[i] = in.u32le(kMasksOffset + 4 * i);
      // Headers that have room for an alpha mask carry it with plain bit fields too.
      if (size >= kRgbaMaskHeaderBytes) h.masks[3] = in.u32le(kMasksOffset + 12);
      break;
    }
    default:
      // JPEG and PNG inside a bitmap, and the OS/2 Huffman and RLE24 codings.
      return ImageError::kUnsupported;
  }
  TEXLOAD_CHECK(h.pixel_offset >= h.header_end, ImageError::kCorrupt);
  return ImageError::kNone;
}

// stb reads channels of at most 8 bits and assumes each mask is one run of
// bits. A wider run keeps only its top 8 bits, which is exactly the 8-bit
// value of that channel (10-bit channels, for example).
ImageError fit_mask(uint32_t& mask) {
  if (mask == 0) return ImageError::kNone;
  const int low = std::countr_zero(mask);
  const uint32_t run = mask >> low;
  TEXLOAD_CHECK((run & (run + 1)) == 0, ImageError::kCorrupt);
  const int width = std::popcount(mask);
  if (width > 8) mask &= ~uint32_t{0} << (low + width - 8);
  return ImageError::kNone;
}

size_t row_stride_bytes(int width, int bits) {
  // Rows are padded to a multiple of four bytes.
  return (static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32 * 4;
}

void put_file_header(std::vector<uint8_t>& out, size_t total_bytes, size_t pixel_offset) {
  out.push_back('B');
  out.push_back('M');
  put_u32le(out, static_cast<uint32_t>(total_bytes));
  put_u32le(out, 0);
  put_u32le(out, static_cast<uint32_t>(pixel_offset));
}

// The first 40 bytes of the canonical header.
void put_info_header(std::vector<uint8_t>& out, uint32_t header_bytes, const BmpHeader& h,
                     int bits, uint32_t compression, size_t image_bytes, uint32_t colours) {
  put_u32le(out, header_bytes);
  put_u32le(out, static_cast<uint32_t>(h.width));
  put_u32le(out, static_cast<uint32_t>(h.top_down ? -h.rows : h.rows));
  put_u16le(out, 1);
  put_u16le(out, static_cast<uint32_t>(bits));
  put_u32le(out, compression);
  put_u32le(out, static_cast<uint32_t>(image_bytes));
  put_u32le(out, kDotsPerMetre);
  put_u32le(out, kDotsPerMetre);
  put_u32le(out, colours);
  put_u32le(out, 0);
}

ImageError canonical_palette_bmp(const Bytes& in, const BmpHeader& h, std::vector<uint8_t>& out) {
  const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  // Run-length data is expanded to one byte per index.
  const int out_bits = rle ? 8 : h.bits;
  const uint32_t out_colours = 1u << out_bits;

  // The palette holds biClrUsed entries (0: all 2^bits); OS/2 entries are
  // BGR, the others BGR and a reserved byte. Some writers count entries they
  // leave out, so only what lies before the pixel data is read.
  const size_t entry_bytes = h.header_bytes == kCoreHeaderBytes ? 3 : 4;
  const uint32_t max_colours = 1u << h.bits;
  size_t colours = h.colours_used == 0 || h.colours_used > max_colours ? max_colours
                                                                        : h.colours_used;
  colours = std::min(colours, (h.pixel_offset - h.header_end) / entry_bytes);
  TEXLOAD_CHECK(colours > 0, ImageError::kCorrupt);
  TEXLOAD_CHECK(in.has(h.header_end, colours * entry_bytes), ImageError::kTruncated);

  const size_t out_stride = row_stride_bytes(h.width, out_bits);
  const size_t image_bytes = out_stride * static_cast<size_t>(h.rows);
  std::vector<uint8_t> expanded;
  if (rle) {
    const Bytes data(in.data() + std::min<size_t>(h.pixel_offset, in.size_bytes()),
                     in.size_bytes() - std::min<size_t>(h.pixel_offset, in.size_bytes()));
    const ImageError error = expand_bmp_rle(data, h.bits, h.width, h.rows, out_stride, expanded);
    if (error != ImageError::kNone) return error;
  } else {
    TEXLOAD_CHECK(in.has(h.pixel_offset, image_bytes), ImageError::kTruncated);
  }

  const size_t pixel_offset = kFileHeaderBytes + kInfoHeaderBytes + 4 * size_t{out_colours};
  out.clear();
  out.reserve(pixel_offset + image_bytes);
  put_file_header(out, pixel_offset + image_bytes, pixel_offset);
  put_info_header(out, kInfoHeaderBytes, h, out_bits, kBiRgb, image_bytes, out_colours);
  // A full palette: indices past the file's entries show black rather than
  // whatever stb's palette array happened to hold.
  for (size_t i = 0; i < out_colours; ++i) {
    const size_t at = h.header_end + i * entry_bytes;
    const bool present = i < colours;
    out.push_back(present ? in.u8(at + 0) : 0);
    out.push_back(present ? in.u8(at + 1) : 0);
    out.push_back(present ? in.u8(at + 2) : 0);
    out.push_back(0);
  }
  if (rle) {
    out.insert(out.end(), expanded.begin(), expanded.end());
  } else {
    const uint8_t* pixels = in.data() + h.pixel_offset;
    out.insert(out.end(), pixels, pixels + image_bytes);
  }
  return ImageError::kNone;
}

ImageError canonical_direct_bmp(const Bytes& in, BmpHeader& h, std::vector<uint8_t>& out) {
  uint32_t compression = kBiBitfields;
  if (h.bits == 24) {
    compression = kBiRgb;
    for (uint32_t& mask : h.masks) mask = 0;
  } else if (h.compression == kBiRgb) {
    // The defaults of plain 16- and 32-bit bitmaps: X1R5G5B5 and, for 32
    // bits, the fourth byte taken as alpha (an all-zero alpha counts as
    // opaque later, which covers the writers that leave it unused).
    if (h.bits == 16) {
      h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F, h.masks[3] = 0;
    } else {
      h.masks[0] = 0x00FF0000, h.masks[1] = 0x0000FF00, h.masks[2] = 0x000000FF;
      h.masks[3] = 0xFF000000;
    }
  }
  if (compression == kBiBitfields) {
    if (h.bits == 16) {
      for (uint32_t& mask : h.masks) mask &= 0xFFFF;
    }
    for (uint32_t& mask : h.masks) {
      const ImageError error = fit_mask(mask);
      if (error != ImageError::kNone) return error;
    }
    // Colour needs all three channels.
    TEXLOAD_CHECK(h.masks[0] != 0 && h.masks[1] != 0 && h.masks[2] != 0, ImageError::kCorrupt);
  }

  const size_t stride = row_stride_bytes(h.width, h.bits);
  const size_t image_bytes = stride * static_cast<size_t>(h.rows);
  TEXLOAD_CHECK(in.has(h.pixel_offset, image_bytes), ImageError::kTruncated);

  const size_t pixel_offset = kFileHeaderBytes + kV4HeaderBytes;
  out.clear();
  out.reserve(pixel_offset + image_bytes);
  put_file_header(out, pixel_offset + image_bytes, pixel_offset);
  put_info_header(out, kV4HeaderBytes, h, h.bits, compression, image_bytes, 0);
  for (uint32_t mask : h.masks) put_u32le(out, mask);
  put_u32le(out, kSrgbColourSpace);
  // CIE endpoints (9 words) and gamma (3 words), unused with sRGB.
  for (int i = 0; i < 12; ++i) put_u32le(out, 0);
  const uint8_t* pixels = in.data() + h.pixel_offset;
  out.insert(out.end(), pixels, pixels + image_bytes);
  return ImageError::kNone;
}

}  // namespace

bool looks_like_bmp(const Bytes& in) { return in.u8(0) == 'B' && in.u8(1) == 'M'; }

ImageError canonical_bmp(const Bytes& in, std::vector<uint8_t>& out) {
  BmpHeader h;
  const ImageError error = read_header(in, h);
  if (error != ImageError::kNone) return error;
  return h.bits <= 8 ? canonical_palette_bmp(in, h, out) : canonical_direct_bmp(in, h, out);
}

}  // namespace texload
