// Targa images: true-colour (15/16/24/32 bits), grey (8 bits, or 16 with
// alpha) and colour-mapped (8- or 16-bit indices into 15/16/24/32-bit
// entries), each raw or run-length coded, in all four origins. Checked here
// and rewritten in the one plain form stb_image reads exactly.
//
// stb alone ignores the right-to-left origins, skips a colour map's first
// index as if it were a count of bytes, drops the alpha bit of 16-bit
// pixels, and decodes a truncated file (run-length coded or not) as if the
// missing bytes were zero.
#include <algorithm>

#include "texload/texload_local.h"

namespace texload {

namespace {

// The header: id length, colour map type, image type, colour map first
// index, length and entry size, x and y origin, width, height, bits per
// pixel, descriptor.
constexpr size_t kHeaderBytes = 18;

// Image types; adding kRunLength gives the run-length coded form.
constexpr int kColourMapped = 1;
constexpr int kTrueColour = 2;
constexpr int kGrey = 3;
constexpr int kRunLength = 8;

// Descriptor bits: the number of attribute (alpha) bits per pixel, and where
// the first stored pixel lies.
constexpr uint8_t kAttributeBitsMask = 0x0F;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;
// Bits 6-7: the interleaved row orders of the first Targa revision.
constexpr uint8_t kInterleaveMask = 0xC0;

// A run-length packet's first byte: the top bit marks a run of one repeated
// pixel, the low seven bits hold the pixel count minus one.
constexpr uint8_t kRunPacket = 0x80;

struct TgaHeader {
  int type = 0;  // without kRunLength
  bool run_length = false;
  bool has_map = false;
  int map_first = 0;
  int map_length = 0;
  int map_entry_bits = 0;
  int width = 0;
  int height = 0;
  int bits = 0;
  uint8_t descriptor = 0;
  size_t map_start = 0;
  size_t pixel_start = 0;
};

int bytes_for_bits(int bits) { return (bits + 7) / 8; }

bool is_entry_bits(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// A Targa file has no signature, so a header that breaks the format's rules
// means "not a Targa image" rather than "a corrupt one".
ImageError read_header(const Bytes& in, TgaHeader& h) {
  TEXLOAD_CHECK(in.has(0, kHeaderBytes), ImageError::kUnknownFormat);
  const int id_bytes = in.u8(0);
  const int map_type = in.u8(1);
  const int type = in.u8(2);
  h.type = type & ~kRunLength;
  h.run_length = (type & kRunLength) != 0;
  h.map_first = in.u16le(3);
  h.map_length = in.u16le(5);
  h.map_entry_bits = in.u8(7);
  h.width = in.u16le(12);
  h.height = in.u16le(14);
  h.bits = in.u8(16);
  h.descriptor = in.u8(17);
  TEXLOAD_CHECK(map_type <= 1, ImageError::kUnknownFormat);
  TEXLOAD_CHECK(type == h.type || type == (h.type | kRunLength), ImageError::kUnknownFormat);
  h.has_map = map_type == 1;
  switch (h.type) {
    case kColourMapped:
      TEXLOAD_CHECK(h.has_map && (h.bits == 8 || h.bits == 16), ImageError::kUnknownFormat);
      TEXLOAD_CHECK(is_entry_bits(h.map_entry_bits) && h.map_length > 0,
                    ImageError::kUnknownFormat);
      break;
    case kTrueColour:
      TEXLOAD_CHECK(h.bits == 15 || h.bits == 16 || h.bits == 24 || h.bits == 32,
                    ImageError::kUnknownFormat);
      break;
    case kGrey:
      TEXLOAD_CHECK(h.bits == 8 || h.bits == 16, ImageError::kUnknownFormat);
      break;
    default:
      return ImageError::kUnknownFormat;
  }
  // A colour map may come with a true-colour or grey image; it is skipped.
  TEXLOAD_CHECK(!h.has_map || (h.map_entry_bits > 0 && h.map_entry_bits <= 32),
                ImageError::kUnknownFormat);
  TEXLOAD_CHECK(h.width > 0 && h.height > 0, ImageError::kUnknownFormat);
  TEXLOAD_CHECK(h.width <= kMaxImageSide && h.height <= kMaxImageSide, ImageError::kTooLarge);
  TEXLOAD_CHECK((h.descriptor & kInterleaveMask) == 0, ImageError::kUnsupported);

  h.map_start = kHeaderBytes + static_cast<size_t>(id_bytes);
  const size_t map_bytes =
      h.has_map ? static_cast<size_t>(h.map_length) * bytes_for_bits(h.map_entry_bits) : 0;
  h.pixel_start = h.map_start + map_bytes;
  TEXLOAD_CHECK(in.has(0, h.pixel_start), ImageError::kTruncated);
  return ImageError::kNone;
}

// How stored colours become canonical ones: 15- and 16-bit colours widen to
// 24 bits, or to 32 when the descriptor gives them one attribute bit, which
// is then their alpha. The channels widen by repeating their top bits, as
// stb does for 16-bit bitmaps, so 0 stays 0 and 31 becomes 255.
struct ColourForm {
  int in_bytes = 0;
  int out_bytes = 0;
  bool widen = false;      // a 15- or 16-bit colour
  bool alpha_bit = false;  // its top bit is alpha
};

ColourForm colour_form(int bits, uint8_t descriptor) {
  if (bits != 15 && bits != 16) return ColourForm{bytes_for_bits(bits), bytes_for_bits(bits)};
  const bool alpha_bit = bits == 16 && (descriptor & kAttributeBitsMask) == 1;
  return ColourForm{2, alpha_bit ? 4 : 3, true, alpha_bit};
}

// Colour-mapped pixels (indices) and grey ones (a level, and alpha with 16
// bits) are copied as they are.
ColourForm copy_form(int bits) { return ColourForm{bytes_for_bits(bits), bytes_for_bits(bits)}; }

void put_colour(const ColourForm& form, const uint8_t* in, uint8_t* out) {
  if (!form.widen) {
    std::copy(in, in + form.out_bytes, out);
    return;
  }
  const unsigned pixel = static_cast<unsigned>(in[0] | in[1] << 8);
  auto widen = [](unsigned five) { return static_cast<uint8_t>(five << 3 | five >> 2); };
  out[0] = widen(pixel & 31);          // blue
  out[1] = widen((pixel >> 5) & 31);   // green
  out[2] = widen((pixel >> 10) & 31);  // red
  if (form.alpha_bit) out[3] = (pixel & 0x8000) ? 0xFF : 0x00;
}

}  // namespace

ImageError canonical_tga(const Bytes& in, std::vector<uint8_t>& out) {
  TgaHeader h;
  ImageError error = read_header(in, h);
  if (error != ImageError::kNone) return error;

  const bool mapped = h.type == kColourMapped;
  const ColourForm entry_form = colour_form(mapped ? h.map_entry_bits : 0, h.descriptor);
  const ColourForm pixel_form =
      mapped || h.type == kGrey ? copy_form(h.bits) : colour_form(h.bits, h.descriptor);
  const int in_pixel_bytes = pixel_form.in_bytes;
  const int out_pixel_bytes = pixel_form.out_bytes;

  // The canonical map starts at index 0: entries below the file's first
  // index stay zero, and no index can reach past what 16 bits can count.
  const size_t map_entries =
      mapped ? std::min<size_t>(static_cast<size_t>(h.map_first) + h.map_length, 0xFFFF) : 0;
  const size_t map_bytes = map_entries * static_cast<size_t>(entry_form.out_bytes);
  const size_t pixel_count = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);
  const size_t pixel_offset = kHeaderBytes + map_bytes;

