// The clips as the scenes play them: sizes the texture pairs take, lengths
// the scenes need, loops without a jump, files laid out as the player
// reads them.
#include <gtest/gtest.h>

#include <cmath>

#include "media/media.h"

namespace {

double mean_difference(const codec::RgbFrame& a, const codec::RgbFrame& b) {
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::fabs(static_cast<double>(a.rgb[i]) - b.rgb[i]);
  return sum / a.rgb.size();
}

TEST(PackClips, BothTexturePairsPlayAndTelevisoLastsTheHeadlessScene) {
  bool narrow = false, wide = false;
  for (const media::ClipSpec& spec : media::clip_specs()) {
    EXPECT_TRUE(spec.width == 128 || spec.width == 256) << spec.name;
    narrow |= spec.width == 128;
    wide |= spec.width == 256;
    // Every clip covers at least two seconds at 15 frames a second.
    EXPECT_GE(spec.frame_count, 30) << spec.name;
    if (std::string(spec.name) == "televiso") {
      // The headless scene steps televiso through frames 0 to 38.
      EXPECT_GE(spec.frame_count, 40);
    }
  }
  EXPECT_TRUE(narrow);
  EXPECT_TRUE(wide);
  EXPECT_EQ(media::clip_specs().size(), 7u);
}

class PackClip : public testing::TestWithParam<media::ClipSpec> {};

// A clip loops: the step from its last frame back to its first is no bigger
// than the biggest step between two frames inside the clip.
TEST_P(PackClip, FramesHaveTheirSizeAndTheLoopHasNoJump) {
  const media::ClipSpec& spec = GetParam();
  auto frames = media::render_clip(spec.name);
  ASSERT_EQ(frames.size(), static_cast<size_t>(spec.frame_count));
  double largest = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    ASSERT_EQ(frames[i].width, spec.width);
    ASSERT_EQ(frames[i].height, spec.width);
    ASSERT_EQ(frames[i].rgb.size(), static_cast<size_t>(spec.width) * spec.width * 3);
    if (i > 0) largest = std::max(largest, mean_difference(frames[i - 1], frames[i]));
  }
  EXPECT_GT(largest, 0.0) << "the clip does not move";
  // A little slack: televiso changes channel at its loop point as it does
  // inside the clip. A clip that does not loop jumps many times further.
  EXPECT_LE(mean_difference(frames.back(), frames.front()), largest * 1.25);
}

INSTANTIATE_TEST_SUITE_P(Pack, PackClip, testing::ValuesIn(media::clip_specs()),
                         [](const testing::TestParamInfo<media::ClipSpec>& param) {
                           return std::string(param.param.name);
                         });

int32_t i32_at(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                              (static_cast<uint32_t>(b[at + 3]) << 24));
}

// The frame table as the player walks it: N entries, N - 1 frames, offsets
// from the end of the table, each record at least its code description.
TEST(PackClips, ClipFileHasOneTableEntryPerFramePlusTheEnd) {
  auto frames = media::render_clip("rasmu");
  std::vector<uint8_t> file = media::encode_clip_file(frames);
  ASSERT_GE(file.size(), 4u);
  int32_t n = i32_at(file, 0);
  ASSERT_EQ(n, static_cast<int32_t>(frames.size()) + 1);
  size_t table_end = 4 + 4 * static_cast<size_t>(n);
  ASSERT_LE(table_end, file.size());
  for (int32_t k = 0; k + 1 < n; ++k) {
    int32_t start = i32_at(file, 4 + 4 * static_cast<size_t>(k));
    int32_t end = i32_at(file, 8 + 4 * static_cast<size_t>(k));
    ASSERT_GE(end - start, 1284) << "frame " << k << " is shorter than its code description";
    int32_t decoded_length = i32_at(file, table_end + static_cast<size_t>(start));
    EXPECT_GT(decoded_length, 12);
    EXPECT_LE(decoded_length, 640000);
  }
  EXPECT_EQ(table_end + static_cast<size_t>(i32_at(file, 4 + 4 * static_cast<size_t>(n - 1))), file.size());
}

}  // namespace
