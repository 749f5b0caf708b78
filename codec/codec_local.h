// Inside the codec: what its files share and no other folder sees.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "codec/codec.h"

namespace codec {

// Every file-data check in the codec reports through this one helper, so the
// caller always learns why a frame was refused.
void set_last_frame_error(FrameError error);

inline uint32_t load_le32(const uint8_t* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;  // the codec only builds for little-endian targets
}

inline int32_t load_le32_signed(const uint8_t* bytes) {
  return static_cast<int32_t>(load_le32(bytes));
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the clip format and the decoder's word loads are little-endian");

// Whether the frame DecodeFrame last took read nothing an earlier frame
// left: it has chroma, every block size is one the shifts know and tiles
// the frame, and its sections lie in the bytes its own stream produced.
// Such a frame leaves the same pixels and work buffers whatever came
// before it.
bool last_frame_reads_only_its_own_bytes();

// What DecodeFrame does to grid_geometry for a header it accepts.
void update_grid_geometry(const FrameHeader& h);

// A frame shown again (frame_reuse.cpp). reuse_shown_frame gives the codec
// the state a decode and conversion of `record` would leave, when it kept
// that frame and reuse is on, and says whether it did; keep_shown_frame
// keeps a frame just decoded and converted, if
// last_frame_reads_only_its_own_bytes.
bool reuse_shown_frame(std::span<const uint8_t> record);
void keep_shown_frame(std::span<const uint8_t> record);

// Allocates (zeroed) the frame pixel buffer into `buffer` unless it is
// there already, through the same allocator as InitClipCodec's buffers.
bool allocate_frame_pixels(uint8_t** buffer);

// Shows a chroma-less frame (luma packed one byte a pixel) as grey: spreads
// the luma into 4-byte pixels with neutral chroma, in place.
void expand_luma_to_grey(uint8_t* pixels, int32_t width, int32_t height);

// ConvertFrameToRgb16 (pitch of `width` pixels) of pixels the frame
// callback has not seen, for a callback that is AdjustFrameChroma on a frame
// of at most 256 x 256: that callback's remap is the identity on chroma
// 0..63 and clamps the rest, which the conversion does anyway. So one pass
// converts and stores the clamped chroma back, leaving the same pixels and
// the same picture as the callback and then the conversion.
void convert_frame_clamping_chroma(uint8_t* pixels, uint16_t* output, int32_t width,
                                   int32_t height);

}  // namespace codec
