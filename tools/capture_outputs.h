// Where a capture's pictures and sound go: Y4M and WAV files, PNG frames, a
// JSON log, a contact sheet, and MKV/MP4 through an installed ffmpeg.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/streaming_file.h"

namespace tools {

constexpr int kCaptureWidth = 640;
constexpr int kCaptureHeight = 480;

// 640x480 R5G6B5 to RGB888, each channel widened by repeating its top bits.
void rgb565_to_rgb888(const uint16_t* pixels, int pitch_pixels, std::vector<uint8_t>& rgb);

std::string sha256_hex(const void* data, size_t size);

// YUV4MPEG2, 4:2:0, BT.601 studio range (yuv420.h): what players and
// ffmpeg expect. Each frame is converted straight into the file's buffer.
class Y4mWriter {
 public:
  Y4mWriter(const std::string& path, int fps);
  void write(const uint16_t* rgb565_frame);
  void close() { file_.close(); }

 private:
  StreamingFile file_;
};

// 16-bit PCM WAV; the sizes in the header are written when it is closed.
class WavWriter {
 public:
  WavWriter(const std::string& path, int sample_rate, int channels);
  ~WavWriter();
  void write(const int16_t* interleaved, size_t frames);
  void close();
  uint64_t frames_written() const { return frames_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  int channels_;
  int sample_rate_;
  uint64_t frames_ = 0;
};

// Pipes raw frames into ffmpeg, which writes a video-only file; `finish`
// then muxes it with a WAV file into the requested container.
class FfmpegVideo {
 public:
  FfmpegVideo(const std::string& out_path, int fps, const std::string& work_dir);
  ~FfmpegVideo();
  void write(const uint16_t* rgb565_frame);
  // Muxes the video with `wav_path` into the output; throws on failure.
  void finish(const std::string& wav_path);

 private:
  std::string out_path_;
  std::string video_path_;
  std::FILE* pipe_ = nullptr;
};

bool ffmpeg_available();

void write_png(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);

// One thumbnail per timeline entry, in a grid of four columns.
class ContactSheet {
 public:
  static constexpr int kColumns = 4;
  static constexpr int kThumbWidth = 320;
  static constexpr int kThumbHeight = 240;
  explicit ContactSheet(int entries);
  void place(int entry, const std::vector<uint8_t>& rgb);
  void write(const std::string& path) const;

 private:
  int entries_;
  std::vector<uint8_t> sheet_;
};

}  // namespace tools
