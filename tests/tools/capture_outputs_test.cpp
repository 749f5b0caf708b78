// The capture's outputs fed synthetic frames of the sizes and pixel formats
// the device draws at other scales and depths: every size comes from the
// frames themselves.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/capture_outputs.h"
#include "tools/frame_copy.h"

namespace {

namespace fs = std::filesystem;
using win32::PixelFormat;

// A picture that owns its pixels, with `pad_bytes` of noise after each row.
struct TestFrame {
  std::vector<uint8_t> bytes;
  win32::Frame frame;

  TestFrame(int width, int height, PixelFormat format, int pad_bytes,
            const std::function<uint32_t(int, int)>& pixel) {
    const int bpp = format == PixelFormat::r5g6b5 ? 2 : 4;
    const int pitch = width * bpp + pad_bytes;
    bytes.assign(static_cast<size_t>(pitch) * height, 0xA5);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint32_t p = pixel(x, y);
        std::memcpy(&bytes[static_cast<size_t>(y) * pitch + x * bpp], &p, bpp);
      }
    }
    frame = {bytes.data(), width, height, pitch, format};
  }
};

uint32_t noise(int x, int y) {
  return (static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u) * 2654435761u;
}

std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Outputs : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tuuli-outputs-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(Outputs, Y4mHeaderAndPlanesFollowTheFrames) {
  struct Case {
    int width, height;
    PixelFormat format;
  } cases[] = {
      {640, 480, PixelFormat::r5g6b5},    {1280, 960, PixelFormat::r5g6b5},
      {640, 480, PixelFormat::x8r8g8b8},  {1280, 960, PixelFormat::x8r8g8b8},
      {802, 600, PixelFormat::x8r8g8b8},  // a canvas width no SIMD width divides
  };
  for (const Case& c : cases) {
    const fs::path path = dir_ / "a.y4m";
    TestFrame f(c.width, c.height, c.format, 0, noise);
    {
      tools::Y4mWriter y4m(path.string(), 25);
      for (int i = 0; i < 3; ++i) y4m.write(f.frame);
      y4m.close();
    }
    const std::string text = read_text(path);
    const std::string header = "YUV4MPEG2 W" + std::to_string(c.width) + " H" +
                               std::to_string(c.height) + " F25:1 Ip A1:1 C420mpeg2\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    const size_t frame_bytes = 6 + static_cast<size_t>(c.width) * c.height * 3 / 2;
    ASSERT_EQ(text.size(), header.size() + 3 * frame_bytes) << header;
    EXPECT_EQ(text.substr(header.size() + 2 * frame_bytes, 6), "FRAME\n");
  }
}

TEST_F(Outputs, Y4mRefusesFramesItCannotHold) {
  TestFrame first(640, 480, PixelFormat::r5g6b5, 0, noise);
  TestFrame larger(1280, 960, PixelFormat::r5g6b5, 0, noise);
  TestFrame odd(641, 480, PixelFormat::r5g6b5, 0, noise);
  tools::Y4mWriter y4m((dir_ / "a.y4m").string(), 25);
  EXPECT_THROW(y4m.write(odd.frame), std::runtime_error);
  y4m.write(first.frame);
  EXPECT_THROW(y4m.write(larger.frame), std::runtime_error);
}

// The log's hash is of the rows as they lie, without the padding a pitch
// adds: a padded 16-bit frame hashes as the plain bytes of its pixels did.
TEST_F(Outputs, FrameHashesIgnorePadding) {
  for (PixelFormat format : {PixelFormat::r5g6b5, PixelFormat::x8r8g8b8}) {
    TestFrame packed(640, 480, format, 0, noise);
    TestFrame padded(640, 480, format, 24, noise);
    EXPECT_EQ(tools::frame_sha256_hex(padded.frame), tools::frame_sha256_hex(packed.frame));
    EXPECT_EQ(tools::frame_sha256_hex(packed.frame),
              tools::sha256_hex(packed.bytes.data(), packed.bytes.size()));
  }
  // The two formats of "the same" picture are different bytes.
  TestFrame sixteen(4, 2, PixelFormat::r5g6b5, 0, [](int, int) { return 0u; });
  TestFrame thirty_two(4, 2, PixelFormat::x8r8g8b8, 0, [](int, int) { return 0u; });
  EXPECT_NE(tools::frame_sha256_hex(sixteen.frame), tools::frame_sha256_hex(thirty_two.frame));
}

