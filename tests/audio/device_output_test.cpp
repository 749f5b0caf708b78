// The music on a sound device, without a sound card: SDL's disk driver
// writes what the device is given to a file, at a pace we choose.
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "audio/audio_fixture.h"

namespace audio_test {
namespace {

using namespace std::chrono_literals;

class AudioDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    end_syncs = 0;
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", output_path().c_str(), 1);
    // Milliseconds per device buffer of 1024 frames: about ten times real time.
    ::setenv("SDL_DISKAUDIODELAY", "2", 1);
    bass::use_output(bass::device_output());
  }
  void TearDown() override {
    BASS_Free();
    bass::use_output(bass::silent_output());
    ::unsetenv("SDL_AUDIODRIVER");
    ::unsetenv("SDL_DISKAUDIOFILE");
    ::unsetenv("SDL_DISKAUDIODELAY");
  }

  std::string output_path() const { return dir_.file("device.raw"); }

  // What the device was given, as 16-bit stereo (the format it is opened in).
  std::vector<int16_t> device_output() const {
    std::ifstream in(output_path(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }

  static bool wait_for_syncs(int count) {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (end_syncs < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }

  TempDir dir_;
};

struct PlayCase {
  const char* name;
  int rate_hz;
  int channels;
  int kbps;
};
void PrintTo(const PlayCase& c, std::ostream* out) { *out << c.name; }

class AudioDevicePlays : public AudioDevice, public ::testing::WithParamInterface<PlayCase> {};

INSTANTIATE_TEST_SUITE_P(Music, AudioDevicePlays,
                         ::testing::Values(PlayCase{"same_format", 44100, 2, 128},
                                           PlayCase{"resampled_mono", 22050, 1, 64}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_P(AudioDevicePlays, LoopsWithoutAGapAndStopsAtFree) {
  const PlayCase& c = GetParam();
  const size_t frames = static_cast<size_t>(c.rate_hz) / 4 + 77;
  std::string path = dir_.file("vemo.mp3");
  write_file(path, encode_mp3(make_chirp(c.rate_hz, c.channels, frames), c.kbps));
  Signal reference = reference_decode(path);
  ASSERT_EQ(reference.frames(), frames);

  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr)) << "SDL's disk audio driver is missing";
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end);
  BASS_Start();
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  ASSERT_TRUE(wait_for_syncs(3)) << "the end sync did not fire three times";

  EXPECT_TRUE(BASS_Free());
  int syncs_at_free = end_syncs;
  auto size_at_free = std::filesystem::file_size(output_path());
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(end_syncs, syncs_at_free) << "the music went on after BASS_Free";
  EXPECT_EQ(std::filesystem::file_size(output_path()), size_at_free);

  std::vector<int16_t> out = device_output();
  // The device ran silent before the music was played.
  size_t start = 0;
  while (start < out.size() && out[start] == 0) ++start;
  start -= start % 2;
  const size_t out_frames_per_pass = frames * 44100 / c.rate_hz;
  ASSERT_GE(out.size(), start + 2 * 2 * out_frames_per_pass);

  if (c.rate_hz == 44100 && c.channels == 2) {
    // Nothing to convert: the device gets the decoded music itself, twice in
    // a row with nothing between.
    for (int pass = 0; pass < 2; ++pass) {
      EXPECT_TRUE(std::equal(reference.samples.begin(), reference.samples.end(),
                             out.begin() + start + pass * reference.samples.size()))
          << "pass " << pass;
    }
  } else {
    // Converted: no stretch of silence anywhere in two passes.
    size_t zero_run = 0;
    size_t longest = 0;
    for (size_t i = start; i < start + 2 * 2 * out_frames_per_pass; i += 2) {
      zero_run = out[i] == 0 && out[i + 1] == 0 ? zero_run + 1 : 0;
      longest = std::max(longest, zero_run);
    }
    EXPECT_LT(longest, 8u) << "a gap in the converted music";
  }
}

TEST_F(AudioDevice, NoSoundDeviceMeansQuietFailureAndNoStream) {
  ::setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  std::string path = dir_.file("vemo.mp3");
  write_file(path, encode_mp3(make_chirp(44100, 2, 5000), 128));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr));
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end);
  BASS_Start();
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  EXPECT_FALSE(BASS_Free());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(stream, 0u);
}

std::atomic<int> free_in_sync_result{-1};
void CALLBACK free_in_sync(HSYNC, DWORD, DWORD) {
  free_in_sync_result = BASS_Free();
  ++end_syncs;
}

TEST_F(AudioDevice, FreeFromTheEndSyncIsRefusedInsteadOfHanging) {
  std::string path = dir_.file("vemo.mp3");
  write_file(path, encode_mp3(make_chirp(44100, 2, 2000), 128));
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, free_in_sync);
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  ASSERT_TRUE(wait_for_syncs(1));
  EXPECT_EQ(free_in_sync_result, FALSE);
  EXPECT_TRUE(BASS_Free());
}

TEST_F(AudioDevice, NoSoundDeviceNumberZeroOpensNothing) {
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr));
  std::string path = dir_.file("vemo.mp3");
  write_file(path, encode_mp3(make_chirp(44100, 2, 5000), 128));
  EXPECT_NE(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(output_path()));
}

}  // namespace
}  // namespace audio_test
