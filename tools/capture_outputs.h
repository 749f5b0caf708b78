// Where a capture's pictures and sound go: Y4M and WAV files, PNG frames, a
// JSON log, a contact sheet, and MKV/MP4 through an installed ffmpeg.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/frame.h"
#include "tools/streaming_file.h"

namespace tools {

std::string sha256_hex(const void* data, size_t size);

// Of the frame's rows as they lie in memory, without the padding a pitch
// may add: for a 640x480 R5G6B5 frame, the hash of its 614400 bytes.
std::string frame_sha256_hex(const win32::Frame& frame);

// YUV4MPEG2, 4:2:0, BT.601 studio range (yuv420.h): what players and
// ffmpeg expect. The header's size is the first frame's; each frame is
// converted straight into the file's buffer. Every frame must have the
// first one's size, even sides and rows without padding.
class Y4mWriter {
 public:
  Y4mWriter(const std::string& path, int fps);
  void write(const win32::Frame& frame);
  void close() { file_.close(); }

 private:
  StreamingFile file_;
  int fps_;
  int width_ = 0;
  int height_ = 0;
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
// then muxes it with a WAV file into the requested container. ffmpeg starts
// with the first frame, which gives it the size and pixel format.
class FfmpegVideo {
 public:
  FfmpegVideo(const std::string& out_path, int fps, const std::string& work_dir);
  ~FfmpegVideo();
  void write(const win32::Frame& frame);
  // Muxes the video with `wav_path` into the output; throws on failure,
  // and when no frame was written.
  void finish(const std::string& wav_path);

 private:
  std::string out_path_;
  std::string video_path_;
  int fps_;
  int width_ = 0;
  int height_ = 0;
  win32::PixelFormat format_ = win32::PixelFormat::r5g6b5;
  std::FILE* pipe_ = nullptr;
};

// ffmpeg's name for a frame's raw pixel format.
const char* ffmpeg_pixel_format(win32::PixelFormat format);

bool ffmpeg_available();

void write_png(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);

// One thumbnail per timeline entry, in a grid of four columns.
class ContactSheet {
 public:
  static constexpr int kColumns = 4;
  static constexpr int kThumbWidth = 320;
  static constexpr int kThumbHeight = 240;
  explicit ContactSheet(int entries);
  // `rgb`: width x height RGB888 pixels, rows without padding, any size;
  // each thumbnail pixel is the mean of the source pixels it covers.
  void place(int entry, const uint8_t* rgb, int width, int height);
  void write(const std::string& path) const;
  const std::vector<uint8_t>& rgb() const { return sheet_; }

 private:
  int entries_;
  std::vector<uint8_t> sheet_;
};

}  // namespace tools
