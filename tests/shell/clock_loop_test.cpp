// The demo clock, the timeline and the main loop, observed through whole
// headless runs: what the user sees is frames, their timing and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "scenes/scenes.h"
#include "shell/shell.h"
#include "tests/support/demo_child.h"
#include "tests/support/test_media.h"

namespace {

using test_support::DemoRun;
using test_support::DemoRunOptions;

struct FrameState {
  uint32_t tick;
  int index;
  float step;
  float demo_time;
};

std::string record_clock(const win32::Frame&, uint64_t) {
  char line[128];
  std::snprintf(line, sizeof line, "%u %d %a %a", shell::CurrentTick, shell::TimelineIndex,
                static_cast<double>(shell::FrameStep), static_cast<double>(shell::DemoTime));
  return line;
}

std::vector<FrameState> parse(const DemoRun& run) {
  std::vector<FrameState> frames;
  for (const std::string& r : run.records) {
    FrameState f{};
    double step, time;
    std::sscanf(r.c_str(), "%u %d %la %la", &f.tick, &f.index, &step, &time);
    f.step = static_cast<float>(step);
    f.demo_time = static_cast<float>(time);
    frames.push_back(f);
  }
  return frames;
}

DemoRunOptions clocked(int fps) {
  DemoRunOptions o;
  o.directory = test_support::test_media_dir();
  o.headless.fps = fps;
  o.headless.print_message_boxes = false;
  o.record = record_clock;
  return o;
}

TEST(WholeRun, SixtyFramesPerSecondEndsByItselfAfterOneHundredSeconds) {
  DemoRun run = test_support::run_demo(clocked(60));
  ASSERT_EQ(run.died_how, "");
  EXPECT_EQ(run.exit_code, 0);
  // Frame n starts at n*1000/60 ms. The first past 100 000 ms is frame 6001:
  // it asks for the end and is still presented; the next pass quits.
  EXPECT_EQ(run.frames, 6002u);
  EXPECT_TRUE(run.boxes.empty());
}

TEST(Clock, FirstFrameStepIsZeroAndLaterStepsFollowRealTime) {
  DemoRun run = test_support::run_demo(clocked(7));
  auto frames = parse(run);
  ASSERT_GT(frames.size(), 3u);
  EXPECT_EQ(frames[0].step, 0.0f);
  EXPECT_EQ(frames[0].demo_time, 0.0f);
  for (size_t i = 1; i < frames.size(); ++i) {
    uint32_t ms = frames[i].tick - frames[i - 1].tick;
    ASSERT_EQ(frames[i].step, static_cast<float>(ms) * 0.015f) << "frame " << i;
  }
}

TEST(Timeline, EachEntryIsLeftOnTheFirstFrameStrictlyPastItsEnd) {
  // At 10 frames per second every end time falls exactly on a frame, which
  // must still show the entry; the next frame is past it.
  DemoRun run = test_support::run_demo(clocked(10));
  auto frames = parse(run);
  ASSERT_FALSE(frames.empty());
  uint32_t start = frames[0].tick;
  const int end_times[] = {16, 80, 144, 176, 240, 368, 496, 528, 680, 720, 736, 864, 896};
  for (int entry = 0; entry < 13; ++entry) {
    uint32_t limit_ms = static_cast<uint32_t>(end_times[entry]) * 100;
    for (const FrameState& f : frames) {
      uint32_t elapsed = f.tick - start;
      if (elapsed <= limit_ms) {
        ASSERT_LE(f.index, entry) << "entry " << entry << " left early at " << elapsed << " ms";
      } else {
        ASSERT_GT(f.index, entry) << "entry " << entry << " still current at " << elapsed << " ms";
      }
    }
  }
  EXPECT_EQ(frames.back().index, 13);
}

TEST(Timeline, ExactlyAtAnEndTimeTheEntryIsStillCurrent) {
  // Ticks chosen by hand: 1600 ms is still entry 0, 1601 ms is entry 1;
  // 100 000 ms still runs, 100 001 ms asks for the end.
  const uint32_t start = 5000;
  const uint32_t elapsed[] = {0, 1600, 1601, 99999, 100000, 100001, 100002, 100003};
  DemoRunOptions o = clocked(60);
  o.headless.clock = [&](uint64_t presented) {
    uint64_t i = std::min<uint64_t>(presented, std::size(elapsed) - 1);
    return start + elapsed[i];
  };
  DemoRun run = test_support::run_demo(o);
  auto frames = parse(run);
  ASSERT_GE(frames.size(), 6u);
  EXPECT_EQ(frames[1].index, 0);
  EXPECT_EQ(frames[2].index, 1);
  EXPECT_EQ(frames[4].demo_time, 1000.0f);
  // The frame at 100 001 ms is the last one presented; the next pass quits.
  EXPECT_EQ(run.frames, 6u);
  EXPECT_EQ(run.exit_code, 0);
}

TEST(Timeline, AJumpPastSeveralEntriesAdvancesOneEntryPerFrame) {
  // A single 60-second stall after the first frame: the timeline then walks
  // one entry per frame, each skipped entry's scene running once.
  DemoRunOptions o = clocked(60);
  o.headless.clock = [](uint64_t presented) {
    return presented == 0 ? 1000u : 1000u + 60000u + static_cast<uint32_t>(presented);
  };
  o.headless.input = {{20, WM_KEYDOWN, VK_ESCAPE}};
  DemoRun run = test_support::run_demo(o);
  auto frames = parse(run);
  ASSERT_GE(frames.size(), 12u);
  EXPECT_EQ(frames[0].index, 0);
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(frames[i].index, i) << "frame " << i;
  // 60 s is inside entry 8 (52.8 s to 68 s): the walk stops there.
  EXPECT_EQ(frames[9].index, 8);
  EXPECT_EQ(frames[10].index, 8);
  // The stall is handed to the scenes unclamped.
  EXPECT_EQ(frames[1].step, static_cast<float>(60001) * 0.015f);
}

TEST(Timeline, ThirteenRoutinesWithEntryTwelveRepeatingEntryTen) {
  std::set<void (*)()> distinct;
  for (const auto& e : shell::Timeline) distinct.insert(e.sceneRoutine);
  EXPECT_EQ(distinct.size(), 13u);
  EXPECT_EQ(shell::Timeline[10].sceneRoutine, shell::Timeline[12].sceneRoutine);
  EXPECT_EQ(shell::Timeline[13].endTime, 9999999.0f);
}

struct InputCase {
  const char* name;
  std::vector<win32::ScriptedInput> input;
  int exit_code;
  uint64_t frames;
  const char* device_after;  // only the window's destruction releases the device
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

class MainLoopInput : public testing::TestWithParam<InputCase> {};

TEST_P(MainLoopInput, EndsAsTheUserAsked) {
  const InputCase& c = GetParam();
  DemoRunOptions o = clocked(60);
  o.headless.input = c.input;
  o.after = [] {
    return std::string(shell::Device == nullptr ? "released" : "kept") +
           (shell::Direct3DObject == nullptr ? " released" : " kept");
  };
  DemoRun run = test_support::run_demo(o);
  ASSERT_EQ(run.died_how, "");
  EXPECT_EQ(run.exit_code, c.exit_code);
  EXPECT_EQ(run.frames, c.frames);
  EXPECT_EQ(run.after, c.device_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainLoopInput,
    testing::Values(
        // Escape read in the pass after frame 10: that pass still draws.
        InputCase{"escape", {{10, WM_KEYDOWN, VK_ESCAPE}}, 27, 11, "kept kept"},
        InputCase{"escape_first", {{0, WM_KEYDOWN, VK_ESCAPE}}, 27, 1, "kept kept"},
        // Other keys go to the default procedure only.
        InputCase{"other_keys_then_escape",
                  {{0, WM_KEYDOWN, 'A'}, {0, WM_KEYDOWN, VK_SPACE}, {0, WM_KEYDOWN, VK_RETURN},
                   {0, WM_KEYDOWN, VK_ESCAPE}},
                  27, 4, "kept kept"},
        // Closing the window: destroyed in the pass after frame 5, which
        // draws nothing more; the next pass reads the quit message.
        InputCase{"close", {{5, WM_CLOSE, 0}}, 0, 5, "released released"},
        InputCase{"key_up_escape_is_ignored",
                  {{3, WM_KEYUP, VK_ESCAPE}, {7, WM_KEYDOWN, VK_ESCAPE}}, 27, 8, "kept kept"}),
    [](const testing::TestParamInfo<InputCase>& p) { return std::string(p.param.name); });

TEST(MainLoop, ClosingTheWindowReleasesTheDevice) {
  DemoRunOptions o = clocked(60);
  o.headless.input = {{5, WM_CLOSE, 0}};
  o.after = [] {
    return std::string(shell::Device == nullptr ? "device released" : "device kept") +
           (shell::Direct3DObject == nullptr ? ", object released" : ", object kept") +
           (shell::Taivas2Texture == nullptr ? ", sky released" : ", sky kept");
  };
  DemoRun run = test_support::run_demo(o);
  EXPECT_EQ(run.after, "device released, object released, sky released");
}

TEST(MainLoop, EscapeLeavesEverythingToTheEndOfTheProcess) {
  DemoRunOptions o = clocked(60);
  o.headless.input = {{2, WM_KEYDOWN, VK_ESCAPE}};
  o.after = [] { return std::string(shell::Device != nullptr ? "kept" : "released"); };
  DemoRun run = test_support::run_demo(o);
  EXPECT_EQ(run.after, "kept");
}

TEST(MainLoop, TheCursorIsHiddenOverTheWindow) {
  DemoRunOptions o = clocked(60);
  o.headless.input = {{1, WM_SETCURSOR, 0}, {3, WM_KEYDOWN, VK_ESCAPE}};
  o.after = [] {
    auto& b = static_cast<win32::HeadlessBackend&>(win32::backend());
    return std::string(b.cursor_visible() ? "visible" : "hidden");
  };
  DemoRun run = test_support::run_demo(o);
  EXPECT_EQ(run.after, "hidden");
}

TEST(MainLoop, ALostDeviceDestroysTheWindowAndEndsWithZero) {
  DemoRunOptions o = clocked(60);
  o.record = [](const win32::Frame&, uint64_t n) {
    if (n == 3) d3d8::faults.fail_present = true;
    return std::string();
  };
  DemoRun run = test_support::run_demo(o);
  ASSERT_EQ(run.died_how, "");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.frames, 4u);
}

struct StartupCase {
  const char* name;
  std::function<void()> before;
  std::vector<std::string> boxes;  // "caption: text"
};

void PrintTo(const StartupCase& c, std::ostream* os) { *os << c.name; }

class StartupFailure : public testing::TestWithParam<StartupCase> {};

TEST_P(StartupFailure, ShowsItsMessageAndEndsWithZero) {
  const StartupCase& c = GetParam();
  DemoRunOptions o = clocked(60);
  o.before = c.before;
  DemoRun run = test_support::run_demo(o);
  ASSERT_EQ(run.died_how, "");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.frames, 0u);
  std::vector<std::string> boxes;
  for (const auto& b : run.boxes) boxes.push_back(b.caption + ": " + b.text);
  EXPECT_EQ(boxes, c.boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupFailure,
    testing::Values(
        StartupCase{"no_runtime", [] { d3d8::faults.fail_create_object = true; },
                    {"Semmosta sattuu: D3D init error"}},
        StartupCase{"adapter_silent", [] { d3d8::faults.fail_display_mode = true; },
                    {"Semmosta sattuu: D3D init error"}},
        StartupCase{"no_device", [] { d3d8::faults.fail_create_device = true; },
                    {"Semmosta sattuu: D3D init error"}}),
    [](const testing::TestParamInfo<StartupCase>& p) { return std::string(p.param.name); });

TEST(StartupFailure, NoDisplayShowsTheDeviceMessage) {
  DemoRunOptions o = clocked(60);
  o.headless.display_available = false;
  DemoRun run = test_support::run_demo(o);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, "Semmosta sattuu");
  EXPECT_EQ(run.boxes[0].text, "D3D init error");
  EXPECT_EQ(run.exit_code, 0);
}

}  // namespace
