// The music as the capture pull renders it: gapless, seamless at the loop,
// one end sync per pass.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "audio/audio_fixture.h"

namespace audio_test {
namespace {

// Where `decoded` lines up best with `source` (left channel), searched over
// the shifts an encoder's delay or a decoder's would cause.
int best_lag(const Signal& source, const Signal& decoded) {
  const int kMaxLag = 1200;  // beyond LAME's delay with the decoder's (1105) and a whole frame
  const size_t room = 2 * kMaxLag + 2;
  EXPECT_GT(source.frames(), room + 1000) << "too short to tell a shift";
  if (source.frames() < room + 1000 || decoded.frames() < source.frames()) return -1;
  const size_t window = std::min<size_t>(4096, source.frames() - room);
  const size_t start = kMaxLag + (source.frames() - room - window) / 2;
  int best = 0;
  double best_score = -1e300;
  for (int lag = -kMaxLag; lag <= kMaxLag; ++lag) {
    double score = 0;
    for (size_t i = start; i < start + window; ++i) {
      score += static_cast<double>(source.samples[i * source.channels]) *
               decoded.samples[(i + lag) * decoded.channels];
    }
    if (score > best_score) {
      best_score = score;
      best = lag;
    }
  }
  return best;
}

struct FormatCase {
  const char* name;
  int rate_hz;
  int channels;
  int kbps;
};
void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

class AudioGapless : public AudioPull, public ::testing::WithParamInterface<FormatCase> {};

// Every MPEG version LAME writes at these rates: 1 (32-48 kHz), 2 (16-24 kHz)
// and 2.5 (8-12 kHz), mono and stereo.
INSTANTIATE_TEST_SUITE_P(
    Layer3, AudioGapless,
    ::testing::Values(FormatCase{"mpeg1_44k_stereo", 44100, 2, 128},
                      FormatCase{"mpeg1_48k_mono", 48000, 1, 64},
                      FormatCase{"mpeg1_32k_stereo", 32000, 2, 96},
                      FormatCase{"mpeg2_22k_stereo", 22050, 2, 64},
                      FormatCase{"mpeg2_16k_mono", 16000, 1, 64},
                      FormatCase{"mpeg25_11k_mono", 11025, 1, 32},
                      FormatCase{"mpeg25_8k_stereo", 8000, 2, 48}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_P(AudioGapless, OnePassIsTheSourceLengthAlignedAndEqualToLibmpg123) {
  const FormatCase& c = GetParam();
  // Not a whole number of MP3 frames, so padding has to be cut.
  const size_t frames = static_cast<size_t>(c.rate_hz) * 6 / 10 + 123;
  Signal source = make_chirp(c.rate_hz, c.channels, frames);
  std::string path = make_mp3(source, c.kbps);
  Signal reference = reference_decode(path);
  ASSERT_EQ(reference.frames(), frames) << "libmpg123 itself is not gapless on this file";

  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end));
  EXPECT_EQ(bass::stream_format().rate_hz, c.rate_hz);
  EXPECT_EQ(bass::stream_format().channels, c.channels);
  ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP));

  Signal played{c.rate_hz, c.channels, pull(frames - 1)};
  EXPECT_EQ(end_syncs, 0) << "the end sync fired before the last frame";
  std::vector<int16_t> last = pull(1);
  played.samples.insert(played.samples.end(), last.begin(), last.end());
  EXPECT_EQ(end_syncs, 1);
  EXPECT_EQ(last_sync_channel, stream);
  EXPECT_EQ(played.samples, reference.samples);
  EXPECT_EQ(best_lag(source, played), 0) << "encoder delay left in, or too much cut";
}

class AudioLoopSeam : public AudioPull, public ::testing::WithParamInterface<size_t> {};

// Chunk sizes that end a pull just before, at and just after the seam, and
// pulls that cross it several times at once.
INSTANTIATE_TEST_SUITE_P(ChunkFrames, AudioLoopSeam,
                         ::testing::Values(1, 441, 1152, 13229, 13230, 13231, 50000));

TEST_P(AudioLoopSeam, SamplesContinueAcrossTheSeamAndEachPassSyncsOnce) {
  const size_t frames = 13230;  // 0.3 s at 44.1 kHz
  std::string path = make_mp3(make_chirp(44100, 2, frames), 128);
  Signal reference = reference_decode(path);
  ASSERT_EQ(reference.frames(), frames);
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end);
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);

  const size_t chunk = GetParam();
  const size_t total = frames * 5 / 2;
  std::vector<int16_t> played;
  for (size_t done = 0; done < total;) {
    size_t n = std::min(chunk, total - done);
    std::vector<int16_t> part = pull(n);
    played.insert(played.end(), part.begin(), part.end());
    done += n;
    ASSERT_EQ(end_syncs, static_cast<int>(done / frames)) << "after " << done << " frames";
  }
  for (size_t pass = 0; pass * frames < total; ++pass) {
    size_t from = pass * frames * 2;
    size_t count = std::min(frames * 2, played.size() - from);
    ASSERT_TRUE(std::equal(played.begin() + from, played.begin() + from + count,
                           reference.samples.begin()))
        << "pass " << pass << " differs";
  }
}

