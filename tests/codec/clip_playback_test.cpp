// Clip playback on the headless device: frame numbers and looping, the
// texture pair a frame's width selects, the chroma callback, frames without
// chroma, and frames the codec refuses.
#include <climits>
#include <cmath>
#include <cstring>
#include <random>

#include "codec_test_util.h"
#include "shell/shell.h"

namespace {

using codec_test::header;

// The device and the four clip textures, made once per process as start-up
// makes them; the default-pool textures are dynamic here only so that the
// test can lock them and see what UpdateTexture copied.
void init_playback() {
  codec_test::init_codec();
  if (shell::Device != nullptr) return;
  ASSERT_TRUE(SUCCEEDED(shell::InitDevice(nullptr)));
  for (int pair = 0; pair < 2; ++pair) {
    const UINT size = pair ? 256 : 128;
    ASSERT_TRUE(SUCCEEDED(shell::Device->CreateTexture(size, size, 1, 0, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM,
                                                       &codec::ClipStagingTexture[pair])));
    ASSERT_TRUE(SUCCEEDED(shell::Device->CreateTexture(size, size, 1, D3DUSAGE_DYNAMIC, D3DFMT_R5G6B5,
                                                       D3DPOOL_DEFAULT, &codec::ClipTexture[pair])));
  }
}

// Texel (x, y) of a clip texture.
uint16_t texel(IDirect3DTexture8* texture, int x, int y) {
  D3DLOCKED_RECT locked;
  EXPECT_TRUE(SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0)));
  uint16_t value;
  std::memcpy(&value, static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 2, 2);
  texture->UnlockRect(0);
  return value;
}

void fill_texture(IDirect3DTexture8* texture, uint16_t value) {
  D3DLOCKED_RECT locked;
  ASSERT_TRUE(SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0)));
  D3DSURFACE_DESC desc;
  texture->GetLevelDesc(0, &desc);
  for (UINT y = 0; y < desc.Height; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
    std::fill(row, row + desc.Width, value);
  }
  texture->UnlockRect(0);
}

// A clip whose frame k is flat grey of luma sample levels[k] (luma 4x).
std::vector<uint8_t> grey_clip(int width, int height, std::vector<uint8_t> levels) {
  std::vector<std::vector<uint8_t>> records;
  for (uint8_t level : levels) {
    records.push_back(codec::encode_frame_record(codec::assemble_decoded_stream(
        codec_test::flat_parts(header(width, height, 4, 4, 8, 8), level, 32, 32))));
  }
  return codec::write_clip_file(records);
}

uint16_t grey(uint8_t level) { return codec::colour_table_entry(level * 4, 32, 32); }

TEST(ClipPlayback, CurrentClipTextureIsOneBeforeAnyFrame) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(codec::CurrentClipTexture == 1 ? 0 : 1), testing::ExitedWithCode(0), "");
}

