// The clip encoder: every frame decodes through our decoder to exactly the
// picture the encoder predicted, within the decoder's limits, as close to the
// input as the content type allows; and the same input gives the same bytes.
#include <cstring>
#include <stdexcept>

#include "codec_test_util.h"
#include "encoder_content.h"

namespace {

using codec_test::Content;

// Decodes every frame of a clip in order, as playback does, and checks each
// against the encoder's prediction.
void expect_decodes_as_predicted(const std::vector<codec::RgbFrame>& frames,
                                 const codec::EncoderOptions& options) {
  const std::vector<uint8_t> clip = codec::encode_clip(frames, options, nullptr);
  for (size_t k = 0; k < frames.size(); ++k) {
    SCOPED_TRACE(k);
    const codec::EncodedRgbFrame expected = codec::encode_rgb_frame(frames[k], options);
    std::span<const uint8_t> record;
    ASSERT_EQ(codec::locate_clip_frame(clip, static_cast<int32_t>(k), &record), codec::FrameError::kNone);
    ASSERT_TRUE(std::equal(record.begin(), record.end(), expected.record.begin(), expected.record.end()));
    // Limits: short codes only, a decoded stream that fits, nothing refused.
    for (int s = 0; s < 256; ++s) ASSERT_LE(record[1028 + static_cast<size_t>(s)], 12);
    bool in_range = false;
    ASSERT_EQ(codec::decode_clip_frame(clip, static_cast<int32_t>(k), &in_range), codec::FrameError::kNone);
    ASSERT_EQ(codec::FrameDecoder.produced_bytes(), codec::FrameDecoder.decodedLength);
    const size_t pixels = static_cast<size_t>(frames[k].width) * frames[k].height;
    for (size_t i = 0; i < pixels; ++i) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(codec::FramePixels[4 * i + static_cast<size_t>(c)], expected.predicted[4 * i + static_cast<size_t>(c)])
            << "pixel " << i << " channel " << c;
      }
    }
  }
}

TEST(ClipEncoder, EveryContentDecodesExactlyAsPredictedAndCloseEnough) {
  codec_test::init_codec();
  struct Case {
    Content content;
    double min_psnr_db;  // at the default quality, both widths
    double max_bpp;
  };
  const Case cases[] = {
      {Content::kFlat, 35, 1.0},        {Content::kGradient, 32, 2.0},
      {Content::kPlasma, 27, 3.5},      {Content::kRings, 19, 6.0},
      {Content::kCheckerboard, 13, 3.5}, {Content::kNoise, 11, 10.0},
  };
  for (const Case& c : cases) {
    for (int width : {128, 256}) {
      SCOPED_TRACE(std::string(codec_test::content_name(c.content)) + " " + std::to_string(width));
      std::vector<codec::RgbFrame> frames;
      for (int k = 0; k < 2; ++k) frames.push_back(codec_test::synthetic_frame(c.content, width, width * 3 / 4, k));
      codec::EncodeReport report;
      codec::encode_clip(frames, {}, &report);
      EXPECT_GE(report.psnr_db, c.min_psnr_db);
      EXPECT_LE(report.bits_per_pixel, c.max_bpp);
      ASSERT_EQ(report.frames.size(), 2u);
      expect_decodes_as_predicted(frames, {});
    }
  }
}

TEST(ClipEncoder, HeightsThatNoLargeBlockDividesStillDecodeExactly) {
  codec_test::init_codec();
  // After a frame with large blocks, odd and awkward heights (blocks of one
  // or two rows): the shifts the decoder carries over must not matter.
  std::vector<codec::RgbFrame> frames;
  frames.push_back(codec_test::synthetic_frame(Content::kPlasma, 256, 256, 0));
  for (int height : {99, 1, 2, 6, 128}) frames.push_back(codec_test::synthetic_frame(Content::kRings, 128, height, height));
  expect_decodes_as_predicted(frames, {});
}

TEST(ClipEncoder, QualityTradesSizeForCloseness) {
  codec_test::init_codec();
  const std::vector<codec::RgbFrame> frames = {codec_test::synthetic_frame(Content::kPlasma, 256, 192, 3)};
  double previous_psnr = 0;
  size_t previous_bytes = 0;
  for (double quality : {0.0, 0.5, 0.75, 1.0}) {
    SCOPED_TRACE(quality);
    codec::EncoderOptions options;
    options.quality = quality;
    codec::EncodeReport report;
    codec::encode_clip(frames, options, &report);
    EXPECT_GE(report.psnr_db, previous_psnr);
    EXPECT_GE(report.file_bytes, previous_bytes);
    previous_psnr = report.psnr_db;
    previous_bytes = report.file_bytes;
  }
  EXPECT_GE(previous_psnr, 33);
}

TEST(ClipEncoder, SameInputSameBytes) {
  const std::vector<codec::RgbFrame> frames = {codec_test::synthetic_frame(Content::kRings, 128, 128, 1),
                                               codec_test::synthetic_frame(Content::kGradient, 256, 200, 2)};
  EXPECT_EQ(codec::encode_clip(frames, {}, nullptr), codec::encode_clip(frames, {}, nullptr));
}

TEST(ClipEncoder, FramesTheFormatCannotHoldAreRefused) {
  auto frame = [](int width, int height, size_t bytes) {
    codec::RgbFrame f;
    f.width = width;
    f.height = height;
    f.rgb.resize(bytes);
    return f;
  };
  const std::vector<std::vector<codec::RgbFrame>> bad = {
      {},
      {frame(64, 64, 64 * 64 * 3)},
      {frame(512, 128, 512 * 128 * 3)},
      {frame(128, 0, 0)},
      {frame(128, 129, 128 * 129 * 3)},
      {frame(128, 128, 128 * 128 * 3 - 1)},
      {frame(128, 128, 128 * 128 * 3), frame(-128, 128, 0)},
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_THROW(codec::encode_clip(bad[i], {}, nullptr), std::invalid_argument);
  }
}

}  // namespace