TEST_F(AudioPull, WithoutTheLoopFlagOnePassPlaysThenSilence) {
  const size_t frames = 4000;
  std::string path = make_mp3(make_chirp(22050, 1, frames), 64);
  Signal reference = reference_decode(path);
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end);
  BASS_StreamPlay(stream, FALSE, 0);
  std::vector<int16_t> played = pull(frames + 500);
  EXPECT_TRUE(std::equal(reference.samples.begin(), reference.samples.end(), played.begin()));
  EXPECT_TRUE(std::all_of(played.begin() + frames, played.end(), [](int16_t s) { return s == 0; }));
  std::vector<int16_t> after = pull(10000);
  EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t s) { return s == 0; }));
  EXPECT_EQ(end_syncs, 1);
}

TEST_F(AudioPull, SilentUntilPlayedAndAFlushedPlayStartsOver) {
  const size_t frames = 4000;
  std::string path = make_mp3(make_chirp(44100, 2, frames), 128);
  Signal reference = reference_decode(path);
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  std::vector<int16_t> before = pull(1000);
  EXPECT_TRUE(std::all_of(before.begin(), before.end(), [](int16_t s) { return s == 0; }));

  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  pull(1500);
  // Played again without a flush: it plays on.
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  std::vector<int16_t> on = pull(10);
  EXPECT_TRUE(std::equal(on.begin(), on.end(), reference.samples.begin() + 1500 * 2));
  BASS_StreamPlay(stream, TRUE, BASS_SAMPLE_LOOP);
  std::vector<int16_t> again = pull(10);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), reference.samples.begin()));
}

// Two different pieces of music back to back in one file (or one buffer),
// each reached through its offset and length.
TEST_F(AudioPull, OffsetAndLengthSelectTheBytesOfTheStream) {
  std::vector<uint8_t> first = encode_mp3(make_chirp(44100, 2, 5000), 128);
  std::vector<uint8_t> second = encode_mp3(make_chirp(22050, 1, 7000), 32);
  write_file(dir_.file("first.mp3"), first);
  write_file(dir_.file("second.mp3"), second);
  std::vector<uint8_t> both = first;
  both.insert(both.end(), second.begin(), second.end());
  std::string both_path = dir_.file("both.mp3");
  write_file(both_path, both);

  struct Case {
    const char* name;
    BOOL memory;
    const void* file;
    DWORD offset;
    DWORD length;
    std::string expected;
  };
  const Case cases[] = {
      {"file_first", FALSE, both_path.c_str(), 0, static_cast<DWORD>(first.size()), "first.mp3"},
      {"file_second", FALSE, both_path.c_str(), static_cast<DWORD>(first.size()), 0, "second.mp3"},
      {"memory_first", TRUE, both.data(), 0, static_cast<DWORD>(first.size()), "first.mp3"},
      {"memory_second", TRUE, both.data() + first.size(), 0, static_cast<DWORD>(second.size()),
       "second.mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Signal reference = reference_decode(dir_.file(c.expected));
    HSTREAM stream = BASS_StreamCreateFile(c.memory, c.file, c.offset, c.length, 0);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(bass::stream_format().rate_hz, reference.rate_hz);
    BASS_StreamPlay(stream, FALSE, 0);
    EXPECT_EQ(pull(reference.frames()), reference.samples);
  }
}

TEST_F(AudioPull, WindowsNameFindsTheFileWhateverItsCase) {
  std::filesystem::create_directory(dir_.file("Music"));
  make_mp3(make_chirp(44100, 1, 3000), 64, "Music/VEMO.Mp3");
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  HSTREAM stream = BASS_StreamCreateFile(FALSE, "music\\vemo.mp3", 0, 0, 0);
  std::filesystem::current_path(previous);
  EXPECT_NE(stream, 0u);
}

TEST_F(AudioPull, SyncOptionsAreHonouredAndUnknownSyncsRefused) {
  std::string path = make_mp3(make_chirp(44100, 1, 2000), 64);
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  constexpr DWORD kOnetime = 0x80000000;
  EXPECT_NE(BASS_ChannelSetSync(stream, BASS_SYNC_END | kOnetime, 0, count_end), 0u);
  EXPECT_EQ(BASS_ChannelSetSync(stream, 4 /* a position sync */, 0, count_end), 0u);
  EXPECT_EQ(BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, nullptr), 0u);
  EXPECT_EQ(BASS_ChannelSetSync(stream + 1, BASS_SYNC_END, 0, count_end), 0u);
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  pull(2000 * 3);
  EXPECT_EQ(end_syncs, 1) << "a one-time sync fired again";
  // The table is bounded; a full table refuses more instead of overflowing.
  int accepted = 0;
  for (int i = 0; i < 20; ++i) accepted += BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end) != 0;
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, 20);
}

TEST_F(AudioPull, FreeStopsTheMusicAndForgetsTheStream) {
  std::string path = make_mp3(make_chirp(44100, 2, 2000), 128);
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end);
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  pull(1000);
  EXPECT_TRUE(BASS_Free());
  int16_t buffer[2 * 5000];
  EXPECT_EQ(bass::pull_samples(buffer, 5000), 0u);
  EXPECT_EQ(bass::stream_format().channels, 0);
  EXPECT_EQ(end_syncs, 0);
  // After a new start the old handle names nothing.
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
  EXPECT_FALSE(BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP));
  HSTREAM fresh = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  EXPECT_NE(fresh, 0u);
  EXPECT_NE(fresh, stream);
}

}  // namespace
}  // namespace audio_test