  // Checked before the canonical copy is allocated, so a small file cannot
  // claim a large picture: raw data must all be there, and run-length data
  // needs at least a packet byte and one pixel per 128 pixels.
  const size_t least_bytes =
      h.run_length ? (pixel_count + 127) / 128 * static_cast<size_t>(1 + in_pixel_bytes)
                   : pixel_count * static_cast<size_t>(in_pixel_bytes);
  TEXLOAD_CHECK(in.has(h.pixel_start, least_bytes), ImageError::kTruncated);

  out.assign(pixel_offset + pixel_count * static_cast<size_t>(out_pixel_bytes), 0);
  out[1] = mapped ? 1 : 0;
  out[2] = static_cast<uint8_t>(h.type);
  out[5] = static_cast<uint8_t>(map_entries);
  out[6] = static_cast<uint8_t>(map_entries >> 8);
  out[7] = mapped ? static_cast<uint8_t>(entry_form.out_bytes * 8) : 0;
  out[12] = static_cast<uint8_t>(h.width);
  out[13] = static_cast<uint8_t>(h.width >> 8);
  out[14] = static_cast<uint8_t>(h.height);
  out[15] = static_cast<uint8_t>(h.height >> 8);
  out[16] = static_cast<uint8_t>(out_pixel_bytes * 8);
  const bool out_alpha = out_pixel_bytes == 4 || (h.type == kGrey && h.bits == 16) ||
                         (mapped && entry_form.out_bytes == 4);
  out[17] = static_cast<uint8_t>(kTopToBottom | (out_alpha ? 8 : 0));

