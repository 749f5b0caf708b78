// `tuuli clip` end to end: pictures in, a clip out, and the clip's frames
// back exactly as playback decodes them; bad files end with an error.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "codec_test_util.h"
#include "encoder_content.h"

namespace {

namespace fs = std::filesystem;

fs::path tuuli() {
  const char* build = std::getenv("TUULI_BUILD_DIR");
  std::error_code ec;
  const fs::path root = build ? fs::path(build) : fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path();
  return root / "tuuli";
}

// Runs tuuli with `arguments`; its exit status, standard output in `out`.
int run(const std::string& arguments, std::string* out = nullptr) {
  const std::string command = tuuli().string() + " " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int status = pclose(pipe);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An uncompressed 24-bit Targa file, top-down.
void write_tga(const fs::path& path, const codec::RgbFrame& frame) {
  std::vector<uint8_t> bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                static_cast<uint8_t>(frame.width), static_cast<uint8_t>(frame.width >> 8),
                                static_cast<uint8_t>(frame.height), static_cast<uint8_t>(frame.height >> 8),
                                24, 0x20};
  for (size_t i = 0; i < frame.rgb.size(); i += 3) {
    bytes.insert(bytes.end(), {frame.rgb[i + 2], frame.rgb[i + 1], frame.rgb[i]});
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

struct TempFolder {
  fs::path path = fs::temp_directory_path() / ("tuuli_clip_test_" + std::to_string(getpid()));
  TempFolder() { fs::create_directories(path); }
  ~TempFolder() { fs::remove_all(path); }
};

TEST(ClipCommand, EncodeInfoDumpAndExtract) {
  ASSERT_TRUE(fs::exists(tuuli())) << tuuli();
  codec_test::init_codec();
  TempFolder temp;
  const fs::path frames = temp.path / "frames";
  fs::create_directories(frames);
  for (int k = 0; k < 3; ++k) {
    write_tga(frames / ("f" + std::to_string(k) + ".tga"),
              codec_test::synthetic_frame(codec_test::Content::kPlasma, 128, 96, k));
  }
  const fs::path clip = temp.path / "clip.dat";
  ASSERT_EQ(run("clip encode --quiet --out " + clip.string() + " " + frames.string()), 0);

  std::string json;
  ASSERT_EQ(run("clip info --json " + clip.string(), &json), 0);
  const auto info = nlohmann::json::parse(json);
  EXPECT_EQ(info["frames"], 3);
  EXPECT_EQ(info["frame_list"][2]["width"], 128);
  EXPECT_EQ(info["refused_frames"], 0);

  const fs::path dump = temp.path / "dump";
  ASSERT_EQ(run("clip dump " + clip.string() + " --out " + dump.string()), 0);
  const std::vector<uint8_t> file = read_all(clip);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    bool in_range = false;
    ASSERT_EQ(codec::decode_clip_frame(file, k, &in_range), codec::FrameError::kNone);
    char name[32];
    std::snprintf(name, sizeof name, "frame%04d.ycc", k);
    // The whole buffer is written; only the frame's Y, Cr and Cb bytes are
    // this frame's (the rest is what earlier frames of each process left).
    const std::vector<uint8_t> ycc = read_all(dump / name);
    ASSERT_EQ(ycc.size(), static_cast<size_t>(codec::kFramePixelBytes));
    for (size_t i = 0; i < 128 * 96 * 4; ++i) {
      if (i % 4 != 3) {
        ASSERT_EQ(ycc[i], codec::FramePixels[i]) << i;
      }
    }
    std::snprintf(name, sizeof name, "frame%04d.rgb565", k);
    const std::vector<uint8_t> rgb565 = read_all(dump / name);
    ASSERT_EQ(rgb565.size(), 128u * 96 * 2);
    for (size_t i = 0; i < 128 * 96; i += 101) {
      ASSERT_EQ(rgb565[2 * i] | rgb565[2 * i + 1] << 8, codec::Frame16[i]);
    }
  }
  ASSERT_EQ(run("clip extract " + clip.string() + " --out " + (temp.path / "png").string()), 0);
  EXPECT_TRUE(fs::exists(temp.path / "png" / "frame0002.png"));
}

TEST(ClipCommand, BadInputEndsWithAnError) {
  TempFolder temp;
  const fs::path truncated = temp.path / "truncated.dat";
  {
    const auto clip = codec::write_clip_file({codec::encode_frame_record(codec::assemble_decoded_stream(
        codec_test::flat_parts(codec_test::header(16, 16, 4, 4, 8, 8), 1, 2, 3)))});
    std::ofstream(truncated, std::ios::binary).write(reinterpret_cast<const char*>(clip.data()),
                                                     static_cast<std::streamsize>(clip.size() - 5));
  }
  write_tga(temp.path / "narrow.tga", codec_test::synthetic_frame(codec_test::Content::kFlat, 128, 64, 0));
  {
    codec::RgbFrame odd = codec_test::synthetic_frame(codec_test::Content::kFlat, 128, 64, 0);
    odd.width = 64, odd.height = 128;  // same bytes, 64 wide
    write_tga(temp.path / "odd.tga", odd);
  }
  const std::string cases[] = {
      "clip info " + (temp.path / "missing.dat").string(),
      "clip info " + truncated.string(),
      "clip dump " + truncated.string() + " --out " + (temp.path / "d").string(),
      "clip encode --out " + (temp.path / "x.dat").string() + " " + (temp.path / "odd.tga").string(),
      "clip encode --out " + (temp.path / "x.dat").string() + " " + (temp.path / "missing.png").string(),
      "clip encode --quality 2 --out " + (temp.path / "x.dat").string() + " " + (temp.path / "narrow.tga").string(),
      "clip",
  };
  for (const std::string& c : cases) {
    SCOPED_TRACE(c);
    EXPECT_NE(run(c), 0);
  }
}

}  // namespace
