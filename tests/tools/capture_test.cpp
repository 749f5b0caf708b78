// tuuli capture, run as a user runs it, on the test media.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <openssl/evp.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "tests/audio/mp3_maker.h"
#include "tests/support/test_media.h"
#include "tests/tools/run_tuuli.h"

namespace {

namespace fs = std::filesystem;

using tools_test::Result;

Result run(const std::string& arguments) { return tools_test::run_tuuli(arguments); }

std::vector<uint8_t> read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::string sha256_hex(const std::vector<uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

class Capture : public testing::Test {
 protected:
  void SetUp() override {
    media_ = test_support::copy_of_test_media();
    out_ = media_ + "-out";
    fs::create_directories(out_);
  }
  void TearDown() override {
    fs::remove_all(media_);
    fs::remove_all(out_);
  }
  // Three seconds of music that the demo will loop many times over.
  audio_test::Signal add_music() {
    audio_test::Signal music = audio_test::make_chirp(44100, 2, 3 * 44100);
    audio_test::write_file(media_ + "/vemo.mp3", audio_test::encode_mp3(music, 128));
    return audio_test::reference_decode(media_ + "/vemo.mp3");
  }
  std::string capture(const std::string& stem, const std::string& extra = "") {
    Result r = run("capture --quiet --dir " + media_ + " --fps 10 --out " + out_ + "/" + stem +
                   ".y4m --out " + out_ + "/" + stem + ".wav --log " + out_ + "/" + stem +
                   ".jsonl " + extra);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return r.output;
  }

  std::string media_;
  std::string out_;
};

// 10 frames per second: frame n starts at n * 100 ms; the first frame past
// 100 s is 1001, which is still presented.
constexpr int kFps = 10;
constexpr uint64_t kFrames = 1002;

TEST_F(Capture, FilesHoldEveryFrameAndTheSoundInStep) {
  audio_test::Signal music = add_music();
  std::string summary = capture("a");
  EXPECT_NE(summary.find("captured 1002 frames"), std::string::npos) << summary;

  auto y4m = read_bytes(out_ + "/a.y4m");
  std::string header = "YUV4MPEG2 W640 H480 F10:1 Ip A1:1 C420mpeg2\n";
  ASSERT_GE(y4m.size(), header.size());
  EXPECT_EQ(std::string(y4m.begin(), y4m.begin() + header.size()), header);
  EXPECT_EQ(y4m.size(), header.size() + kFrames * (6 + 640 * 480 * 3 / 2));

  auto wav = read_bytes(out_ + "/a.wav");
  ASSERT_GE(wav.size(), 44u);
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(le32(wav, 24), 44100u);
  EXPECT_EQ(wav[22], 2);
  uint64_t sound_frames = kFrames * 44100 / kFps;
  EXPECT_EQ(le32(wav, 40), sound_frames * 4);
  ASSERT_EQ(wav.size(), 44 + sound_frames * 4);
  // The music from its start, and again from its start where it loops.
  const auto* pcm = reinterpret_cast<const int16_t*>(wav.data() + 44);
  size_t length = music.frames();
  ASSERT_GT(length, 1000u);
  for (size_t i = 0; i < 2000; ++i) {
    ASSERT_EQ(pcm[i], music.samples[i]) << "sample " << i;
    ASSERT_EQ(pcm[length * 2 + i], music.samples[i]) << "sample " << i << " after the loop";
  }

  std::ifstream log(out_ + "/a.jsonl");
  std::string line;
  uint64_t n = 0;
  int entry = 0;
  const int end_times[] = {16, 80, 144, 176, 240, 368, 496, 528, 680, 720, 736, 864, 896};
  while (std::getline(log, line)) {
    int frame_entry = -1;
    unsigned long long frame = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "{\"frame\":%llu,", &frame), 1) << line;
    size_t at = line.find("\"entry\":");
    ASSERT_NE(at, std::string::npos);
    frame_entry = std::atoi(line.c_str() + at + 8);
    EXPECT_EQ(frame, n);
    // The entry moves on at the first frame strictly past its end time.
    uint64_t elapsed_ms = n * 1000 / kFps;
    int expected = 0;
    while (expected < 13 && elapsed_ms > static_cast<uint64_t>(end_times[expected]) * 100) ++expected;
    ASSERT_EQ(frame_entry, expected) << "frame " << n;
    entry = frame_entry;
    ++n;
  }
  EXPECT_EQ(n, kFrames);
  EXPECT_EQ(entry, 13);
}

