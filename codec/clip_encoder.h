// Encodes RGB frames into a clip file that the demo's decoder plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

struct RgbFrame {
  int width = 0;   // 128 or 256
  int height = 0;  // at most the width
  std::vector<uint8_t> rgb;  // width * height * 3 bytes, row by row, R G B
};

struct EncoderOptions {
  // Target quality: larger spends more bytes for a closer picture.
  double quality = 0.75;
};

struct FrameReport {
  size_t record_bytes = 0;
  double bits_per_pixel = 0;
  double psnr_db = 0;  // of the decoded picture against the input, in RGB
};

struct EncodeReport {
  std::vector<FrameReport> frames;
  size_t file_bytes = 0;
  double bits_per_pixel = 0;
  double psnr_db = 0;
};

// One frame on its own: its record, and the pixels our decoder makes of it
// ({Y, Cr, Cb, 0} for each of width x height pixels), which every encoded
// frame must match. Throws as encode_clip does.
struct EncodedRgbFrame {
  std::vector<uint8_t> record;
  std::vector<uint8_t> predicted;
  FrameReport report;
};
EncodedRgbFrame encode_rgb_frame(const RgbFrame& frame, const EncoderOptions& options);

// The whole clip file. Throws std::invalid_argument for frames the format
// cannot hold (no frames, a width other than 128 or 256, a height above the
// width, a wrong buffer size). `report` may be null.
std::vector<uint8_t> encode_clip(const std::vector<RgbFrame>& frames,
                                 const EncoderOptions& options, EncodeReport* report);

}  // namespace codec
