// Start-up loading as a user meets it: missing, empty and damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "shell/shell.h"
#include "tests/support/demo_child.h"
#include "tests/support/test_media.h"

namespace {

namespace fs = std::filesystem;
using test_support::DemoRun;

const char kLoadMessage[] = "Semmosta sattuu: Files not loaded. Not enough memory. Pkunzip -d ?";
const char kApua[] = "APUA P\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4!!";

struct LoadCase {
  const char* name;
  std::function<void(const fs::path&)> damage;
  std::vector<std::string> boxes;  // "caption: text"; a leading '~' matches a prefix
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

void write(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

class Loading : public testing::TestWithParam<LoadCase> {};

TEST_P(Loading, RefusesTheMediaAndEndsWithZero) {
  const LoadCase& c = GetParam();
  std::string dir = test_support::copy_of_test_media();
  c.damage(dir);
  test_support::DemoRunOptions o;
  o.directory = dir;
  o.headless.print_message_boxes = false;
  DemoRun run = test_support::run_demo(o);
  fs::remove_all(dir);
  ASSERT_EQ(run.died_how, "");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.frames, 0u);
  ASSERT_EQ(run.boxes.size(), c.boxes.size());
  for (size_t i = 0; i < c.boxes.size(); ++i) {
    std::string got = run.boxes[i].caption + ": " + run.boxes[i].text;
    if (c.boxes[i][0] == '~') {
      EXPECT_EQ(got.substr(0, c.boxes[i].size() - 1), c.boxes[i].substr(1)) << "box " << i;
    } else {
      EXPECT_EQ(got, c.boxes[i]) << "box " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Loading,
    testing::Values(
        LoadCase{"missing_clip",
                 [](const fs::path& d) { fs::remove(d / "data" / "televiso.dat"); },
                 {"data\\televiso.dat: File not found!", kLoadMessage}},
        LoadCase{"empty_clip",
                 [](const fs::path& d) { write(d / "data" / "rasmu.dat", ""); },
                 {std::string("data\\rasmu.dat: ") + kApua, kLoadMessage}},
        LoadCase{"missing_mesh",
                 [](const fs::path& d) { fs::remove(d / "obu" / "aalto2.obu"); },
                 {"obu\\aalto2.obu: File not found!", kLoadMessage}},
        LoadCase{"clip_with_a_broken_table",
                 [](const fs::path& d) {
                   write(d / "data" / "kolpo.dat", std::string("\x40\x00\x00\x00", 4) + "short");
                 },
                 {"~data\\kolpo.dat: Not a clip file", kLoadMessage}},
        LoadCase{"mesh_shorter_than_its_counts",
                 [](const fs::path& d) {
                   fs::resize_file(d / "obu" / "pallukka.obu", 40);
                 },
                 {"~obu\\pallukka.obu: ", kLoadMessage}},
        LoadCase{"folder_named_like_a_clip",
                 [](const fs::path& d) {
                   fs::remove(d / "data" / "hp.dat");
                   fs::create_directory(d / "data" / "hp.dat");
                 },
                 {"data\\hp.dat: File not found!", kLoadMessage}},
        // Images fail silently, as the original did.
        LoadCase{"missing_image", [](const fs::path& d) { fs::remove(d / "gfx" / "media3.bmp"); },
                 {}},
        LoadCase{"corrupt_image",
                 [](const fs::path& d) { write(d / "data" / "headless.tga", "not an image"); }, {}}),
    [](const testing::TestParamInfo<LoadCase>& p) { return std::string(p.param.name); });

TEST(Loading, CaseAndSeparatorsDoNotMatter) {
  std::string dir = test_support::copy_of_test_media();
  fs::rename(fs::path(dir) / "data" / "monitor.dat", fs::path(dir) / "data" / "MONITOR.DAT");
  fs::rename(fs::path(dir) / "gfx", fs::path(dir) / "Gfx");
  test_support::DemoRunOptions o;
  o.directory = dir;
  o.headless.input = {{3, WM_KEYDOWN, VK_ESCAPE}};
  DemoRun run = test_support::run_demo(o);
  fs::remove_all(dir);
  EXPECT_EQ(run.exit_code, 27);
  EXPECT_TRUE(run.boxes.empty());
}

TEST(Loading, AClipTextureThatCannotBeMadeEndsStartUpSilently) {
  test_support::DemoRunOptions o;
  o.directory = test_support::test_media_dir();
  // The six images take the first textures; the third clip texture fails.
  o.before = [] { d3d8::faults.fail_texture_after = 8; };
  DemoRun run = test_support::run_demo(o);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.frames, 0u);
  EXPECT_TRUE(run.boxes.empty());
}

}  // namespace