TEST_F(Capture, TheSameCaptureTwiceGivesTheSameBytes) {
  add_music();
  capture("a");
  capture("b");
  for (const char* ext : {".y4m", ".wav", ".jsonl"}) {
    EXPECT_TRUE(read_bytes(out_ + "/a" + ext) == read_bytes(out_ + "/b" + ext)) << ext;
  }
}

TEST_F(Capture, WithoutMusicTheSoundIsSilenceOfTheSameLength) {
  std::string summary = capture("a");
  EXPECT_NE(summary.find("no music"), std::string::npos) << summary;
  auto wav = read_bytes(out_ + "/a.wav");
  ASSERT_EQ(wav.size(), 44 + kFrames * 44100 / kFps * 4);
  for (size_t i = 44; i < wav.size(); ++i) ASSERT_EQ(wav[i], 0) << i;
}

TEST_F(Capture, ContactSheetAndFrames) {
  Result r = run("capture --quiet --dir " + media_ + " --fps 5 --contact-sheet " + out_ +
                 "/sheet.png --frames " + out_ + "/frames");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(fs::exists(out_ + "/sheet.png"));
  size_t pngs = 0;
  for (const auto& e : fs::directory_iterator(out_ + "/frames")) pngs += e.path().extension() == ".png";
  EXPECT_EQ(pngs, 502u);  // frame 501 at 100.2 s is the first past the end
}

