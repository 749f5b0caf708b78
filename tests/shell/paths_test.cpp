// Windows-style names on a case-sensitive file system.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/win32/win32.h"

namespace {

namespace fs = std::filesystem;

class WindowsPaths : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tuuli-paths-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "data");
    fs::create_directories(root_ / "GFX");
    fs::create_directories(root_ / "Obu" / "Deep");
    touch(root_ / "data" / "rasmu.dat", "exact");
    touch(root_ / "GFX" / "Media.BMP", "mixed");
    touch(root_ / "Obu" / "Deep" / "aalto2.obu", "nested");
    touch(root_ / "vemo.mp3", "music");
    previous_ = fs::current_path();
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(root_);
  }
  static void touch(const fs::path& p, const char* text) { std::ofstream(p) << text; }

  fs::path root_;
  fs::path previous_;
};

std::string read_all(const char* windows_path) {
  std::FILE* f = win32::open_file(windows_path, "rb");
  if (f == nullptr) return "<absent>";
  char buffer[64] = {};
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
  std::fclose(f);
  return std::string(buffer, n);
}

TEST_F(WindowsPaths, FindsFilesTheWayWindowsWould) {
  struct Case {
    const char* path;
    const char* content;
  } cases[] = {
      {"data\\rasmu.dat", "exact"},
      {"data/rasmu.dat", "exact"},
      {"DATA\\RASMU.DAT", "exact"},
      {"gfx\\media.bmp", "mixed"},
      {"gfx\\MEDIA.bmp", "mixed"},
      {"obu\\deep\\AALTO2.obu", "nested"},
      {".\\vemo.mp3", "music"},
      {"VEMO.MP3", "music"},
      {"data\\missing.dat", "<absent>"},
      {"nowhere\\rasmu.dat", "<absent>"},
      {"data", "<absent>"},  // a folder is not a file
      {"", "<absent>"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_all(c.path), c.content) << c.path;
}

TEST_F(WindowsPaths, AnExactNameWinsOverACaseInsensitiveOne) {
  touch(root_ / "data" / "RASMU.DAT", "upper");
  EXPECT_EQ(read_all("data\\RASMU.DAT"), "upper");
  EXPECT_EQ(read_all("data\\rasmu.dat"), "exact");
  // Neither spelling matches exactly: the choice must not depend on the
  // order the folder lists its entries.
  EXPECT_EQ(read_all("data\\Rasmu.dat"), "upper");
}

}  // namespace
