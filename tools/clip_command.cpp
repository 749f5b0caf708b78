// `tuuli clip`: what a clip file holds (info), the frames exactly as playback
// decodes them (dump, extract), and new clips from pictures (encode).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "codec/clip_encoder.h"
#include "codec/codec.h"
#include "tools/clip_png.h"
#include "tools/command.h"

namespace tools {

namespace {

namespace fs = std::filesystem;

bool read_file(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "tuuli clip: cannot open %s\n", path.c_str());
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    std::fprintf(stderr, "tuuli clip: cannot read %s\n", path.c_str());
    return false;
  }
  return true;
}

bool init_codec() {
  if (codec::InitClipCodec() != 1) {
    std::fprintf(stderr, "tuuli clip: not enough memory for the codec's buffers\n");
    return false;
  }
  return true;
}

// A clip file read whole, with its frame count; false (after a message)
// when it cannot be read or its offset table is broken.
bool open_clip(const std::string& path, std::vector<uint8_t>* clip, int32_t* frames) {
  if (!read_file(path, clip) || !init_codec()) return false;
  const codec::FrameError error = codec::read_clip_frame_count(*clip, frames);
  if (error != codec::FrameError::kNone) {
    std::fprintf(stderr, "tuuli clip: %s is not a clip file: %s\n", path.c_str(),
                 codec::describe(error));
    return false;
  }
  return true;
}