TEST_F(Capture, MatroskaThroughFfmpegHasTheRightDuration) {
  if (std::system("ffprobe -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
  add_music();
  Result r = run("capture --quiet --dir " + media_ + " --fps 10 --out " + out_ + "/demo.mkv");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  FILE* probe = popen(("ffprobe -v error -show_entries stream=codec_type,duration -of csv=p=0 " +
                       out_ + "/demo.mkv 2>&1").c_str(), "r");
  ASSERT_NE(probe, nullptr);
  char buffer[512] = {};
  std::string text;
  while (fgets(buffer, sizeof buffer, probe)) text += buffer;
  pclose(probe);
  EXPECT_NE(text.find("video"), std::string::npos) << text;
  EXPECT_NE(text.find("audio"), std::string::npos) << text;
  // Matroska keeps durations in the format, not per stream.
  FILE* format = popen(("ffprobe -v error -show_entries format=duration -of csv=p=0 " + out_ +
                        "/demo.mkv").c_str(), "r");
  ASSERT_NE(format, nullptr);
  double seconds = 0;
  ASSERT_EQ(fscanf(format, "%lf", &seconds), 1);
  pclose(format);
  EXPECT_NEAR(seconds, 100.2, 0.15);  // 1002 frames at 10 per second
}

// The picture does not depend on how many threads draw it.
TEST_F(Capture, OneOrFourDrawingThreadsGiveTheSameFrames) {
  std::string logs[2];
  for (int i = 0; i < 2; ++i) {
    setenv("TUULI_THREADS", i == 0 ? "1" : "4", 1);
    const Result r = run("capture --quiet --dir " + media_ + " --fps 2 --log " + out_ + "/t.jsonl");
    unsetenv("TUULI_THREADS");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    std::ifstream in(out_ + "/t.jsonl");
    logs[i].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_GT(logs[0].size(), 1000u);
  EXPECT_EQ(logs[0], logs[1]);
}

std::vector<std::string> lines_of(const fs::path& p) {
  std::ifstream in(p);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

unsigned long long frame_of(const std::string& line) {
  unsigned long long frame = 0;
  EXPECT_EQ(std::sscanf(line.c_str(), "{\"frame\":%llu,", &frame), 1) << line;
  return frame;
}

// 12.5 s to 20 s at 10 frames a second: frames 125 to 199 are written, the
// sound from sample 12.5 * 44100 for 7.5 s, and the demo stops there.
TEST_F(Capture, FromAndToWriteOnlyTheirRangeOfPicturesAndSound) {
  audio_test::Signal music = add_music();
  std::string summary = capture("a", "--from 12.5 --to 20");
  EXPECT_NE(summary.find("captured 75 frames, 7.50 s of demo (from 12.50 s"), std::string::npos)
      << summary;
  const std::vector<std::string> log = lines_of(out_ + "/a.jsonl");
  ASSERT_EQ(log.size(), 75u);
  EXPECT_EQ(frame_of(log.front()), 125u);
  EXPECT_EQ(frame_of(log.back()), 199u);
  EXPECT_NE(log.front().find("\"demo_time\":125.00"), std::string::npos) << log.front();

  auto wav = read_bytes(out_ + "/a.wav");
  const uint64_t sound_frames = 75 * 44100 / kFps;
  ASSERT_EQ(wav.size(), 44 + sound_frames * 4);
  EXPECT_EQ(le32(wav, 40), sound_frames * 4);
  // The music where the range starts: the loop is seamless, so 12.5 s into
  // it is a known place in the three-second signal.
  const auto* pcm = reinterpret_cast<const int16_t*>(wav.data() + 44);
  const size_t start = (125 * 44100 / kFps) % music.frames();
  for (size_t i = 0; i < 2000 && start * 2 + i < music.samples.size(); ++i) {
    ASSERT_EQ(pcm[i], music.samples[start * 2 + i]) << "sample " << i;
  }
  auto y4m = read_bytes(out_ + "/a.y4m");
  const size_t header = std::string("YUV4MPEG2 W640 H480 F10:1 Ip A1:1 C420mpeg2\n").size();
  EXPECT_EQ(y4m.size(), header + 75 * (6 + 640 * 480 * 3 / 2));
}

TEST_F(Capture, ARangeWithoutFramesFails) {
  Result r = run("capture --quiet --dir " + media_ + " --fps 10 --from 500 --log " + out_ + "/a.jsonl");
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("no frame"), std::string::npos) << r.output;
}

// The canvas holds the same picture, centred on even offsets, black around.
TEST_F(Capture, CanvasCentresThePictureOnBlack) {
  capture("plain", "--to 2");
  capture("canvas", "--to 2 --canvas 800x600");
  const auto plain = read_bytes(out_ + "/plain.y4m");
  const auto canvas = read_bytes(out_ + "/canvas.y4m");
  const std::string header = "YUV4MPEG2 W800 H600 F10:1 Ip A1:1 C420mpeg2\n";
  ASSERT_EQ(std::string(canvas.begin(), canvas.begin() + header.size()), header);
  const size_t plain_header = std::string("YUV4MPEG2 W640 H480 F10:1 Ip A1:1 C420mpeg2\n").size();
  const size_t frames = (plain.size() - plain_header) / (6 + 640 * 480 * 3 / 2);
  ASSERT_EQ(canvas.size(), header.size() + frames * (6 + 800 * 600 * 3 / 2));
  const size_t last = frames - 1;
  const uint8_t* p = plain.data() + plain_header + last * (6 + 640 * 480 * 3 / 2) + 6;
  const uint8_t* c = canvas.data() + header.size() + last * (6 + 800 * 600 * 3 / 2) + 6;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      const bool inside = x >= 80 && x < 720 && y >= 60 && y < 540;
      const uint8_t expected = inside ? p[(y - 60) * 640 + (x - 80)] : 16;  // studio black
      ASSERT_EQ(c[y * 800 + x], expected) << x << "," << y;
    }
  }
  const uint8_t* c_cb = c + 800 * 600;
  const uint8_t* p_cb = p + 640 * 480;
  EXPECT_EQ(c_cb[0], 128);
  EXPECT_EQ(c_cb[30 * 400 + 40], p_cb[0]);
}

TEST_F(Capture, ACanvasSmallerThanThePictureIsRefused) {
  Result r = run("capture --quiet --dir " + media_ + " --fps 10 --canvas 600x400 --out " + out_ +
                 "/a.y4m");
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("the canvas 600x400 is smaller than the picture 640x480"), std::string::npos)
      << r.output;
}