// Thumbnails are box averages of whatever size arrives; at 640x480 each is
// the rounded mean of a 2x2 block, the sheet's bytes before sizes varied.
TEST_F(Outputs, ContactSheetThumbnailsFromAnySize) {
  // Left half red, right half blue, a one-pixel white frame line at the top.
  auto picture = [](int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = x < width / 2 ? 255 : 0, p[1] = 0, p[2] = x < width / 2 ? 0 : 255;
      }
    }
    return rgb;
  };
  struct Case {
    int width, height;
  } cases[] = {{640, 480}, {1280, 960}, {3840, 2880}, {1000, 750}, {160, 120}};
  for (const Case& c : cases) {
    tools::ContactSheet sheet(2);
    const std::vector<uint8_t> rgb = picture(c.width, c.height);
    sheet.place(1, rgb.data(), c.width, c.height);
    const std::vector<uint8_t>& s = sheet.rgb();
    const int sheet_width = tools::ContactSheet::kColumns * tools::ContactSheet::kThumbWidth;
    auto at = [&](int x, int y) { return &s[(static_cast<size_t>(y) * sheet_width + 320 + x) * 3]; };
    EXPECT_EQ(at(0, 0)[0], 255) << c.width;
    EXPECT_EQ(at(319, 239)[2], 255) << c.width;
    EXPECT_EQ(at(319, 239)[0], 0) << c.width;
    EXPECT_EQ(s[0], 0) << "entry 0 stays black, " << c.width;
  }
  std::vector<uint8_t> rgb(640 * 480 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(noise(static_cast<int>(i), 7));
  tools::ContactSheet sheet(1);
  sheet.place(0, rgb.data(), 640, 480);
  const int sheet_width = tools::ContactSheet::kColumns * tools::ContactSheet::kThumbWidth;
  for (int y = 0; y < 240; y += 7) {
    for (int x = 0; x < 320; x += 5) {
      for (int ch = 0; ch < 3; ++ch) {
        int sum = 0;
        for (int d : {0, 1, 640, 641}) sum += rgb[((2 * y) * 640 + 2 * x + d) * 3 + ch];
        ASSERT_EQ(sheet.rgb()[(static_cast<size_t>(y) * sheet_width + x) * 3 + ch], (sum + 2) / 4)
            << x << "," << y;
      }
    }
  }
}

// ffmpeg is told each frame's size and pixel layout: decoded back, a red,
// green and blue picture keeps its colours in both formats.
TEST_F(Outputs, FfmpegTakesTheFramesSizeAndFormat) {
  if (!tools::ffmpeg_available()) GTEST_SKIP() << "no ffmpeg";
  const uint32_t colours[2][3] = {{0xF800, 0x07E0, 0x001F}, {0xFF0000, 0x00FF00, 0x0000FF}};
  const PixelFormat formats[2] = {PixelFormat::r5g6b5, PixelFormat::x8r8g8b8};
  for (int f = 0; f < 2; ++f) {
    const int width = 192, height = 96;  // thirds of 64 columns: one colour each
    TestFrame frame(width, height, formats[f], 0, [&](int x, int) { return colours[f][x / 64]; });
    const std::string video = (dir_ / "a.mkv").string(), wav = (dir_ / "a.wav").string();
    tools::WavWriter sound(wav, 44100, 2);
    std::vector<int16_t> silence(2 * 44100 / 5, 0);
    sound.write(silence.data(), silence.size() / 2);
    sound.close();
    tools::FfmpegVideo ffmpeg(video, 10, dir_.string());
    for (int i = 0; i < 2; ++i) ffmpeg.write(frame.frame);
    ffmpeg.finish(wav);
    const std::string raw = (dir_ / "a.rgb").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + video + " -frames:v 1 -f rawvideo -pix_fmt rgb24 " +
                           raw).c_str()), 0);
    const std::string rgb = read_text(raw);
    ASSERT_EQ(rgb.size(), static_cast<size_t>(width) * height * 3) << "format " << f;
    for (int third = 0; third < 3; ++third) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(&rgb[((height / 2) * width + 32 + 64 * third) * 3]);
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(p[c] > 128, c == third) << "format " << f << ", third " << third << ", channel " << c;
      }
    }
  }
}