std::string block_text(int32_t width, int32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// ---- info -------------------------------------------------------------------

nlohmann::json frame_info(std::span<const uint8_t> clip, int32_t frame) {
  nlohmann::json j;
  j["frame"] = frame;
  std::span<const uint8_t> record;
  codec::FrameError error = codec::locate_clip_frame(clip, frame, &record);
  j["record_bytes"] = record.size();
  if (error == codec::FrameError::kNone && record.size() >= codec::kRecordHeaderBytes) {
    const uint8_t* lengths = record.data() + 4 + 4 * codec::kSymbolCount;
    int coded = 0, shortest = 0, longest = 0;
    for (int s = 0; s < codec::kSymbolCount; ++s) {
      if (lengths[s] == 0) continue;
      shortest = coded == 0 ? lengths[s] : std::min<int>(shortest, lengths[s]);
      longest = std::max<int>(longest, lengths[s]);
      ++coded;
    }
    j["decoded_length"] = static_cast<int32_t>(record[0] | record[1] << 8 | record[2] << 16 |
                                               static_cast<uint32_t>(record[3]) << 24);
    j["stream_bytes"] = record.size() - codec::kRecordHeaderBytes;
    j["coded_symbols"] = coded;
    j["shortest_code"] = shortest;
    j["longest_code"] = longest;
  }
  if (error == codec::FrameError::kNone) {
    bool in_range = false;
    error = codec::decode_clip_frame(clip, frame, &in_range);
  }
  if (error != codec::FrameError::kNone) {
    j["error"] = codec::describe(error);
    return j;
  }
  const codec::FrameHeader& h = codec::CurrentFrameHeader;
  j["produced_bytes"] = codec::FrameDecoder.produced_bytes();
  j["width"] = h.width;
  j["height"] = h.height;
  j["luma"] = h.lumaBlockWidth == 0 ? "raw" : block_text(h.lumaBlockWidth, h.lumaBlockHeight);
  j["chroma"] = h.chromaMarker == codec::kNoChromaMarker
                    ? "none"
                    : block_text(h.chromaBlockWidth, h.chromaBlockHeight);
  j["vertical_interpolation"] = h.verticalInterpolation != 0;
  j["residual_shift"] = h.residualShift;
  return j;
}

int run_info(const std::string& path, bool json) {
  std::vector<uint8_t> clip;
  int32_t frames = 0;
  if (!open_clip(path, &clip, &frames)) return 1;
  nlohmann::json report;
  report["file"] = path;
  report["file_bytes"] = clip.size();
  report["frames"] = frames;
  report["frame_list"] = nlohmann::json::array();
  int refused = 0;
  for (int32_t k = 0; k < frames; ++k) {
    nlohmann::json f = frame_info(clip, k);
    refused += f.contains("error");
    report["frame_list"].push_back(std::move(f));
  }
  report["refused_frames"] = refused;
  if (json) {
    std::printf("%s\n", report.dump(2).c_str());
    return refused == 0 ? 0 : 1;
  }
  std::printf("%s: %d frames, %zu bytes, %d refused\n", path.c_str(), frames, clip.size(), refused);
  std::printf("%5s %8s %8s %8s %6s %7s %9s %7s %7s %4s %5s\n", "frame", "record", "decoded",
              "stream", "codes", "lengths", "size", "luma", "chroma", "vert", "shift");
  // A file that is not a clip can claim millions of frames: after a few
  // refused ones, only count them.
  constexpr int kRefusedShown = 10;
  int refused_shown = 0;
  for (const auto& f : report["frame_list"]) {
    if (f.contains("error") && ++refused_shown > kRefusedShown) continue;
    std::printf("%5d %8zu", f["frame"].get<int>(), f["record_bytes"].get<size_t>());
    if (f.contains("decoded_length")) {
      std::printf(" %8d %8zu %6d %3d-%-3d", f["decoded_length"].get<int>(),
                  f["stream_bytes"].get<size_t>(), f["coded_symbols"].get<int>(),
                  f["shortest_code"].get<int>(), f["longest_code"].get<int>());
    }
    if (f.contains("error")) {
      std::printf("  refused: %s\n", f["error"].get<std::string>().c_str());
      continue;
    }
    std::printf(" %9s %7s %7s %4s %5d\n",
                block_text(f["width"].get<int>(), f["height"].get<int>()).c_str(),
                f["luma"].get<std::string>().c_str(), f["chroma"].get<std::string>().c_str(),
                f["vertical_interpolation"].get<bool>() ? "on" : "off",
                f["residual_shift"].get<int>());
  }
  if (refused_shown > kRefusedShown) {
    std::printf("... and %d more refused frames\n", refused_shown - kRefusedShown);
  }
  return refused == 0 ? 0 : 1;
}

// ---- dump and extract ---------------------------------------------------------

bool write_bytes(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) {
    std::fprintf(stderr, "tuuli clip: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// Decodes frames 0 to last in one process, in order, as playback does, and
// writes each: the pixel buffer and the 16-bit frame (dump) or a PNG.
int run_frames(const std::string& path, const std::string& out_dir, bool png) {
  std::vector<uint8_t> clip;
  int32_t frames = 0;
  if (!open_clip(path, &clip, &frames)) return 1;
  std::error_code ec;
  fs::create_directories(out_dir, ec);
  if (ec) {
    std::fprintf(stderr, "tuuli clip: cannot create %s: %s\n", out_dir.c_str(), ec.message().c_str());
    return 1;
  }
  int refused = 0;
  for (int32_t k = 0; k < frames; ++k) {
    bool in_range = false;
    const codec::FrameError error = codec::decode_clip_frame(clip, k, &in_range);
    if (error != codec::FrameError::kNone) {
      std::fprintf(stderr, "tuuli clip: %s frame %d refused: %s\n", path.c_str(), k,
                   codec::describe(error));
      ++refused;
      continue;
    }
    char name[32];
    const int32_t width = codec::CurrentFrameHeader.width;
    const int32_t height = codec::CurrentFrameHeader.height;
    if (png) {
      std::snprintf(name, sizeof name, "frame%04d.png", k);
      const fs::path file = fs::path(out_dir) / name;
      if (!write_rgb_png(file.string(), rgb565_to_image(codec::Frame16, width, height))) {
        std::fprintf(stderr, "tuuli clip: cannot write %s\n", file.c_str());
        return 1;
      }
      continue;
    }
    std::snprintf(name, sizeof name, "frame%04d.ycc", k);
    if (!write_bytes(fs::path(out_dir) / name, codec::FramePixels, codec::kFramePixelBytes)) return 1;
    std::vector<uint8_t> rgb565;
    rgb565.reserve(static_cast<size_t>(width) * height * 2);
    for (int32_t i = 0; i < width * height; ++i) {
      rgb565.push_back(static_cast<uint8_t>(codec::Frame16[i]));
      rgb565.push_back(static_cast<uint8_t>(codec::Frame16[i] >> 8));
    }
    std::snprintf(name, sizeof name, "frame%04d.rgb565", k);
    if (!write_bytes(fs::path(out_dir) / name, rgb565.data(), rgb565.size())) return 1;
  }
  std::fprintf(stderr, "tuuli clip: %d of %d frames written to %s\n", frames - refused, frames,
               out_dir.c_str());
  return refused == 0 ? 0 : 1;
}

// ---- encode -------------------------------------------------------------------

// The PNG (or other stb_image) files named, a folder standing for its image
// files in name order.
bool collect_frames(const std::vector<std::string>& inputs, std::vector<std::string>* files) {
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      std::vector<std::string> found;
      for (const auto& entry : fs::directory_iterator(input, ec)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file() && (ext == ".png" || ext == ".bmp" || ext == ".tga")) {
          found.push_back(entry.path().string());
        }
      }
      if (ec) {
        std::fprintf(stderr, "tuuli clip: cannot list %s: %s\n", input.c_str(), ec.message().c_str());
        return false;
      }
      if (found.empty()) {
        std::fprintf(stderr, "tuuli clip: no .png, .bmp or .tga files in %s\n", input.c_str());
        return false;
      }
      std::sort(found.begin(), found.end());
      files->insert(files->end(), found.begin(), found.end());
    } else {
      files->push_back(input);
    }
  }
  return true;
}