// The log hashes the presented R5G6B5 rows: rebuilt here from the PNG
// frames, whose widening keeps each channel's bits at the top.
TEST_F(Capture, LogHashesAreOfTheSixteenBitPicture) {
  Result r = run("capture --quiet --dir " + media_ + " --fps 2 --to 40 --log " + out_ +
                 "/a.jsonl --frames " + out_ + "/frames");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const std::vector<std::string> log = lines_of(out_ + "/a.jsonl");
  ASSERT_EQ(log.size(), 80u);
  for (size_t n : {0u, 17u, 33u, 79u}) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame%05zu.png", n);
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb = stbi_load((out_ + "/frames" + name).c_str(), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr) << name;
    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < width * height; ++i) {
      const uint16_t p = static_cast<uint16_t>((rgb[3 * i] >> 3) << 11 | (rgb[3 * i + 1] >> 2) << 5 |
                                               rgb[3 * i + 2] >> 3);
      bytes.push_back(static_cast<uint8_t>(p)), bytes.push_back(static_cast<uint8_t>(p >> 8));
    }
    stbi_image_free(rgb);
    EXPECT_NE(log[n].find("\"sha256\":\"" + sha256_hex(bytes) + "\""), std::string::npos) << log[n];
  }
}

// A larger, deeper picture reaches every output at its own size; the log
// hashes its X8R8G8B8 rows, which the PNG frames hold exactly.
TEST_F(Capture, AtScaleTwoInThirtyTwoBitsEveryOutputHoldsTheLargerPicture) {
  capture("big", "--to 1 --scale 2 --colour 32 --frames " + out_ + "/frames");
  const auto y4m = read_bytes(out_ + "/big.y4m");
  const std::string header = "YUV4MPEG2 W1280 H960 F10:1 Ip A1:1 C420mpeg2\n";
  ASSERT_GE(y4m.size(), header.size());
  EXPECT_EQ(std::string(y4m.begin(), y4m.begin() + header.size()), header);
  EXPECT_EQ(y4m.size(), header.size() + 10 * (6 + 1280 * 960 * 3 / 2));
  const std::vector<std::string> log = lines_of(out_ + "/big.jsonl");
  ASSERT_EQ(log.size(), 10u);
  int width = 0, height = 0, channels = 0;
  stbi_uc* rgb = stbi_load((out_ + "/frames/frame00009.png").c_str(), &width, &height, &channels, 3);
  ASSERT_NE(rgb, nullptr);
  ASSERT_EQ(width, 1280);
  ASSERT_EQ(height, 960);
  std::vector<uint8_t> bytes;
  for (int i = 0; i < width * height; ++i) bytes.insert(bytes.end(), {rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0});
  stbi_image_free(rgb);
  EXPECT_NE(log[9].find("\"sha256\":\"" + sha256_hex(bytes) + "\""), std::string::npos) << log[9];
}

TEST(Tuuli, ABadTuuliSimdOrTuuliThreadsIsAUsageError) {
  struct Case {
    const char* variable;
    const char* value;
    const char* says;
  } cases[] = {{"TUULI_SIMD", "avx1024", "TUULI_SIMD=avx1024 is not one of"},
               {"TUULI_THREADS", "0", "TUULI_THREADS=0 is not a number of threads"}};
  for (const Case& c : cases) {
    setenv(c.variable, c.value, 1);
    const Result r = run("--help");
    unsetenv(c.variable);
    EXPECT_EQ(r.exit_code, 2) << c.variable;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
  }
}

}  // namespace