  if (mapped) {
    const int in_entry_bytes = entry_form.in_bytes;
    for (int i = 0; i < h.map_length; ++i) {
      const size_t index = static_cast<size_t>(h.map_first) + static_cast<size_t>(i);
      if (index >= map_entries) break;
      put_colour(entry_form, in.data() + h.map_start + static_cast<size_t>(i) * in_entry_bytes,
                 out.data() + kHeaderBytes + index * static_cast<size_t>(entry_form.out_bytes));
    }
  }

  // Pixels are stored row after row from the origin the descriptor names;
  // the canonical image starts at the top left.
  const bool from_top = (h.descriptor & kTopToBottom) != 0;
  const bool from_right = (h.descriptor & kRightToLeft) != 0;
  auto place = [&](size_t k, const uint8_t* pixel) {
    const size_t stored_row = k / static_cast<size_t>(h.width);
    const size_t stored_column = k % static_cast<size_t>(h.width);
    const size_t row = from_top ? stored_row : static_cast<size_t>(h.height) - 1 - stored_row;
    const size_t column =
        from_right ? static_cast<size_t>(h.width) - 1 - stored_column : stored_column;
    const size_t target = row * static_cast<size_t>(h.width) + column;
    put_colour(pixel_form, pixel, out.data() + pixel_offset + target * out_pixel_bytes);
  };

  size_t at = h.pixel_start;
  if (!h.run_length) {
    for (size_t k = 0; k < pixel_count; ++k) place(k, in.data() + at + k * in_pixel_bytes);
    return ImageError::kNone;
  }
  // Packets may run across rows (many writers do so); one that runs past
  // the last pixel is cut there.
  size_t k = 0;
  while (k < pixel_count) {
    TEXLOAD_CHECK(in.has(at, 1), ImageError::kTruncated);
    const uint8_t packet = in.u8(at++);
    const size_t count = std::min<size_t>((packet & 0x7F) + 1u, pixel_count - k);
    if (packet & kRunPacket) {
      TEXLOAD_CHECK(in.has(at, in_pixel_bytes), ImageError::kTruncated);
      for (size_t i = 0; i < count; ++i) place(k++, in.data() + at);
      at += in_pixel_bytes;
    } else {
      TEXLOAD_CHECK(in.has(at, count * in_pixel_bytes), ImageError::kTruncated);
      for (size_t i = 0; i < count; ++i) place(k++, in.data() + at + i * in_pixel_bytes);
      at += count * in_pixel_bytes;
    }
  }
  return ImageError::kNone;
}

}  // namespace texload
