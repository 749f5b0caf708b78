// Clip codec timings on one core: a 256 x 256 frame with 4 x 4 luma blocks,
// residuals in every block and 8 x 8 chroma, through the whole playback path
// and stage by stage, and shown again (reused); and the colour table's
// construction.
#include <cmath>
#include <cstdio>
#include <random>

#include "bench/bench_util.h"
#include "codec/clip_encoder.h"
#include "codec/clip_writer.h"
#include "codec/codec.h"

namespace {

// Smooth grids and residual nibbles spread around "no change" as an encoder
// leaves them for textured content.
std::vector<uint8_t> bench_frame() {
  std::mt19937 random(2024);
  std::normal_distribution<double> noise(0.0, 2.0);
  codec::FrameParts parts;
  parts.header.width = 256;
  parts.header.height = 256;
  parts.header.lumaBlockWidth = 4;
  parts.header.lumaBlockHeight = 4;
  parts.header.chromaBlockWidth = 8;
  parts.header.chromaBlockHeight = 8;
  parts.header.verticalInterpolation = 1;
  parts.header.residualShift = 2;
  parts.header.chromaMarker = 0;
  for (int gy = 0; gy <= 64; ++gy) {
    for (int gx = 0; gx <= 64; ++gx) {
      parts.luma.push_back(static_cast<uint8_t>(32 + 24 * std::sin(gx * 0.11) * std::cos(gy * 0.07)));
    }
  }
  std::vector<uint8_t> nibbles(16);
  for (int b = 0; b < 64 * 64; ++b) {
    for (auto& n : nibbles) n = static_cast<uint8_t>(std::clamp(8 + std::lround(noise(random)), 0L, 15L));
    codec::append_block_residuals(parts.residuals, nibbles);
  }
  for (int gy = 0; gy <= 32; ++gy) {
    for (int gx = 0; gx <= 32; ++gx) {
      parts.cr_grid.push_back(static_cast<uint8_t>(32 + 20 * std::sin(gx * 0.2 + gy * 0.1)));
      parts.cb_grid.push_back(static_cast<uint8_t>(32 + 20 * std::cos(gx * 0.15 - gy * 0.2)));
    }
  }
  return codec::assemble_decoded_stream(parts);
}

}  // namespace

int main() {
  if (codec::InitClipCodec() != 1) {
    std::fprintf(stderr, "bench_codec: InitClipCodec failed\n");
    return 1;
  }
  const std::vector<uint8_t> decoded = bench_frame();
  const std::vector<uint8_t> record = codec::encode_frame_record(decoded);
  const std::vector<uint8_t> clip = codec::write_clip_file({record});
  const auto size = static_cast<int32_t>(record.size());
  constexpr int kRepeats = 301;

  const double huffman = bench::median_seconds(kRepeats, [&] {
    codec::FrameDecoder.LoadCodeDescription(record.data(), size);
    bench::keep(codec::FrameDecoder.DecodeStream());
  });
  bench::report("codec.huffman_mbps", static_cast<double>(decoded.size()) / huffman / 1e6, "MB/s");

  // The same frame every time: decoded only with reuse off.
  codec::reuse_shown_frames = false;
  const double frame = bench::median_seconds(kRepeats, [&] {
    bool in_range = false;
    bench::keep(codec::decode_clip_frame(clip, 0, &in_range));
  });
  bench::report("codec.frame_us", frame * 1e6, "us");
  // What playback does when asked for that frame again.
  codec::reuse_shown_frames = true;
  const double reused = bench::median_seconds(kRepeats, [&] {
    bool in_range = false;
    bench::keep(codec::decode_clip_frame(clip, 0, &in_range));
  });
  bench::report("codec.reused_frame_us", reused * 1e6, "us");
  codec::reuse_shown_frames = false;

  const double table = bench::median_seconds(11, [] { codec::build_colour_table(); });
  bench::report("codec.colour_table_ms", table * 1e3, "ms");

  // Stage by stage, on the state the frame above left.
  codec::DecodeFrame(record.data(), codec::FramePixels, size);
  const int32_t luma_grid = 65 * 65;
  bench::report("codec.stage.huffman_us", huffman * 1e6, "us");
  bench::report("codec.stage.luma_grid_us",
                bench::median_seconds(kRepeats, [] { codec::InterpolateLumaGrid(); }) * 1e6, "us");
  bench::report("codec.stage.luma_residuals_us",
                bench::median_seconds(kRepeats, [] {
                  bench::keep(codec::ApplyLumaResiduals(codec::FramePixels, 2));
                }) * 1e6, "us");
  const int32_t residual_bytes = codec::ApplyLumaResiduals(codec::FramePixels, 2);
  const uint8_t* cr_grid = codec::DecodedStream + 12 + luma_grid + residual_bytes;
  bench::report("codec.stage.chroma_grids_us",
                bench::median_seconds(kRepeats, [&] {
                  codec::interpolate_chroma_grids(codec::FramePixels, cr_grid, cr_grid + 33 * 33);
                }) * 1e6, "us");
  bench::report("codec.stage.frame_callback_us",
                bench::median_seconds(kRepeats, [] { codec::FrameCallback(); }) * 1e6, "us");
  bench::report("codec.stage.convert_us",
                bench::median_seconds(kRepeats, [] {
                  codec::ConvertFrameToRgb16(codec::FramePixels, codec::Frame16, 512, 256, 256);
                }) * 1e6, "us");
  // A frame as the encoder makes it from smooth moving colour (what the
  // default clips hold), through the same playback path.
  codec::RgbFrame plasma{256, 256, std::vector<uint8_t>(256 * 256 * 3)};
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const double p = std::sin(x * 0.035) + std::sin(y * 0.027) + std::sin((x + y) * 0.043);
      uint8_t* rgb = &plasma.rgb[static_cast<size_t>(y * 256 + x) * 3];
      rgb[0] = static_cast<uint8_t>(128 + 120 * std::sin(p));
      rgb[1] = static_cast<uint8_t>(128 + 120 * std::sin(p + 2.1));
      rgb[2] = static_cast<uint8_t>(128 + 120 * std::sin(p + 4.2));
    }
  }
  const std::vector<uint8_t> encoded = codec::encode_clip({plasma}, {}, nullptr);
  bench::report("codec.encoded_plasma_frame_us",
                bench::median_seconds(kRepeats, [&] {
                  bool in_range = false;
                  bench::keep(codec::decode_clip_frame(encoded, 0, &in_range));
                }) * 1e6, "us");
  std::printf("codec.frame_decoded_bytes %zu bytes\ncodec.frame_record_bytes %zu bytes\n",
              decoded.size(), record.size());
  return 0;
}
