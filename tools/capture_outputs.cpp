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

std::string hex(const unsigned char* bytes, unsigned length) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (unsigned i = 0; i < length; ++i) {
    s += digits[bytes[i] >> 4];
    s += digits[bytes[i] & 15];
  }
  return s;
}

}  // namespace

std::string sha256_hex(const void* data, size_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr);
  return hex(digest, length);
}

std::string frame_sha256_hex(const win32::Frame& frame) {
  const size_t row_bytes = static_cast<size_t>(frame.width) * frame.bytes_per_pixel();
  if (static_cast<size_t>(frame.pitch_bytes) == row_bytes) {
    return sha256_hex(frame.pixels, row_bytes * frame.height);
  }
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) throw std::runtime_error("out of memory for a frame's hash");
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  for (int y = 0; y < frame.height; ++y) EVP_DigestUpdate(context, frame.row(y), row_bytes);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context, digest, &length);
  EVP_MD_CTX_free(context);
  return hex(digest, length);
}

Y4mWriter::Y4mWriter(const std::string& path, int fps) : file_(path), fps_(fps) {}

void Y4mWriter::write(const win32::Frame& frame) {
  if (width_ == 0) {
    if (frame.width % 2 != 0 || frame.height % 2 != 0) {
      throw std::runtime_error("Y4M 4:2:0 needs even sides, not " + std::to_string(frame.width) +
                               "x" + std::to_string(frame.height));
    }
    width_ = frame.width, height_ = frame.height;
    char header[128];
    int n = std::snprintf(header, sizeof header, "YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420mpeg2\n",
                          width_, height_, fps_);
    file_.append(header, static_cast<size_t>(n));
  }
  if (frame.width != width_ || frame.height != height_) {
    throw std::runtime_error("a Y4M file holds one frame size: " + std::to_string(frame.width) +
                             "x" + std::to_string(frame.height) + " after " +
                             std::to_string(width_) + "x" + std::to_string(height_));
  }
  if (frame.pitch_bytes != frame.width * frame.bytes_per_pixel()) {
    throw std::logic_error("Y4M frames are converted from rows without padding");
  }
  static const char kFrame[] = "FRAME\n";
  file_.append(kFrame, 6);
  const size_t size = static_cast<size_t>(width_) * height_ * 3 / 2;
  uint8_t* planes = file_.reserve(size);
  if (frame.format == win32::PixelFormat::r5g6b5) {
    rgb565_to_yuv420(frame.row565(0), width_, height_, planes);
  } else {
    xrgb8888_to_yuv420(frame.row8888(0), width_, height_, planes);
  }
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

const char* ffmpeg_pixel_format(win32::PixelFormat format) {
  // bgr0: the bytes of a little-endian 0xXXRRGGBB word, lowest first.
  return format == win32::PixelFormat::r5g6b5 ? "rgb565le" : "bgr0";
}

FfmpegVideo::FfmpegVideo(const std::string& out_path, int fps, const std::string& work_dir)
    : out_path_(out_path), video_path_(work_dir + "/video.mkv"), fps_(fps) {}

FfmpegVideo::~FfmpegVideo() {
  if (pipe_ != nullptr) pclose(pipe_);
}

void FfmpegVideo::write(const win32::Frame& frame) {
  if (pipe_ == nullptr) {
    if (width_ != 0) throw std::logic_error("a frame after ffmpeg has finished");
    if (frame.width % 2 != 0 || frame.height % 2 != 0) {
      throw std::runtime_error("4:2:0 video needs even sides, not " + std::to_string(frame.width) +
                               "x" + std::to_string(frame.height));
    }
    width_ = frame.width, height_ = frame.height, format_ = frame.format;
    std::string command = "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pixel_format " +
                          std::string(ffmpeg_pixel_format(format_)) + " -video_size " +
                          std::to_string(width_) + "x" + std::to_string(height_) +
                          " -framerate " + std::to_string(fps_) +
                          " -i pipe:0 -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p " +
                          quote(video_path_);
    pipe_ = popen(command.c_str(), "w");
    if (pipe_ == nullptr) throw std::runtime_error("cannot start ffmpeg");
  }
  if (frame.width != width_ || frame.height != height_ || frame.format != format_) {
    throw std::runtime_error("a video holds one frame size and pixel format");
  }
  const size_t row_bytes = static_cast<size_t>(frame.width) * frame.bytes_per_pixel();
  for (int y = 0; y < frame.height; ++y) {
    if (std::fwrite(frame.row(y), 1, row_bytes, pipe_) != row_bytes) {
      throw std::runtime_error("ffmpeg stopped reading");
    }
  }
}

void FfmpegVideo::finish(const std::string& wav_path) {
  if (pipe_ == nullptr) throw std::runtime_error("no frame to encode into " + out_path_);
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

void ContactSheet::place(int entry, const uint8_t* rgb, int width, int height) {
  if (entry < 0 || entry >= entries_ || width <= 0 || height <= 0) return;
  const int sheet_width = kColumns * kThumbWidth;
  const int ox = (entry % kColumns) * kThumbWidth;
  const int oy = (entry / kColumns) * kThumbHeight;
  // A box filter: thumbnail pixel x covers source columns [x * w / 320,
  // (x + 1) * w / 320), at least one; a 640x480 picture gives the mean of
  // each 2x2 block, rounded, as the sheet always had.
  auto span = [](int i, int source, int thumb, int& begin, int& end) {
    begin = static_cast<int>(static_cast<long long>(i) * source / thumb);
    end = std::max(begin + 1, static_cast<int>(static_cast<long long>(i + 1) * source / thumb));
    end = std::min(end, source);
    begin = std::min(begin, end - 1);
  };
  for (int y = 0; y < kThumbHeight; ++y) {
    int y0, y1;
    span(y, height, kThumbHeight, y0, y1);
    for (int x = 0; x < kThumbWidth; ++x) {
      int x0, x1;
      span(x, width, kThumbWidth, x0, x1);
      uint64_t sum[3] = {0, 0, 0};
      for (int sy = y0; sy < y1; ++sy) {
        const uint8_t* row = rgb + (static_cast<size_t>(sy) * width + x0) * 3;
        for (int sx = x0; sx < x1; ++sx, row += 3) {
          sum[0] += row[0], sum[1] += row[1], sum[2] += row[2];
        }
      }
      const uint64_t count = static_cast<uint64_t>(y1 - y0) * (x1 - x0);
      uint8_t* out = &sheet_[(static_cast<size_t>(oy + y) * sheet_width + ox + x) * 3];
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
    }
  }
}

void ContactSheet::write(const std::string& path) const {
  int rows = (entries_ + kColumns - 1) / kColumns;
  write_png(path, sheet_, kColumns * kThumbWidth, rows * kThumbHeight);
}

}  // namespace tools
