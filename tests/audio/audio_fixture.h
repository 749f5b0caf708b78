// A player on the pull output, freed after each test, with end syncs counted.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "audio/mp3_maker.h"
#include "platform/bass/bass.h"
#include "platform/bass/output.h"

namespace audio_test {

inline std::atomic<int> end_syncs{0};
inline std::atomic<DWORD> last_sync_channel{0};

inline void CALLBACK count_end(HSYNC, DWORD channel, DWORD) {
  last_sync_channel = channel;
  ++end_syncs;
}

class AudioPull : public ::testing::Test {
 protected:
  void SetUp() override {
    end_syncs = 0;
    bass::use_output(bass::pull_output());
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
  }
  void TearDown() override {
    BASS_Free();
    bass::use_output(bass::silent_output());
  }

  // Writes `signal` as an MP3 into the test's directory; its path.
  std::string make_mp3(const Signal& signal, int kbps, const std::string& name = "vemo.mp3") {
    std::vector<uint8_t> bytes = encode_mp3(signal, kbps);
    EXPECT_FALSE(bytes.empty());
    std::string path = dir_.file(name);
    write_file(path, bytes);
    return path;
  }

  static std::vector<int16_t> pull(size_t frames) {
    std::vector<int16_t> out(frames * static_cast<size_t>(bass::stream_format().channels));
    EXPECT_EQ(bass::pull_samples(out.data(), frames), frames);
    return out;
  }

  TempDir dir_;
};

}  // namespace audio_test
