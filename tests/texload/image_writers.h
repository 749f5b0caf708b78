// Writers of Windows bitmaps and Targa files, byte by byte, for the loader's
// tests: every layout a user's file may have, from a picture whose colours
// the layout holds exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace texload_test {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> texels;  // 0xAARRGGBB, top row first

  uint32_t at(int x, int y) const { return texels[static_cast<size_t>(y) * width + x]; }
  Picture mirrored(bool left_right, bool top_bottom) const;
};

// `width` x `height` texels drawn from `colours` in an irregular pattern with
// runs of equal texels, so a decode that flips, shifts or mis-runs them
// cannot match.
Picture pattern_picture(int width, int height, const std::vector<uint32_t>& colours);

// Each channel kept to its top bits and widened back by repeating them:
// the colour a field of that many bits holds exactly. Alpha bits 0: opaque.
uint32_t quantise(uint32_t argb, int red_bits, int green_bits, int blue_bits, int alpha_bits);
std::vector<uint32_t> quantise_all(std::vector<uint32_t> colours, int red_bits, int green_bits,
                                   int blue_bits, int alpha_bits);

struct BmpLayout {
  int bits = 24;
  uint32_t header_bytes = 40;  // 12, 40, 52, 56, 108 or 124
  uint32_t compression = 0;    // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields and alpha
  bool top_down = false;
  // 16 and 32 bits: the fields the texels are written with (for plain
  // files, the format's defaults); written into the header with bit fields.
  uint32_t masks[4] = {};
  int palette_entries = 0;  // 0: 2^bits, biClrUsed 0; else that many, in biClrUsed
  uint32_t gap_bytes = 0;   // unused bytes between the header or palette and the pixels
};
std::vector<uint8_t> write_bmp(const Picture& picture, const BmpLayout& layout);

struct TgaLayout {
  int type = 2;  // 1 colour-mapped, 2 true colour, 3 grey
  bool run_length = false;
  int bits = 24;  // per pixel (an index for colour-mapped images)
  int map_entry_bits = 24;
  int map_first = 0;          // index of the first colour-map entry
  int stray_map_entries = 0;  // a colour map of this many entries on a true-colour image
  bool from_top = false;
  bool from_right = false;
  int attribute_bits = 0;
  int id_bytes = 0;
};
std::vector<uint8_t> write_tga(const Picture& picture, const TgaLayout& layout);

}  // namespace texload_test