int run_encode(const std::vector<std::string>& inputs, const std::string& out, double quality,
               bool quiet) {
  std::vector<std::string> files;
  if (!collect_frames(inputs, &files)) return 1;
  std::vector<codec::RgbFrame> frames;
  for (const std::string& file : files) {
    RgbImage image;
    std::string error;
    if (!read_rgb_image(file, &image, &error)) {
      std::fprintf(stderr, "tuuli clip: %s: %s\n", file.c_str(), error.c_str());
      return 1;
    }
    if ((image.width != 128 && image.width != 256) || image.height > image.width) {
      std::fprintf(stderr,
                   "tuuli clip: %s is %dx%d; clip frames are 128 or 256 pixels wide and no "
                   "taller than wide\n",
                   file.c_str(), image.width, image.height);
      return 1;
    }
    frames.push_back({image.width, image.height, std::move(image.rgb)});
  }
  codec::EncoderOptions options;
  options.quality = quality;
  codec::EncodeReport report;
  std::vector<uint8_t> clip;
  try {
    clip = codec::encode_clip(frames, options, &report);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "tuuli clip: %s\n", e.what());
    return 1;
  }
  if (!write_bytes(out, clip.data(), clip.size())) return 1;
  if (!quiet) {
    for (size_t k = 0; k < report.frames.size(); ++k) {
      const codec::FrameReport& f = report.frames[k];
      std::printf("frame %4zu  %8zu bytes  %6.3f bpp  %6.2f dB  %s\n", k, f.record_bytes,
                  f.bits_per_pixel, f.psnr_db, files[k].c_str());
    }
  }
  std::printf("%s: %zu frames, %zu bytes, %.3f bits per pixel, PSNR %.2f dB\n", out.c_str(),
              frames.size(), report.file_bytes, report.bits_per_pixel, report.psnr_db);
  return 0;
}

struct ClipOptions {
  std::string file;
  std::string out;
  bool json = false;
  std::vector<std::string> frames;
  double quality = codec::EncoderOptions{}.quality;
  bool quiet = false;
};

const bool registered = register_command(30, [](CLI::App& app) {
  auto options = std::make_shared<ClipOptions>();
  CLI::App* clip = app.add_subcommand(
      "clip", "Inspect, decode and encode the demo's clip files (data\\*.dat)");
  clip->require_subcommand(1);

  CLI::App* info = clip->add_subcommand(
      "info", "Frame count and, per frame, record size, code lengths, size and coding modes");
  info->add_option("FILE", options->file, "clip file")->required();
  info->add_flag("--json", options->json, "print JSON instead of a table");
  info->callback([options] { set_exit_code(run_info(options->file, options->json)); });

  CLI::App* dump = clip->add_subcommand(
      "dump",
      "Decode every frame as playback does and write frameNNNN.ycc (the 262144-byte pixel "
      "buffer after the frame callback) and frameNNNN.rgb565 (width x height little-endian "
      "pixels)");
  dump->add_option("FILE", options->file, "clip file")->required();
  dump->add_option("--out", options->out, "output folder (made if missing)")->required();
  dump->callback([options] { set_exit_code(run_frames(options->file, options->out, false)); });

  CLI::App* extract = clip->add_subcommand(
      "extract", "Decode every frame as playback does and write frameNNNN.png");
  extract->add_option("FILE", options->file, "clip file")->required();
  extract->add_option("--out", options->out, "output folder (made if missing)")->required();
  extract->callback([options] { set_exit_code(run_frames(options->file, options->out, true)); });

  CLI::App* encode = clip->add_subcommand(
      "encode",
      "Encode pictures (PNG, BMP or TGA; 128 or 256 pixels wide, no taller than wide) into a "
      "clip file, one frame each, in the order given (a folder: its files in name order)");
  encode->add_option("FRAMES", options->frames, "picture files or folders")->required();
  encode->add_option("--out", options->out, "clip file to write")->required();
  encode->add_option("--quality", options->quality,
                     "0 (smallest) to 1 (closest to the pictures)")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 1.0));
  encode->add_flag("--quiet", options->quiet, "print only the totals, not every frame");
  encode->callback([options] {
    set_exit_code(run_encode(options->frames, options->out, options->quality, options->quiet));
  });
});

}  // namespace

}  // namespace tools
