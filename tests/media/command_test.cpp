// tuuli media make as a user runs it: the files land with their names, bad
// requests fail with a message and a non-zero exit, nothing half-written
// is left behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

std::string tuuli() {
  const char* dir = std::getenv("TUULI_BUILD_DIR");
  return std::string(dir ? dir : "..") + "/tuuli";
}

int run(const std::string& arguments) {
  int status = std::system((tuuli() + " " + arguments + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path fresh_dir(const char* name) {
  fs::path dir = fs::temp_directory_path() / (std::string("tuuli-media-test-") + name + std::to_string(getpid()));
  fs::remove_all(dir);
  return dir;
}

TEST(MediaCommand, OnlyWritesTheNamedFilesUnderTheirPackNames) {
  fs::path dir = fresh_dir("only");
  ASSERT_EQ(run("media make " + dir.string() + " --only pallukka media4 -q"), 0);
  EXPECT_TRUE(fs::is_regular_file(dir / "obu" / "pallukka.obu"));
  EXPECT_TRUE(fs::is_regular_file(dir / "gfx" / "media4.bmp"));
  EXPECT_FALSE(fs::exists(dir / "obu" / "aalto2.obu"));
  EXPECT_FALSE(fs::exists(dir / "gfx" / "media4.bmp.part"));
  fs::remove_all(dir);
}

TEST(MediaCommand, BadRequestsFailWithoutWriting) {
  fs::path dir = fresh_dir("bad");
  struct Case {
    std::string arguments;
    int exit_code;
  };
  // A plain file where the pack's folder should be.
  fs::path blocker = fresh_dir("blocker");
  std::ofstream(blocker) << "x";
  const Case cases[] = {
      {"media make " + dir.string() + " --only nosuch", 2},
      {"media make", 0},  // no folder: CLI11's own non-zero code
      {"media make " + blocker.string() + " --only pallukka -q", 1},
      {"media frobnicate", 0},
  };
  for (const Case& c : cases) {
    int code = run(c.arguments);
    EXPECT_NE(code, 0) << c.arguments;
    if (c.exit_code != 0) {
      EXPECT_EQ(code, c.exit_code) << c.arguments;
    }
  }
  EXPECT_FALSE(fs::exists(dir));
  fs::remove(blocker);
}

TEST(MediaCommand, HelpExplainsTheCommand) {
  EXPECT_EQ(run("media make --help"), 0);
  EXPECT_EQ(run("media list"), 0);
}

}  // namespace
