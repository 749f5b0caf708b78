#include "texload/image_writers.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace texload_test {

namespace {

using Bytes = std::vector<uint8_t>;

void u8(Bytes& out, uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
void u16(Bytes& out, uint32_t v) {
  u8(out, v);
  u8(out, v >> 8);
}
void u32(Bytes& out, uint32_t v) {
  u16(out, v & 0xFFFF);
  u16(out, v >> 16);
}

uint32_t channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

// An 8-bit value as a field of `bits` bits: its top bits, or for wider
// fields the value widened by repeating it.
uint32_t to_field(uint32_t value, int bits) {
  if (bits <= 8) return value >> (8 - bits);
  return (value << (bits - 8)) | (value >> (16 - bits));
}

uint32_t pack(uint32_t argb, const uint32_t masks[4]) {
  const int shifts[4] = {16, 8, 0, 24};
  uint32_t packed = 0;
  for (int i = 0; i < 4; ++i) {
    if (masks[i] == 0) continue;
    packed |= to_field(channel(argb, shifts[i]), std::popcount(masks[i])) << std::countr_zero(masks[i]);
  }
  return packed;
}

std::vector<uint32_t> distinct_colours(const Picture& p) {
  std::vector<uint32_t> colours;
  for (uint32_t t : p.texels) {
    if (std::find(colours.begin(), colours.end(), t) == colours.end()) colours.push_back(t);
  }
  return colours;
}

size_t index_of(const std::vector<uint32_t>& colours, uint32_t t) {
  return static_cast<size_t>(std::find(colours.begin(), colours.end(), t) - colours.begin());
}

// One row of indices as RLE8 or RLE4: runs for repeats, absolute runs for
// three or more differing indices, single runs for one or two.
void rle_row(Bytes& out, const std::vector<uint8_t>& row, bool rle4) {
  size_t x = 0;
  while (x < row.size()) {
    size_t run = 1;
    while (x + run < row.size() && row[x + run] == row[x] && run < 255) ++run;
    if (run >= 2) {
      u8(out, static_cast<uint32_t>(run));
      u8(out, rle4 ? (row[x] << 4 | row[x]) : row[x]);
      x += run;
      continue;
    }
    size_t literal = 1;
    while (x + literal < row.size() && literal < 255 &&
           !(x + literal + 1 < row.size() && row[x + literal] == row[x + literal + 1])) {
      ++literal;
    }
    if (literal < 3) {
      for (size_t i = 0; i < literal; ++i) {
        u8(out, 1);
        u8(out, rle4 ? row[x + i] << 4 : row[x + i]);
      }
    } else {
      u8(out, 0);
      u8(out, static_cast<uint32_t>(literal));
      Bytes data;
      for (size_t i = 0; i < literal; ++i) {
        if (!rle4) {
          data.push_back(row[x + i]);
        } else if (i % 2 == 0) {
          data.push_back(static_cast<uint8_t>(row[x + i] << 4));
        } else {
          data.back() |= row[x + i];
        }
      }
      if (data.size() % 2) data.push_back(0);
      out.insert(out.end(), data.begin(), data.end());
    }
    x += literal;
  }
}

}  // namespace

Picture Picture::mirrored(bool left_right, bool top_bottom) const {
  Picture m = *this;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      m.texels[static_cast<size_t>(y) * width + x] =
          at(left_right ? width - 1 - x : x, top_bottom ? height - 1 - y : y);
    }
  }
  return m;
}

Picture pattern_picture(int width, int height, const std::vector<uint32_t>& colours) {
  Picture p{width, height, {}};
  const int n = static_cast<int>(colours.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int k = (x / 3) * 5 + y * 2 + (x == width - 1 ? 1 : 0) + (x == 1 && y == 0 ? 3 : 0);
      p.texels.push_back(colours[static_cast<size_t>(k % n)]);
    }
  }
  return p;
}

