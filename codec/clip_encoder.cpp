// The clip encoder: RGB frames to a clip file the demo's decoder plays, with
// what each frame costs and how close it comes.
#include "codec/clip_encoder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "codec/encoder_local.h"

namespace codec {

namespace {

// Codes of up to 12 bits: nearly every symbol decodes through the decoder's
// 10-bit fast table, at a negligible cost in size.
constexpr int kEncoderMaxCodeLength = 12;

void check_frame(const RgbFrame& frame, size_t index) {
  const std::string where = "frame " + std::to_string(index) + ": ";
  if (frame.width != 128 && frame.width != 256) {
    throw std::invalid_argument(where + "width " + std::to_string(frame.width) +
                                " (clips are 128 or 256 pixels wide)");
  }
  if (frame.height < 1 || frame.height > frame.width) {
    throw std::invalid_argument(where + "height " + std::to_string(frame.height) +
                                " (from 1 to the width)");
  }
  if (frame.rgb.size() != static_cast<size_t>(frame.width) * frame.height * 3) {
    throw std::invalid_argument(where + "expected " +
                                std::to_string(static_cast<size_t>(frame.width) * frame.height * 3) +
                                " bytes of RGB, got " + std::to_string(frame.rgb.size()));
  }
}

// Distortion per bit: small for a high quality, large for a low one. A
// polynomial, not pow(), so that every machine makes the same choices.
double lambda_for(double quality) {
  const double q = std::clamp(quality, 0.0, 1.0);
  const double low = 1 - q;
  return 4 + 1020 * low * low * low;
}

// Squared RGB error of the decoded frame against the input, summed, with
// the decoder's R5G6B5 colours widened to 8 bits as a display shows them.
double rgb_error(const RgbFrame& frame, const std::vector<uint8_t>& predicted) {
  const bool table = InitClipCodec() == 1;
  double sum = 0;
  const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
  for (size_t i = 0; i < pixels; ++i) {
    const int y = predicted[4 * i], cr = predicted[4 * i + 1], cb = predicted[4 * i + 2];
    const uint16_t c = table ? ColourTable[y << 12 | cr << 6 | cb] : colour_table_entry(y, cr, cb);
    const int r5 = c >> 11, g6 = (c >> 5) & 63, b5 = c & 31;
    const int rgb[3] = {r5 << 3 | r5 >> 2, g6 << 2 | g6 >> 4, b5 << 3 | b5 >> 2};
    for (int k = 0; k < 3; ++k) {
      const double d = rgb[k] - static_cast<double>(frame.rgb[3 * i + k]);
      sum += d * d;
    }
  }
  return sum;
}

double psnr(double squared_error, double samples) {
  if (squared_error <= 0) return 100;
  return 10 * std::log10(255.0 * 255.0 * samples / squared_error);
}

// A checked frame encoded; `squared_error` receives its rgb_error.
EncodedRgbFrame encode_checked(const RgbFrame& frame, const EncoderOptions& options,
                               double* squared_error) {
  const encoder::EncodedFrame encoded =
      encoder::encode_frame(encoder::rgb_to_targets(frame), lambda_for(options.quality));
  EncodedRgbFrame out;
  out.record = encode_frame_record(encoded.decoded, kEncoderMaxCodeLength);
  out.predicted = encoded.predicted;
  const double pixels = static_cast<double>(frame.width) * frame.height;
  out.report.record_bytes = out.record.size();
  out.report.bits_per_pixel = 8.0 * static_cast<double>(out.record.size()) / pixels;
  *squared_error = rgb_error(frame, out.predicted);
  out.report.psnr_db = psnr(*squared_error, 3 * pixels);
  return out;
}

}  // namespace

EncodedRgbFrame encode_rgb_frame(const RgbFrame& frame, const EncoderOptions& options) {
  check_frame(frame, 0);
  double squared_error = 0;
  return encode_checked(frame, options, &squared_error);
}

std::vector<uint8_t> encode_clip(const std::vector<RgbFrame>& frames,
                                 const EncoderOptions& options, EncodeReport* report) {
  if (frames.empty()) throw std::invalid_argument("a clip needs at least one frame");
  for (size_t i = 0; i < frames.size(); ++i) check_frame(frames[i], i);
  std::vector<std::vector<uint8_t>> records;
  EncodeReport local;
  double total_error = 0, total_pixels = 0;
  for (const RgbFrame& frame : frames) {
    double squared_error = 0;
    EncodedRgbFrame encoded = encode_checked(frame, options, &squared_error);
    total_pixels += static_cast<double>(frame.width) * frame.height;
    total_error += squared_error;
    local.frames.push_back(encoded.report);
    records.push_back(std::move(encoded.record));
  }
  std::vector<uint8_t> file = write_clip_file(records);
  local.file_bytes = file.size();
  local.bits_per_pixel = 8.0 * static_cast<double>(file.size()) / total_pixels;
  local.psnr_db = psnr(total_error, 3 * total_pixels);
  if (report != nullptr) *report = std::move(local);
  return file;
}

}  // namespace codec
