// The per-frame chroma callback and the chroma remap it is built on.
#include <algorithm>

#include "codec/codec_local.h"

namespace codec {

void (*FrameCallback)() = AdjustFrameChroma;

namespace {

// Rebuilt by every RemapChromaPlane call.
uint8_t remap_table[64];

}  // namespace

void AdjustFrameChroma() {
  RemapChromaPlane(1.0f, 0.0f, FramePixels + 1, 0, 0, 256, 256);
  RemapChromaPlane(1.0f, 0.0f, FramePixels + 2, 0, 0, 256, 256);
}

void RemapChromaPlane(float scale, float offset, uint8_t* plane, int32_t x0, int32_t y0,
                      int32_t x1, int32_t y1) {
  for (int i = 0; i < 64; ++i) {
    double g = (i - 32) * static_cast<double>(scale) + offset;
    // Written so that a NaN lands on the low end instead of reaching the
    // integer conversion.
    if (!(g >= -32)) {
      g = -32;
    } else if (g > 31) {
      g = 31;
    }
    remap_table[i] = static_cast<uint8_t>(static_cast<int>(g + 32));
  }

  // Only the chroma planes of the frame pixel buffer are remapped: the
  // rectangle is cut to the current frame, so every byte touched lies inside
  // the buffer.
  if (FramePixels == nullptr) return;
  const uintptr_t plane_offset =
      reinterpret_cast<uintptr_t>(plane) - reinterpret_cast<uintptr_t>(FramePixels);
  if (plane_offset < 1 || plane_offset > 2) return;
  const int32_t width = CurrentFrameHeader.width;
  const int32_t height = CurrentFrameHeader.height;
  const int32_t left = std::max(x0, 0);
  const int32_t top = std::max(y0, 0);
  const int32_t right = std::min(x1, width);
  const int32_t bottom = std::min(y1, height);
  if (left >= right || top >= bottom) return;

  // Chroma outside 0..63 (read as a signed byte) is clamped before the
  // lookup instead of reading past the 64 entries.
  uint8_t full[256];
  bool identity = true;
  for (int b = 0; b < 256; ++b) {
    const int value = static_cast<int8_t>(b);
    full[b] = remap_table[value < 0 ? 0 : std::min(value, 63)];
    identity = identity && (b >= 64 || full[b] == b);
  }
  for (int32_t y = top; y < bottom; ++y) {
    uint8_t* row = plane + static_cast<size_t>(y) * width * 4;
    if (identity) {
      // The table every frame's callback builds: only bytes outside 0..63
      // change, and a row whose plane bytes all lack both top bits needs
      // nothing. Read eight bytes at a time while a whole pixel follows them
      // (so the read stays inside the frame's pixels), then byte by byte.
      uint64_t seen = 0;
      int32_t x = left;
      for (; x + 3 <= right; x += 2) {
        uint64_t pair;
        std::memcpy(&pair, row + x * 4, sizeof pair);
        seen |= pair;
      }
      for (; x < right; ++x) seen |= row[x * 4];
      if ((seen & 0x000000C0000000C0u) == 0) continue;
    }
    for (int32_t x = left; x < right; ++x) row[x * 4] = full[row[x * 4]];
  }
}

}  // namespace codec
