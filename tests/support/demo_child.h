// Runs the whole demo headless in a child process, so each run starts from
// the demo's process-wide state as the program would, and a crash in the
// demo fails the test instead of ending the test program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/headless.h"

namespace test_support {

struct DemoRun {
  int exit_code = -1;        // DemoMain's result; -1 when the child died
  std::string died_how;      // set when the child did not return normally
  uint64_t frames = 0;       // pictures presented
  std::vector<win32::MessageBoxRecord> boxes;
  std::vector<std::string> records;  // one per presented picture, from `record`
  std::string after;                 // from `after`, once DemoMain has returned
};

struct DemoRunOptions {
  win32::HeadlessOptions headless;
  std::string directory;             // the current directory of the run ("" = stay)
  std::function<void()> before;      // in the child, before DemoMain
  // In the child, on every presented picture (after the frame's scene ran).
  std::function<std::string(const win32::Frame&, uint64_t)> record;
  std::function<std::string()> after;  // in the child, after DemoMain returned
  int timeout_seconds = 900;  // generous: sanitizer builds run the demo several times slower
};

DemoRun run_demo(const DemoRunOptions& options);

}  // namespace test_support
