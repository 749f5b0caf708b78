// The whole demo on the test media at a fixed virtual frame rate: it plays
// every entry in order, ends by itself, and chosen frames look as they did
// when the golden hashes were last made.
//
// The hashes live in golden_frames.txt beside this file. They change only
// when the picture is meant to change: then run this test with
// TUULI_UPDATE_GOLDEN=1 in the environment, look at the frames it writes
// to the build's tests folder (golden_frame_*.png), and commit the new file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "shell/shell.h"
#include "tests/support/demo_child.h"
#include "tests/support/test_media.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

const char kGoldenPath[] = TUULI_SOURCE_DIR "/tests/scenes/golden_frames.txt";

// FNV-1a over the presented R5G6B5 bytes: enough to notice any change.
uint64_t picture_hash(const win32::Frame& f) {
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < f.height; ++y) {
    const uint8_t* row = f.row(y);
    for (int i = 0; i < f.width * f.bytes_per_pixel(); ++i) h = (h ^ row[i]) * 1099511628211ull;
  }
  return h;
}

// Frames halfway through each entry at 30 frames per second, and the first.
std::vector<uint64_t> chosen_frames() {
  std::vector<uint64_t> frames = {0};
  float start = 0;
  for (int e = 0; e < shell::kTimelineLength; ++e) {
    float end = e == shell::kTimelineLength - 1 ? 1000.0f : shell::Timeline[e].endTime;
    frames.push_back(static_cast<uint64_t>((start + end) / 2 * 3));  // demo units to frames
    start = end;
  }
  return frames;
}

void write_png(const std::string& path, const win32::Frame& f) {
  std::vector<uint8_t> rgb(size_t(f.width) * f.height * 3);
  win32::frame_to_rgb888(f, rgb.data());
  stbi_write_png(path.c_str(), f.width, f.height, 3, rgb.data(), f.width * 3);
}

TEST(WholeDemo, PlaysEveryEntryInOrderAndLooksAsBefore) {
  bool update = std::getenv("TUULI_UPDATE_GOLDEN") != nullptr;
  std::vector<uint64_t> chosen = chosen_frames();
  test_support::DemoRunOptions o;
  o.directory = test_support::test_media_dir();
  o.headless.fps = 30;
  std::string out_dir = std::filesystem::current_path().string();
  o.record = [&](const win32::Frame& f, uint64_t n) {
    std::string hash;
    if (std::find(chosen.begin(), chosen.end(), n) != chosen.end()) {
      char text[32];
      std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(picture_hash(f)));
      hash = text;
      if (update) write_png(out_dir + "/golden_frame_" + std::to_string(n) + ".png", f);
    }
    return std::to_string(shell::TimelineIndex) + " " + hash;
  };
  test_support::DemoRun run = test_support::run_demo(o);
  ASSERT_EQ(run.died_how, "");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.frames, 3002u);  // frame 3001 is the first past 100 s

  int entry = 0;
  std::map<uint64_t, std::string> hashes;
  for (size_t n = 0; n < run.records.size(); ++n) {
    std::istringstream line(run.records[n]);
    int index = -1;
    std::string hash;
    line >> index >> hash;
    ASSERT_TRUE(index == entry || index == entry + 1) << "frame " << n << " jumped to " << index;
    entry = index;
    if (!hash.empty()) hashes[n] = hash;
  }
  EXPECT_EQ(entry, 13);

  std::ostringstream now;
  for (const auto& [n, hash] : hashes) now << n << " " << hash << "\n";
  if (update) {
    std::ofstream(kGoldenPath) << now.str();
    GTEST_SKIP() << "wrote " << kGoldenPath;
  }
  std::ifstream golden(kGoldenPath);
  ASSERT_TRUE(golden) << "no " << kGoldenPath << "; make it with TUULI_UPDATE_GOLDEN=1";
  std::stringstream expected;
  expected << golden.rdbuf();
  EXPECT_EQ(now.str(), expected.str()) << "the picture changed; see the comment at the top";
}

}  // namespace
