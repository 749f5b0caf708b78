// The colour conversion table (luma and 6-bit chroma to R5G6B5), the codec's
// buffers that InitClipCodec allocates, and the conversion of a frame.
#include <cmath>
#include <new>

#include "codec/codec_local.h"

namespace codec {

uint16_t* ColourTable = nullptr;
uint8_t* ChromaRowBuffer = nullptr;
uint8_t* LumaRowBuffer = nullptr;
uint8_t* LumaPlane = nullptr;
uint8_t* DecodedStream = nullptr;

CodecFaults faults;

namespace {

bool table_built = false;

// ColourTable again, indexed Y | Cr << 8 | Cb << 14: neighbouring pixels
// mostly share their chroma and differ in luma, so here their entries lie
// side by side. In ColourTable's order (luma above chroma) a row's lookups
// land 8 KiB apart, where they evict one another from the caches; the
// conversion ran three times slower.
uint16_t* luma_first_table = nullptr;

inline uint32_t luma_first_index(uint32_t luma, uint32_t cr, uint32_t cb) {
  return luma | cr << 8 | cb << 14;
}

void build_luma_first_table() {
  for (uint32_t cb = 0; cb < 64; ++cb) {
    for (uint32_t cr = 0; cr < 64; ++cr) {
      uint16_t* out = luma_first_table + luma_first_index(0, cr, cb);
      for (uint32_t luma = 0; luma < 256; ++luma) out[luma] = ColourTable[luma << 12 | cr << 6 | cb];
    }
  }
}

// Zeroed, so that the stale bytes later frames may read are the same on
// every run.
template <typename T>
bool allocate(T** buffer, size_t count) {
  if (*buffer != nullptr) return true;
  if (faults.fail_allocation_after == 0) return false;
  if (faults.fail_allocation_after > 0) --faults.fail_allocation_after;
  *buffer = new (std::nothrow) T[count]();
  return *buffer != nullptr;
}

// Steps 5 to 7 of an entry: clamp, truncate, keep the top bits.
inline int channel(float value) {
  if (value < 0) {
    value = 0;
  } else if (value > 255) {
    value = 255;
  }
  return static_cast<int>(value);
}

inline uint16_t pack_565(int r, int g, int b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// The luma rows whose chroma is not rolled off: there u and v do not depend
// on the luma, R depends only on (Y, Cr), B only on (Y, Cb), and only G needs
// all three. Same operations in the same order as colour_table_entry, so
// the same bits.
constexpr int kFirstPlainLuma = 16;
constexpr int kLastPlainLuma = 248;

}  // namespace

void build_colour_table() {
  double u_blue[64], u_green[64], v_red[64], v_green[64];
  for (int c = 0; c < 64; ++c) {
    const float uv = static_cast<float>(c * 4 - 128);
    u_blue[c] = uv * 2.018;
    u_green[c] = uv * 0.391;
    v_red[c] = uv * 1.596;
    v_green[c] = uv * 0.813;
  }
  for (int luma = 0; luma < 256; ++luma) {
    uint16_t* rows = ColourTable + (luma << 12);
    if (luma < kFirstPlainLuma || luma > kLastPlainLuma) {
      for (int cr = 0; cr < 64; ++cr) {
        for (int cb = 0; cb < 64; ++cb) rows[cr << 6 | cb] = colour_table_entry(luma, cr, cb);
      }
      continue;
    }
    const double t = (static_cast<float>(luma) - 16) * 1.164;
    uint16_t blue_bits[64];
    for (int cb = 0; cb < 64; ++cb) {
      blue_bits[cb] = static_cast<uint16_t>(channel(static_cast<float>(t + u_blue[cb])) >> 3);
    }
    for (int cr = 0; cr < 64; ++cr) {
      const uint16_t red_bits =
          static_cast<uint16_t>((channel(static_cast<float>(t + v_red[cr])) >> 3) << 11);
      const double tv = t - v_green[cr];
      uint16_t* row = rows + (cr << 6);
      for (int cb = 0; cb < 64; ++cb) {
        const int g = channel(static_cast<float>(tv - u_green[cb]));
        row[cb] = static_cast<uint16_t>(red_bits | (g >> 2) << 5 | blue_bits[cb]);
      }
    }
  }
  if (luma_first_table != nullptr) build_luma_first_table();
}

namespace {

inline uint32_t clamp_chroma(uint32_t byte) {
  const int value = static_cast<int8_t>(byte);
  return value < 0 ? 0u : (value > 63 ? 63u : static_cast<uint32_t>(value));
}

}  // namespace

uint16_t colour_table_entry(int luma, int cr, int cb) {
  const float y = static_cast<float>(luma);
  float u = static_cast<float>(cb * 4 - 128);
  float v = static_cast<float>(cr * 4 - 128);
  if (y > 248) {
    const double d = y - (248 - y) * 0.01;
    u = static_cast<float>(u / d);
    v = static_cast<float>(v / d);
  }
  if (y < 16) {
    const float d = std::fabs(16 - y);
    u = u / d;
    v = v / d;
  }
  const double t = (y - 16) * 1.164;
  const float b = static_cast<float>(t + u * 2.018);
  const float g = static_cast<float>(t - v * 0.813 - u * 0.391);
  const float r = static_cast<float>(t + v * 1.596);
  return pack_565(channel(r), channel(g), channel(b));
}

int InitClipCodec() {
  if (!allocate(&ColourTable, kColourTableEntries)) return -1;
  if (!allocate(&luma_first_table, kColourTableEntries)) return -1;
  if (!allocate(&ChromaRowBuffer, kWorkBufferBytes)) return -1;
  if (!allocate(&LumaRowBuffer, kWorkBufferBytes)) return -1;
  if (!allocate(&LumaPlane, kWorkBufferBytes)) return -1;
  if (!allocate(&DecodedStream, kDecodedStreamBytes)) return -1;
  // The frame pixel buffer is allocated before main; when that failed, this
  // is the start-up step that can still say so.
  if (FramePixels == nullptr && !AllocFramePixels()) return -1;
  if (!table_built) {
    build_colour_table();
    table_built = true;
  }
  return 1;
}

bool allocate_frame_pixels(uint8_t** buffer) { return allocate(buffer, kFramePixelBytes); }

namespace {

// Chroma outside 0..63 (as a signed byte) clamped into range, the luma and
// fourth byte kept.
inline uint32_t clamp_pixel_chroma(uint32_t word) {
  return (word & 0xFF0000FFu) | clamp_chroma(word >> 8 & 0xFF) << 8 |
         clamp_chroma(word >> 16 & 0xFF) << 16;
}

// A pixel word (Y, Cr, Cb, unused) with chroma in range as its index into
// luma_first_table: Y and Cr are already in place; Cb moves down from bit 16
// to bit 14.
inline uint32_t pixel_index(uint32_t word) { return (word & 0x3FFFu) | (word >> 2 & 0xFC000u); }

constexpr uint32_t kChromaOutOfRange = 0x00C0C000u;
constexpr uint64_t kPairChromaOutOfRange = uint64_t{kChromaOutOfRange} << 32 | kChromaOutOfRange;

// One row of the conversion, two pixels at a time (one check for both, one
// store for both entries). With kWriteBack the clamped chroma also goes back
// into the pixels, as the frame callback's identity remap leaves them.
template <bool kWriteBack, typename Byte>
void convert_row(Byte* source, uint16_t* row, int32_t width) {
  int32_t x = 0;
  for (; x + 2 <= width; x += 2, source += 8) {
    uint64_t pair;
    std::memcpy(&pair, source, sizeof pair);
    uint32_t first = static_cast<uint32_t>(pair);
    uint32_t second = static_cast<uint32_t>(pair >> 32);
    if (pair & kPairChromaOutOfRange) {
      first = clamp_pixel_chroma(first);
      second = clamp_pixel_chroma(second);
      if constexpr (kWriteBack) {
        const uint64_t clamped = uint64_t{second} << 32 | first;
        std::memcpy(source, &clamped, sizeof clamped);
      }
    }
    // Both indices at once, in the two halves of one word.
    const uint64_t words = uint64_t{second} << 32 | first;
    const uint64_t indices = (words & 0x00003FFF00003FFFu) | (words >> 2 & 0x000FC000000FC000u);
    const uint32_t both = luma_first_table[static_cast<uint32_t>(indices)] |
                          static_cast<uint32_t>(luma_first_table[indices >> 32]) << 16;
    std::memcpy(row + x, &both, sizeof both);
  }
  if (x < width) {
    uint32_t word = load_le32(source);
    if (word & kChromaOutOfRange) {
      word = clamp_pixel_chroma(word);
      if constexpr (kWriteBack) std::memcpy(source, &word, sizeof word);
    }
    row[x] = luma_first_table[pixel_index(word)];
  }
}

}  // namespace

void ConvertFrameToRgb16(const uint8_t* pixels, uint16_t* output, int32_t pitch_bytes,
                         int32_t width, int32_t height) {
  const int32_t stride = pitch_bytes >> 1;
  const uint8_t* source = pixels;
  for (int32_t y = 0; y < height; ++y) {
    convert_row<false>(source, output + static_cast<ptrdiff_t>(y) * stride, width);
    source += static_cast<size_t>(width) * 4;
  }
}

void convert_frame_clamping_chroma(uint8_t* pixels, uint16_t* output, int32_t width,
                                   int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    convert_row<true>(pixels, output + static_cast<ptrdiff_t>(y) * width, width);
    pixels += static_cast<size_t>(width) * 4;
  }
}

}  // namespace codec
