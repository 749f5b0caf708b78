#include "tools/capture_outputs.h"

#include <openssl/evp.h>
#include <sys/wait.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include "tools/yuv420.h"

namespace tools {

namespace {

std::FILE* open_or_throw(const std::string& path, const char* mode) {
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (f == nullptr) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  return f;
}

void write_or_throw(std::FILE* f, const void* data, size_t size, const std::string& path) {
  if (size != 0 && std::fwrite(data, 1, size, f) != size) {
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  }
}

void put_le(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

}  // namespace

void rgb565_to_rgb888(const uint16_t* pixels, int pitch_pixels, std::vector<uint8_t>& rgb) {
  rgb.resize(static_cast<size_t>(kCaptureWidth) * kCaptureHeight * 3);
  uint8_t* out = rgb.data();
  for (int y = 0; y < kCaptureHeight; ++y) {
    const uint16_t* row = pixels + static_cast<size_t>(y) * pitch_pixels;
    for (int x = 0; x < kCaptureWidth; ++x) {
      uint16_t p = row[x];
      unsigned r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      *out++ = static_cast<uint8_t>(r << 3 | r >> 2);
      *out++ = static_cast<uint8_t>(g << 2 | g >> 4);
      *out++ = static_cast<uint8_t>(b << 3 | b >> 2);
    }
  }
}

std::string sha256_hex(const void* data, size_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr);
  static const char hex[] = "0123456789abcdef";
  std::string s;
  for (unsigned i = 0; i < length; ++i) {
    s += hex[digest[i] >> 4];
    s += hex[digest[i] & 15];
  }
  return s;
}

Y4mWriter::Y4mWriter(const std::string& path, int fps) : file_(path) {
  char header[128];
  int n = std::snprintf(header, sizeof header, "YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420mpeg2\n",
                        kCaptureWidth, kCaptureHeight, fps);
  file_.append(header, static_cast<size_t>(n));
}

void Y4mWriter::write(const uint16_t* rgb565) {
  static const char kFrame[] = "FRAME\n";
  file_.append(kFrame, 6);
  const size_t size = static_cast<size_t>(kCaptureWidth) * kCaptureHeight * 3 / 2;
  rgb565_to_yuv420(rgb565, kCaptureWidth, kCaptureHeight, file_.reserve(size));
  file_.commit(size);
}

WavWriter::WavWriter(const std::string& path, int sample_rate, int channels)
    : path_(path), channels_(channels), sample_rate_(sample_rate) {
  file_ = open_or_throw(path, "wb");
  std::vector<uint8_t> header(44, 0);  // rewritten with the sizes by close()
  write_or_throw(file_, header.data(), header.size(), path_);
}

WavWriter::~WavWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

void WavWriter::write(const int16_t* interleaved, size_t frames) {
  // WAV is little-endian, as is every machine this runs on; say so loudly if not.
  static_assert(std::endian::native == std::endian::little, "WAV samples are written as they lie");
  write_or_throw(file_, interleaved, frames * channels_ * sizeof(int16_t), path_);
  frames_ += frames;
}

void WavWriter::close() {
  if (file_ == nullptr) return;
  uint64_t data_bytes = frames_ * static_cast<uint64_t>(channels_) * 2;
  if (data_bytes > 0xFFFFFFFFull - 36) throw std::runtime_error(path_ + ": too long for WAV");
  std::vector<uint8_t> h;
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  put_le(h, static_cast<uint32_t>(36 + data_bytes), 4);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put_le(h, 16, 4);
  put_le(h, 1, 2);  // PCM
  put_le(h, static_cast<uint32_t>(channels_), 2);
  put_le(h, static_cast<uint32_t>(sample_rate_), 4);
  put_le(h, static_cast<uint32_t>(sample_rate_ * channels_ * 2), 4);
  put_le(h, static_cast<uint32_t>(channels_ * 2), 2);
  put_le(h, 16, 2);
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  put_le(h, static_cast<uint32_t>(data_bytes), 4);
  std::fseek(file_, 0, SEEK_SET);
  write_or_throw(file_, h.data(), h.size(), path_);
  int failed = std::fclose(file_);
  file_ = nullptr;
  if (failed != 0) throw std::runtime_error("cannot finish " + path_);
}

bool ffmpeg_available() { return std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") == 0; }

FfmpegVideo::FfmpegVideo(const std::string& out_path, int fps, const std::string& work_dir)
    : out_path_(out_path), video_path_(work_dir + "/video.mkv") {
  std::string command = "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pixel_format rgb565le "
                        "-video_size 640x480 -framerate " + std::to_string(fps) +
                        " -i pipe:0 -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p " +
                        quote(video_path_);
  pipe_ = popen(command.c_str(), "w");
  if (pipe_ == nullptr) throw std::runtime_error("cannot start ffmpeg");
}

FfmpegVideo::~FfmpegVideo() {
  if (pipe_ != nullptr) pclose(pipe_);
}

void FfmpegVideo::write(const uint16_t* frame) {
  size_t bytes = static_cast<size_t>(kCaptureWidth) * kCaptureHeight * 2;
  if (std::fwrite(frame, 1, bytes, pipe_) != bytes) throw std::runtime_error("ffmpeg stopped reading");
}

void FfmpegVideo::finish(const std::string& wav_path) {
  int status = pclose(pipe_);
  pipe_ = nullptr;
  if (status != 0) throw std::runtime_error("ffmpeg could not encode the video");
  std::string extension = std::filesystem::path(out_path_).extension().string();
  std::string audio_codec = extension == ".mp4" ? "aac -b:a 192k" : "flac";
  std::string command = "ffmpeg -hide_banner -loglevel error -y -i " + quote(video_path_) +
                        " -i " + quote(wav_path) + " -c:v copy -c:a " + audio_codec +
                        " -shortest " + quote(out_path_);
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("ffmpeg could not write " + out_path_);
  }
}

void write_png(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
  if (!stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3)) {
    throw std::runtime_error("cannot write " + path);
  }
}

ContactSheet::ContactSheet(int entries) : entries_(entries) {
  int rows = (entries + kColumns - 1) / kColumns;
  sheet_.assign(static_cast<size_t>(kColumns * kThumbWidth) * rows * kThumbHeight * 3, 0);
}

void ContactSheet::place(int entry, const std::vector<uint8_t>& rgb) {
  if (entry < 0 || entry >= entries_) return;
  int sheet_width = kColumns * kThumbWidth;
  int ox = (entry % kColumns) * kThumbWidth;
  int oy = (entry / kColumns) * kThumbHeight;
  // Half size: the mean of each 2x2 block.
  for (int y = 0; y < kThumbHeight; ++y) {
    for (int x = 0; x < kThumbWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int dy = 0; dy < 2; ++dy) {
          for (int dx = 0; dx < 2; ++dx) sum += rgb[((y * 2 + dy) * kCaptureWidth + x * 2 + dx) * 3 + c];
        }
        sheet_[((oy + y) * sheet_width + ox + x) * 3 + c] = static_cast<uint8_t>((sum + 2) / 4);
      }
    }
  }
}

void ContactSheet::write(const std::string& path) const {
  int rows = (entries_ + kColumns - 1) / kColumns;
  write_png(path, sheet_, kColumns * kThumbWidth, rows * kThumbHeight);
}

}  // namespace tools
