// Helpers the codec tests share: the codec's buffers, and frames built with
// the clip writer.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "codec/clip_writer.h"
#include "codec/codec.h"

namespace codec_test {

inline void init_codec() { ASSERT_EQ(codec::InitClipCodec(), 1); }

// Decodes a decoded stream's record into FramePixels; the error it reports.
inline codec::FrameError decode(const std::vector<uint8_t>& record) {
  codec::DecodeFrame(record.data(), codec::FramePixels, static_cast<int32_t>(record.size()));
  return codec::last_frame_error();
}

inline codec::FrameError decode_stream(const std::vector<uint8_t>& decoded) {
  return decode(codec::encode_frame_record(decoded));
}

// A header for a frame of the given size and blocks (luma width 0: raw).
inline codec::FrameHeader header(int width, int height, int luma_w, int luma_h, int chroma_w,
                                 int chroma_h, int residual_shift = 2,
                                 uint8_t chroma_marker = 0, uint8_t vertical = 1) {
  codec::FrameHeader h;
  h.width = width;
  h.height = height;
  h.lumaBlockWidth = luma_w;
  h.lumaBlockHeight = luma_h;
  h.chromaBlockWidth = chroma_w;
  h.chromaBlockHeight = chroma_h;
  h.verticalInterpolation = vertical;
  h.reserved = 0;
  h.residualShift = static_cast<int8_t>(residual_shift);
  h.chromaMarker = chroma_marker;
  return h;
}

// Block-mode parts with every grid sample, every chroma sample set to one
// value and every block skipped.
inline codec::FrameParts flat_parts(const codec::FrameHeader& h, uint8_t luma_sample,
                                    uint8_t cr, uint8_t cb) {
  codec::FrameParts parts;
  parts.header = h;
  if (h.lumaBlockWidth == 0) {
    parts.luma.assign(static_cast<size_t>(h.width * h.height), luma_sample);
  } else {
    const int columns = h.width / h.lumaBlockWidth, rows = h.height / h.lumaBlockHeight;
    parts.luma.assign(static_cast<size_t>((rows + 1) * (columns + 1)), luma_sample);
    for (int i = 0; i < rows * columns; ++i) codec::append_block_residuals(parts.residuals, {});
  }
  if (h.chromaMarker != codec::kNoChromaMarker) {
    const int columns = h.width / h.chromaBlockWidth, rows = h.height / h.chromaBlockHeight;
    parts.cr_grid.assign(static_cast<size_t>((rows + 1) * (columns + 1)), cr);
    parts.cb_grid.assign(parts.cr_grid.size(), cb);
  }
  return parts;
}

inline uint8_t luma_at(int x, int y) {
  return codec::FramePixels[(y * codec::CurrentFrameHeader.width + x) * 4];
}
inline uint8_t cr_at(int x, int y) {
  return codec::FramePixels[(y * codec::CurrentFrameHeader.width + x) * 4 + 1];
}
inline uint8_t cb_at(int x, int y) {
  return codec::FramePixels[(y * codec::CurrentFrameHeader.width + x) * 4 + 2];
}

}  // namespace codec_test
