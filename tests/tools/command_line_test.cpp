// tuuli's command line as scripts and users rely on it: usage errors exit 2
// and name what is wrong, --help and --version exit 0.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/run_tuuli.h"

namespace {

struct Call {
  const char* arguments;
  int exit_code;
  const char* says;
};

TEST(CommandLine, UsageErrorsExitTwoAndNameTheFault) {
  const Call calls[] = {
      {"", 2, "tuuli: a command is needed, one of: capture, play, clip, mesh, media"},
      {"bogus", 2, "tuuli: unknown command 'bogus' (commands: capture, play"},
      {"--bogus", 2, "tuuli: unknown option '--bogus'"},
      {"media bogus", 2, "tuuli media: unknown command 'bogus' (commands: make, list)"},
      {"clip", 2, "tuuli clip: a command is needed, one of: info, dump, extract, encode"},
      {"media make", 2, "tuuli media make: DIR is required"},
      {"capture --dir", 2, "tuuli capture: --dir"},
      {"capture --dir /nonexistent/folder", 2, "Directory does not exist: /nonexistent/folder"},
      {"capture --fps 0", 2, "--fps: Value 0 not in range"},
      {"capture --out x.avi", 2, "extension"},
      {"capture surplus", 2, "surplus"},
      {"capture --fps", 2, "--fps"},
      {"capture --scale 7", 2, "--scale: Value 7 not in range"},
      {"capture --scale 0", 2, "--scale"},
      {"capture --colour 24", 2, "--colour"},
      {"capture --canvas 801x600", 2, "801x600 has an odd side"},
      {"capture --canvas big", 2, "'big' is not WIDTHxHEIGHT"},
      {"capture --from -1", 2, "--from"},
      {"capture --from 5 --to 4", 2, "--to 4 must come after --from 5"},
      {"play --scale 7", 2, "7 is neither fit nor a scale from 1 to 6"},
      {"play --scale fat", 2, "--scale"},
      {"play --colour 8", 2, "--colour"},
      {"play --filter cubic", 2, "--filter"},
  };
  for (const Call& c : calls) {
    tools_test::Result r = tools_test::run_tuuli(c.arguments);
    EXPECT_EQ(r.exit_code, c.exit_code) << "tuuli " << c.arguments << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << "tuuli " << c.arguments << ": " << r.output;
  }
}

TEST(CommandLine, HelpAndVersionSucceed) {
  const Call calls[] = {
      {"--help", 0, "Subcommands:"},
      {"capture --help", 0, "--fps"},
      {"capture --help", 0, "--canvas WxH"},
      {"play --help", 0, "--filter"},
      {"media make --help", 0, "--only"},
  };
  for (const Call& c : calls) {
    tools_test::Result r = tools_test::run_tuuli(c.arguments);
    EXPECT_EQ(r.exit_code, c.exit_code) << "tuuli " << c.arguments << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << "tuuli " << c.arguments << ": " << r.output;
  }
  // help2man reads the version from the first line, after the program's name.
  tools_test::Result version = tools_test::run_tuuli("--version");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.output, "tuuli " TUULI_VERSION "\n");
}

// The demo ends with 0 after a failed start, as the original did; a capture
// that recorded nothing must not look like a success to a script.
TEST(CommandLine, CaptureThatRecordedNothingFails) {
  tools_test::Result r = tools_test::run_tuuli("capture --quiet --dir / --fps 1 --log /dev/null");
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("the demo did not start in /"), std::string::npos) << r.output;
}

}  // namespace