TEST(ClipPlayback, FrameNumbersOutOfRangeShowFrameZeroAndReturnFalse) {
  init_playback();
  const auto clip = grey_clip(128, 128, {10, 20, 30});
  codec::register_clip_file(clip.data(), clip.size());
  struct Case {
    int32_t frame;
    bool in_range;
    uint8_t level;
  };
  const Case cases[] = {{0, true, 10},       {2, true, 30},        {1, true, 20},
                        {3, false, 10},      {-1, false, 10},      {INT_MAX, false, 10},
                        {INT_MIN, false, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    EXPECT_EQ(codec::ShowClipFrame(clip.data(), c.frame), c.in_range);
    EXPECT_EQ(texel(codec::ClipTexture[0], 5, 5), grey(c.level));
  }
}

TEST(ClipPlayback, FrameWidthChoosesThePair) {
  init_playback();
  const auto narrow = grey_clip(128, 96, {12});
  const auto wide = grey_clip(256, 256, {40});
  const auto odd = grey_clip(64, 32, {50});
  fill_texture(codec::ClipStagingTexture[1], 0x1234);

  EXPECT_TRUE(codec::show_clip_frame(narrow, 0));
  EXPECT_EQ(codec::CurrentClipTexture, 0);
  EXPECT_EQ(texel(codec::ClipTexture[0], 127, 95), grey(12));

  EXPECT_TRUE(codec::show_clip_frame(wide, 0));
  EXPECT_EQ(codec::CurrentClipTexture, 1);
  EXPECT_EQ(texel(codec::ClipTexture[1], 255, 255), grey(40));

  // Another width keeps the pair and lands in its top-left corner.
  fill_texture(codec::ClipStagingTexture[1], 0x1234);
  EXPECT_TRUE(codec::show_clip_frame(odd, 0));
  EXPECT_EQ(codec::CurrentClipTexture, 1);
  EXPECT_EQ(texel(codec::ClipTexture[1], 63, 31), grey(50));
  EXPECT_EQ(texel(codec::ClipTexture[1], 64, 31), 0x1234);
  EXPECT_EQ(texel(codec::ClipTexture[1], 0, 32), 0x1234);
}

TEST(ClipPlayback, FramesLargerThanTheirTextureAreCutToIt) {
  init_playback();
  struct Case {
    const char* name;
    int width, height, pair;
  };
  const Case cases[] = {
      {"128 wide, 256 tall", 128, 256, 0},
      {"512 wide, 128 tall, shown in pair 0", 512, 128, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    codec::CurrentClipTexture = c.pair;
    const auto clip = grey_clip(c.width, c.height, {44});
    EXPECT_TRUE(codec::show_clip_frame(clip, 0));
    EXPECT_EQ(codec::last_frame_error(), codec::FrameError::kNone);
    EXPECT_EQ(texel(codec::ClipTexture[c.pair], 127, 127), grey(44));
  }
}

TEST(ClipPlayback, RefusedFramesLeaveTheTextureAndThePair) {
  init_playback();
  const auto good = grey_clip(128, 128, {20});
  EXPECT_TRUE(codec::show_clip_frame(good, 0));
  const uint16_t shown = texel(codec::ClipTexture[0], 3, 3);

  struct Case {
    const char* name;
    std::vector<uint8_t> clip;
    bool in_range;
    codec::FrameError error;
  };
  auto bad_header = codec::assemble_decoded_stream(
      codec_test::flat_parts(header(256, 256, 4, 4, 8, 8), 60, 32, 32));
  bad_header[5] = 0;  // luma block height 0
  std::vector<uint8_t> short_record = codec::encode_frame_record(bad_header);
  short_record.resize(1000);
  const Case cases[] = {
      {"bad header", codec::write_clip_file({codec::encode_frame_record(bad_header)}), true,
       codec::FrameError::kBadBlockSize},
      {"record shorter than a code description", codec::write_clip_file({short_record}), true,
       codec::FrameError::kRecordTooShort},
      {"truncated clip file", std::vector<uint8_t>(good.begin(), good.end() - 1), true,
       codec::FrameError::kFrameOutsideClip},
      {"no frames", std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}, false,
       codec::FrameError::kNoFrames},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(codec::show_clip_frame(c.clip, 0), c.in_range);
    EXPECT_EQ(codec::last_frame_error(), c.error);
    EXPECT_EQ(codec::CurrentClipTexture, 0);
    EXPECT_EQ(texel(codec::ClipTexture[0], 3, 3), shown);
  }
  const uint8_t unregistered[16] = {};
  EXPECT_FALSE(codec::ShowClipFrame(unregistered, 0));
  EXPECT_EQ(codec::last_frame_error(), codec::FrameError::kUnknownClip);
}

TEST(ClipPlayback, FramesWithoutChromaShowGreyLuma) {
  init_playback();
  codec::FrameParts parts;
  parts.header = header(128, 128, 0, 0, 0, 0, 0, codec::kNoChromaMarker);
  for (int i = 0; i < 128 * 128; ++i) parts.luma.push_back(static_cast<uint8_t>(i * 7));
  const auto clip = codec::write_clip_file(
      {codec::encode_frame_record(codec::assemble_decoded_stream(parts))});
  ASSERT_TRUE(codec::show_clip_frame(clip, 0));
  for (int i = 0; i < 128 * 128; i += 97) {
    ASSERT_EQ(codec::Frame16[i], codec::colour_table_entry(static_cast<uint8_t>(i * 7), 32, 32)) << i;
  }
  EXPECT_EQ(texel(codec::ClipTexture[0], 127, 127),
            codec::colour_table_entry(static_cast<uint8_t>(128 * 128 * 7 - 7), 32, 32));
}

TEST(RemapChromaPlane, TableCases) {
  init_playback();
  // An 8 x 2 frame whose Cr plane holds the test bytes.
  ASSERT_EQ(codec_test::decode_stream(codec::assemble_decoded_stream(
                codec_test::flat_parts(header(8, 2, 4, 2, 8, 2), 16, 32, 32))),
            codec::FrameError::kNone);
  struct Case {
    const char* name;
    float scale, offset;
    int x0, y0, x1, y1;
    uint8_t before, after;
  };
  const Case cases[] = {
      {"scale 1 offset 0 leaves chroma", 1, 0, 0, 0, 256, 256, 40, 40},
      {"scale 2: 40 becomes 48", 2, 0, 0, 0, 256, 256, 40, 48},
      {"scale 2: 60 becomes 63", 2, 0, 0, 0, 256, 256, 60, 63},
      {"scale 0: grey", 0, 0, 0, 0, 256, 256, 5, 32},
      {"offset moves within 0..63", 1, -40, 0, 0, 256, 256, 20, 0},
      {"NaN scale stays in range", std::nanf(""), 0, 0, 0, 256, 256, 20, 0},
      {"chroma 64 and more is clamped first", 1, 0, 0, 0, 256, 256, 200, 0},
      {"chroma 64 and more is clamped first (high)", 1, 0, 0, 0, 256, 256, 100, 63},
      {"negative rectangle corner is cut at 0", 0, 0, -100, -100, 256, 256, 5, 32},
      {"empty rectangle", 0, 0, 4, 0, 4, 2, 5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 16; ++i) codec::FramePixels[i * 4 + 1] = c.before;
    codec::FramePixels[16 * 4 + 1] = 0x99;  // past the frame: never touched
    codec::RemapChromaPlane(c.scale, c.offset, codec::FramePixels + 1, c.x0, c.y0, c.x1, c.y1);
    for (int i = 0; i < 16; ++i) ASSERT_EQ(codec::FramePixels[i * 4 + 1], c.after) << i;
    EXPECT_EQ(codec::FramePixels[16 * 4 + 1], 0x99);
  }
}

// Any other callback: playback must run it as it is.
void double_chroma() {
  codec::RemapChromaPlane(2.0f, 0.0f, codec::FramePixels + 1, 0, 0, 256, 256);
  codec::RemapChromaPlane(2.0f, 0.0f, codec::FramePixels + 2, 0, 0, 256, 256);
}

// Playback converts in one pass where the callback provably changes nothing
// the conversion does not do itself: the pixels it leaves and the picture
// must be those of the callback followed by the conversion, for chroma in
// and out of range, frames the callback's rectangle does not cover, odd
// widths, and callbacks that do change chroma.
TEST(ClipPlayback, CallbackAndConversionLeaveThePixelsAndPictureOfTheTwoSteps) {
  init_playback();
  struct Case {
    const char* name;
    int width, height, chroma_block;
    int chroma_low, chroma_high;  // grid samples drawn from this range (as bytes)
    void (*callback)();
  };
  const Case cases[] = {
      {"256 x 256, chroma in range", 256, 256, 8, 0, 63, codec::AdjustFrameChroma},
      {"256 x 256, chroma out of range", 256, 256, 8, 0, 255, codec::AdjustFrameChroma},
      {"128 x 128, chroma out of range", 128, 128, 4, 40, 140, codec::AdjustFrameChroma},
      {"odd width", 21, 12, 3, 0, 255, codec::AdjustFrameChroma},
      {"one pixel", 1, 1, 1, 0, 255, codec::AdjustFrameChroma},
      {"wider than the callback's rectangle", 512, 128, 8, 0, 255, codec::AdjustFrameChroma},
      {"taller than the callback's rectangle", 64, 1024, 8, 0, 255, codec::AdjustFrameChroma},
      {"another callback", 256, 256, 8, 0, 255, double_chroma},
  };
  std::mt19937 random(5);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  std::vector<uint8_t> before(codec::kFramePixelBytes), pixels(codec::kFramePixelBytes);
  std::vector<uint16_t> picture(codec::kMaxFramePixels);
  void (*const installed)() = codec::FrameCallback;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    codec::FrameParts parts;
    parts.header = header(c.width, c.height, 1, 1, c.chroma_block, c.chroma_block);
    const int luma_samples = (c.width + 1) * (c.height + 1);
    for (int i = 0; i < luma_samples; ++i) parts.luma.push_back(static_cast<uint8_t>(uniform(0, 63)));
    for (int i = 0; i < c.width * c.height; ++i) codec::append_block_residuals(parts.residuals, {});
    const int chroma_samples = (c.width / c.chroma_block + 1) * (c.height / c.chroma_block + 1);
    for (int i = 0; i < chroma_samples; ++i) {
      parts.cr_grid.push_back(static_cast<uint8_t>(uniform(c.chroma_low, c.chroma_high)));
      parts.cb_grid.push_back(static_cast<uint8_t>(uniform(c.chroma_low, c.chroma_high)));
    }
    const auto record = codec::encode_frame_record(codec::assemble_decoded_stream(parts));
    const auto clip = codec::write_clip_file({record});
    for (auto& b : before) b = static_cast<uint8_t>(random());
    codec::FrameCallback = c.callback;

    // The two steps, by hand.
    std::memcpy(codec::FramePixels, before.data(), before.size());
    ASSERT_EQ(codec_test::decode(record), codec::FrameError::kNone);
    codec::FrameCallback();
    codec::ConvertFrameToRgb16(codec::FramePixels, codec::Frame16, 2 * c.width, c.width, c.height);
    std::memcpy(pixels.data(), codec::FramePixels, pixels.size());
    std::memcpy(picture.data(), codec::Frame16, picture.size() * 2);

    std::memcpy(codec::FramePixels, before.data(), before.size());
    std::fill(codec::Frame16, codec::Frame16 + codec::kMaxFramePixels, uint16_t{0x1234});
    bool in_range = false;
    const codec::FrameError error = codec::decode_clip_frame(clip, 0, &in_range);
    codec::FrameCallback = installed;
    ASSERT_EQ(error, codec::FrameError::kNone);
    ASSERT_EQ(std::memcmp(codec::FramePixels, pixels.data(), pixels.size()), 0);
    const int count = c.width * c.height;
    ASSERT_EQ(std::memcmp(codec::Frame16, picture.data(), static_cast<size_t>(count) * 2), 0);
    if (count < codec::kMaxFramePixels) {
      EXPECT_EQ(codec::Frame16[count], 0x1234);  // nothing past the frame
    }
  }
}

}  // namespace