uint32_t quantise(uint32_t argb, int red_bits, int green_bits, int blue_bits, int alpha_bits) {
  auto keep = [](uint32_t v, int bits) {
    const uint32_t field = v >> (8 - bits);
    uint32_t wide = 0;
    for (int at = 8 - bits;; at -= bits) {
      wide |= at >= 0 ? field << at : field >> -at;
      if (at <= 0) break;
    }
    return wide & 0xFF;
  };
  const uint32_t a = alpha_bits == 0 ? 0xFF : keep(channel(argb, 24), alpha_bits);
  return a << 24 | keep(channel(argb, 16), red_bits) << 16 | keep(channel(argb, 8), green_bits) << 8 |
         keep(channel(argb, 0), blue_bits);
}

std::vector<uint32_t> quantise_all(std::vector<uint32_t> colours, int red_bits, int green_bits,
                                   int blue_bits, int alpha_bits) {
  for (uint32_t& c : colours) c = quantise(c, red_bits, green_bits, blue_bits, alpha_bits);
  return colours;
}

std::vector<uint8_t> write_bmp(const Picture& picture, const BmpLayout& layout) {
  const bool core = layout.header_bytes == 12;
  const bool rle = layout.compression == 1 || layout.compression == 2;
  const bool fields = layout.compression == 3 || layout.compression == 6;
  const int w = picture.width;
  const int h = picture.height;

  Bytes palette;
  std::vector<uint32_t> colours;
  if (layout.bits <= 8) {
    colours = distinct_colours(picture);
    const size_t entries = layout.palette_entries ? layout.palette_entries : 1u << layout.bits;
    if (colours.size() > entries) throw std::invalid_argument("too many colours for the palette");
    for (size_t i = 0; i < entries; ++i) {
      const uint32_t c = i < colours.size() ? colours[i] : 0xFF5A5A5A;
      u8(palette, c);
      u8(palette, c >> 8);
      u8(palette, c >> 16);
      if (!core) u8(palette, 0);
    }
  }

  Bytes pixels;
  const size_t stride = (static_cast<size_t>(w) * layout.bits + 31) / 32 * 4;
  for (int r = 0; r < h; ++r) {
    const int y = layout.top_down ? r : h - 1 - r;
    if (rle) {
      std::vector<uint8_t> row;
      for (int x = 0; x < w; ++x) row.push_back(static_cast<uint8_t>(index_of(colours, picture.at(x, y))));
      rle_row(pixels, row, layout.compression == 2);
      u16(pixels, 0);  // end of line
      continue;
    }
    Bytes row;
    for (int x = 0; x < w; ++x) {
      const uint32_t t = picture.at(x, y);
      switch (layout.bits) {
        case 1:
        case 4:
        case 8: {
          const uint32_t index = static_cast<uint32_t>(index_of(colours, t));
          const int per_byte = 8 / layout.bits;
          if (x % per_byte == 0) row.push_back(0);
          row.back() |= static_cast<uint8_t>(index << (8 - layout.bits * (x % per_byte + 1)));
          break;
        }
        case 16: u16(row, pack(t, layout.masks)); break;
        case 24: u8(row, t); u8(row, t >> 8); u8(row, t >> 16); break;
        case 32: u32(row, pack(t, layout.masks)); break;
      }
    }
    row.resize(stride, 0);
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  if (rle) pixels.back() = 1;  // the last end of line becomes end of bitmap

  Bytes header;
  u32(header, layout.header_bytes);
  if (core) {
    u16(header, w);
    u16(header, h);
    u16(header, 1);
    u16(header, layout.bits);
  } else {
    u32(header, w);
    u32(header, layout.top_down ? -h : h);
    u16(header, 1);
    u16(header, layout.bits);
    u32(header, layout.compression);
    u32(header, static_cast<uint32_t>(pixels.size()));
    u32(header, 2835);
    u32(header, 2835);
    u32(header, layout.palette_entries);
    u32(header, 0);
    const int trailing_masks = layout.header_bytes == 40 && fields ? (layout.compression == 6 ? 4 : 3) : 0;
    const int header_masks = layout.header_bytes >= 56 ? 4 : layout.header_bytes == 52 ? 3 : 0;
    for (int i = 0; i < trailing_masks + header_masks; ++i) u32(header, fields ? layout.masks[i] : 0);
    header.resize(layout.header_bytes + trailing_masks * 4, 0);
  }

  Bytes file = {'B', 'M'};
  const size_t offset = 14 + header.size() + palette.size() + layout.gap_bytes;
  u32(file, static_cast<uint32_t>(offset + pixels.size()));
  u32(file, 0);
  u32(file, static_cast<uint32_t>(offset));
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), palette.begin(), palette.end());
  file.resize(file.size() + layout.gap_bytes, 0xEE);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

