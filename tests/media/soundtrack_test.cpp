// The soundtrack: long enough for the whole demo, in the format the player
// opens, loud but not clipped, and loopable without a click.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdlib>

#include "media/media.h"

namespace {

const media::Soundtrack& track() {
  static const media::Soundtrack t = media::render_soundtrack();
  return t;
}

TEST(Soundtrack, OutlastsTheDemoAsCdQualityStereo) {
  const media::Soundtrack& t = track();
  EXPECT_EQ(t.sample_rate, 44100);
  EXPECT_EQ(t.channels, 2);
  double seconds = static_cast<double>(t.samples.size()) / (2.0 * t.sample_rate);
  EXPECT_GE(seconds, 100.0);
  EXPECT_LE(seconds, 130.0);
}

TEST(Soundtrack, LoudButNeverAtFullScale) {
  const media::Soundtrack& t = track();
  int peak = 0;
  double energy = 0;
  for (int16_t s : t.samples) {
    peak = std::max(peak, std::abs(static_cast<int>(s)));
    energy += static_cast<double>(s) * s;
  }
  double rms_db = 10.0 * std::log10(energy / t.samples.size() / (32768.0 * 32768.0));
  EXPECT_LT(peak, 32767);  // a clipped peak would be at full scale
  EXPECT_GT(peak, 26000);
  EXPECT_GT(rms_db, -18.0);
  EXPECT_LT(rms_db, -8.0);
}

// At the loop point the wave continues: the step from the last sample to the
// first is an ordinary step, not a click.
TEST(Soundtrack, LoopPointHasNoClick) {
  const auto& s = track().samples;
  const size_t frames = s.size() / 2;
  for (int c = 0; c < 2; ++c) {
    std::vector<int> steps;
    for (size_t i = 1; i < frames; i += 37) steps.push_back(std::abs(s[i * 2 + c] - s[(i - 1) * 2 + c]));
    std::sort(steps.begin(), steps.end());
    int p99 = steps[steps.size() * 99 / 100];
    EXPECT_LE(std::abs(s[c] - s[(frames - 1) * 2 + c]), p99) << "channel " << c;
  }
}

// The player decodes MP3 with libmpg123: the encoded file must open there
// with the track's rate, channels and length.
TEST(Soundtrack, Mp3DecodesToTheWholeTrack) {
  std::vector<uint8_t> mp3 = media::encode_mp3(track(), 192);
  ASSERT_EQ(mpg123_init(), MPG123_OK);
  int err = 0;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(mpg123_open_feed(h), MPG123_OK);
  ASSERT_EQ(mpg123_feed(h, mp3.data(), mp3.size()), MPG123_OK);
  long rate = 0;
  int channels = 0, encoding = 0;
  size_t decoded_bytes = 0;
  std::vector<unsigned char> out(1 << 16);
  for (;;) {
    size_t done = 0;
    int r = mpg123_read(h, out.data(), out.size(), &done);
    decoded_bytes += done;
    if (r == MPG123_NEW_FORMAT) mpg123_getformat(h, &rate, &channels, &encoding);
    else if (r != MPG123_OK) break;
  }
  mpg123_delete(h);
  EXPECT_EQ(rate, 44100);
  EXPECT_EQ(channels, 2);
  double seconds = static_cast<double>(decoded_bytes) / (44100.0 * 2 * 2);
  EXPECT_GE(seconds, 100.0);
  EXPECT_THROW(media::encode_mp3(media::Soundtrack{44100, 1, {0, 0}}, 192), std::invalid_argument);
}

}  // namespace
