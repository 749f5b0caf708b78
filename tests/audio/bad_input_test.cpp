// Music that cannot be had: the calls fail quietly and the pull stays silent.
#include <filesystem>

#include "audio/audio_fixture.h"

namespace audio_test {
namespace {

std::vector<uint8_t> noise(size_t bytes, uint32_t seed) {
  std::vector<uint8_t> out(bytes);
  for (uint8_t& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return out;
}

// Each case leaves something at vemo.mp3 (or nothing) and must give no stream.
struct BadFile {
  const char* name;
  void (*make)(const TempDir& dir, const std::vector<uint8_t>& good_mp3);
};

const BadFile kBadFiles[] = {
    {"missing", [](const TempDir&, const std::vector<uint8_t>&) {}},
    {"empty", [](const TempDir& d, const std::vector<uint8_t>&) { write_file(d.file("vemo.mp3"), {}); }},
    {"text",
     [](const TempDir& d, const std::vector<uint8_t>&) {
       std::string text(2000, 'a');
       write_file(d.file("vemo.mp3"), std::vector<uint8_t>(text.begin(), text.end()));
     }},
    {"noise", [](const TempDir& d, const std::vector<uint8_t>&) { write_file(d.file("vemo.mp3"), noise(65536, 7)); }},
    {"directory",
     [](const TempDir& d, const std::vector<uint8_t>&) { std::filesystem::create_directory(d.file("vemo.mp3")); }},
    {"tag_frame_only",
     [](const TempDir& d, const std::vector<uint8_t>& good) {
       write_file(d.file("vemo.mp3"), std::vector<uint8_t>(good.begin(), good.begin() + 100));
     }},
    {"id3_header_only",
     [](const TempDir& d, const std::vector<uint8_t>&) {
       // An ID3v2 header that claims a tag of about 256 MB.
       write_file(d.file("vemo.mp3"), {'I', 'D', '3', 4, 0, 0, 0x7f, 0x7f, 0x7f, 0x7f});
     }},
};

TEST_F(AudioPull, UnplayableFilesGiveNoStreamAndSilence) {
  std::vector<uint8_t> good = encode_mp3(make_chirp(44100, 2, 5000), 128);
  for (const BadFile& bad : kBadFiles) {
    SCOPED_TRACE(bad.name);
    TempDir dir;
    bad.make(dir, good);
    end_syncs = 0;
    ::testing::internal::CaptureStderr();
    HSTREAM stream = BASS_StreamCreateFile(FALSE, dir.file("vemo.mp3").c_str(), 0, 0, 0);
    // What the demo does next, with whatever it got.
    BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, count_end);
    BASS_Start();
    EXPECT_FALSE(BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the failure was not silent";
    EXPECT_EQ(stream, 0u);
    EXPECT_EQ(bass::stream_format().channels, 0);
    int16_t buffer[4096];
    EXPECT_EQ(bass::pull_samples(buffer, 2048), 0u);
    EXPECT_EQ(end_syncs, 0);
  }
}

TEST_F(AudioPull, ImpossibleWindowsAndBuffersAreRefused) {
  std::vector<uint8_t> good = encode_mp3(make_chirp(44100, 2, 5000), 128);
  std::string path = dir_.file("vemo.mp3");
  write_file(path, good);
  const DWORD size = static_cast<DWORD>(good.size());
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), size + 1, 0, 0), 0u) << "offset past the end";
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), size, 0, 0), 0u) << "nothing after the offset";
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, nullptr, 0, size, 0), 0u);
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, good.data(), 0, 0, 0), 0u) << "memory without a length";
  // A length beyond the file is cut to the file.
  EXPECT_NE(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0xFFFFFFFFu, 0), 0u);
}

TEST_F(AudioPull, DamagedTailKeepsTheMusicBeforeIt) {
  std::vector<uint8_t> good = encode_mp3(make_chirp(44100, 2, 20000), 128);
  std::string path = dir_.file("vemo.mp3");
  write_file(path, std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
  Signal reference = reference_decode(path);
  ASSERT_GT(reference.frames(), 0u);
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(stream, 0u);
  BASS_StreamPlay(stream, FALSE, 0);
  EXPECT_EQ(pull(reference.frames()), reference.samples);
}

TEST_F(AudioPull, AFailedCreateLeavesTheStreamThatPlays) {
  std::string path = make_mp3(make_chirp(44100, 1, 3000), 64);
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, dir_.file("absent.mp3").c_str(), 0, 0, 0), 0u);
  EXPECT_TRUE(BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP));
  EXPECT_EQ(bass::stream_format().channels, 1);
}

TEST(AudioLifecycle, CallsOutsideInitFailAndInitTwiceIsRefused) {
  bass::use_output(bass::pull_output());
  TempDir dir;
  std::string path = dir.file("vemo.mp3");
  write_file(path, encode_mp3(make_chirp(44100, 1, 3000), 64));
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0), 0u);
  EXPECT_FALSE(BASS_Start());
  EXPECT_FALSE(BASS_Free());
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
  EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr));
  EXPECT_TRUE(BASS_Free());
  EXPECT_FALSE(BASS_Init(-2, 44100, 0, nullptr));
  bass::use_output(bass::silent_output());
}

TEST(AudioLifecycle, PullGivesNothingUnlessThePullIsTheOutput) {
  TempDir dir;
  std::string path = dir.file("vemo.mp3");
  write_file(path, encode_mp3(make_chirp(44100, 1, 3000), 64));
  bass::use_output(bass::silent_output());
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
  HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  EXPECT_NE(stream, 0u);
  EXPECT_TRUE(BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP));
  int16_t buffer[1000];
  EXPECT_EQ(bass::pull_samples(buffer, 1000), 0u);
  BASS_Free();
}

}  // namespace
}  // namespace audio_test