std::vector<uint8_t> write_tga(const Picture& picture, const TgaLayout& layout) {
  const bool mapped = layout.type == 1;
  const std::vector<uint32_t> colours = mapped ? distinct_colours(picture) : std::vector<uint32_t>{};
  const uint32_t alpha_field[4] = {0x7C00, 0x03E0, 0x001F, 0x8000};
  auto colour_bytes = [&](Bytes& out, uint32_t c, int bits) {
    switch (bits) {
      case 15:
      case 16: u16(out, pack(c, alpha_field) & (layout.attribute_bits == 1 ? 0xFFFF : 0x7FFF)); break;
      case 24: u8(out, c); u8(out, c >> 8); u8(out, c >> 16); break;
      case 32: u32(out, c); break;
    }
  };

  Bytes file;
  const int map_entries = mapped ? static_cast<int>(colours.size()) : layout.stray_map_entries;
  u8(file, layout.id_bytes);
  u8(file, map_entries > 0 ? 1 : 0);
  u8(file, layout.type + (layout.run_length ? 8 : 0));
  u16(file, mapped ? layout.map_first : 0);
  u16(file, map_entries);
  u8(file, map_entries > 0 ? layout.map_entry_bits : 0);
  u16(file, 0);
  u16(file, 0);
  u16(file, picture.width);
  u16(file, picture.height);
  u8(file, layout.bits);
  u8(file, layout.attribute_bits | (layout.from_right ? 0x10 : 0) | (layout.from_top ? 0x20 : 0));
  file.resize(file.size() + layout.id_bytes, 'i');
  for (int i = 0; i < map_entries; ++i) {
    colour_bytes(file, mapped ? colours[static_cast<size_t>(i)] : 0xFF00FF00, layout.map_entry_bits);
  }

  // The pixels in stored order, each as its bytes.
  std::vector<Bytes> stored;
  for (int r = 0; r < picture.height; ++r) {
    for (int s = 0; s < picture.width; ++s) {
      const uint32_t t = picture.at(layout.from_right ? picture.width - 1 - s : s,
                                    layout.from_top ? r : picture.height - 1 - r);
      Bytes p;
      if (mapped) {
        const uint32_t index = static_cast<uint32_t>(layout.map_first + index_of(colours, t));
        layout.bits == 8 ? u8(p, index) : u16(p, index);
      } else if (layout.type == 3) {
        u8(p, t);  // grey: blue equals red equals green
        if (layout.bits == 16) u8(p, t >> 24);
      } else {
        colour_bytes(p, t, layout.bits);
      }
      stored.push_back(p);
    }
  }
  if (!layout.run_length) {
    for (const Bytes& p : stored) file.insert(file.end(), p.begin(), p.end());
    return file;
  }
  // Packets over the whole stream, across rows: runs of repeats, raw packets
  // for the rest, at most 128 pixels each.
  size_t k = 0;
  while (k < stored.size()) {
    size_t run = 1;
    while (k + run < stored.size() && stored[k + run] == stored[k] && run < 128) ++run;
    if (run >= 2) {
      u8(file, 0x80 | (run - 1));
      file.insert(file.end(), stored[k].begin(), stored[k].end());
      k += run;
      continue;
    }
    size_t raw = 1;
    while (k + raw < stored.size() && raw < 128 &&
           !(k + raw + 1 < stored.size() && stored[k + raw] == stored[k + raw + 1])) {
      ++raw;
    }
    u8(file, static_cast<uint32_t>(raw - 1));
    for (size_t i = 0; i < raw; ++i) file.insert(file.end(), stored[k + i].begin(), stored[k + i].end());
    k += raw;
  }
  return file;
}

}  // namespace texload_test