TEST(Canvas, PictureCentredOnBlack) {
  struct Case {
    int width, height;
    PixelFormat format;
    tools::CanvasSize canvas;
    int left, top;
  } cases[] = {
      {640, 480, PixelFormat::r5g6b5, {800, 600}, 80, 60},
      {2560, 1920, PixelFormat::x8r8g8b8, {3840, 2160}, 640, 120},
      {640, 480, PixelFormat::x8r8g8b8, {644, 482}, 2, 0},  // offsets stay even for 4:2:0
      {640, 480, PixelFormat::r5g6b5, {640, 480}, 0, 0},
      {640, 480, PixelFormat::r5g6b5, {0, 0}, 0, 0},  // no canvas
  };
  tools::FramePool pool;
  for (const Case& c : cases) {
    TestFrame f(c.width, c.height, c.format, 8, [](int x, int y) { return noise(x, y) | 0x0101u; });
    const int bpp = f.frame.bytes_per_pixel();
    const int width = c.canvas.width ? c.canvas.width : c.width;
    const int height = c.canvas.height ? c.canvas.height : c.height;
    // A buffer left with bytes of another layout must not leak into the border.
    pool.give({std::vector<uint8_t>(static_cast<size_t>(width) * height * bpp, 0xEE), {}, {}});
    tools::FrameCopy copy = pool.take(f.frame, c.canvas);
    ASSERT_EQ(copy.canvas.width, width);
    ASSERT_EQ(copy.canvas.height, height);
    ASSERT_EQ(copy.canvas.pitch_bytes, width * bpp);
    ASSERT_EQ(copy.picture.format, c.format);
    ASSERT_EQ(copy.picture.row(0), copy.canvas.row(c.top) + c.left * bpp) << width << "x" << height;
    size_t border_nonzero = 0, picture_wrong = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = copy.canvas.row(y) + x * bpp;
        const bool inside = x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + c.height;
        if (!inside) {
          for (int b = 0; b < bpp; ++b) border_nonzero += p[b] != 0;
        } else {
          picture_wrong += std::memcmp(p, f.frame.row(y - c.top) + (x - c.left) * bpp, bpp) != 0;
        }
      }
    }
    EXPECT_EQ(border_nonzero, 0u) << width << "x" << height;
    EXPECT_EQ(picture_wrong, 0u) << width << "x" << height;
    pool.give(std::move(copy));
  }
}

TEST(Canvas, SizesThatAreRefused) {
  struct Case {
    const char* text;
    const char* says;  // null: accepted
  } cases[] = {
      {"3840x2160", nullptr}, {"800x600", nullptr},
      {"801x600", "odd"},     {"800x601", "odd"},
      {"800x", "not WIDTHxHEIGHT"}, {"x600", "not WIDTHxHEIGHT"}, {"800*600", "not WIDTHxHEIGHT"},
      {"0x600", "not WIDTHxHEIGHT"}, {"-800x600", "not WIDTHxHEIGHT"}, {"800x600x2", "not WIDTHxHEIGHT"},
      {"99998x2", "larger than"},
  };
  for (const Case& c : cases) {
    tools::CanvasSize canvas;
    std::string error;
    const bool accepted = tools::parse_canvas(c.text, canvas, error);
    EXPECT_EQ(accepted, c.says == nullptr) << c.text;
    if (c.says != nullptr) {
      EXPECT_NE(error.find(c.says), std::string::npos) << c.text << ": " << error;
    }
  }
  EXPECT_EQ(tools::canvas_refusal({640, 480}, 640, 480), "");
  EXPECT_EQ(tools::canvas_refusal({0, 0}, 3840, 2880), "");
  EXPECT_NE(tools::canvas_refusal({3840, 2160}, 3840, 2880).find("smaller than the picture 3840x2880"),
            std::string::npos);
  EXPECT_NE(tools::canvas_refusal({600, 480}, 640, 480), "");
}

}  // namespace
