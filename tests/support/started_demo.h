// The demo started in this process as DemoMain starts it, short of the
// window and the music: device, media and resources. Each test program
// that uses it runs one test per process (ctest does so), so the demo's
// process-wide state starts fresh for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace test_support {

class StartedDemo : public testing::Test {
 protected:
  void SetUp() override;
  // Runs `draw` inside a frame bracket with the given frame step and
  // returns the presented picture (640x480 R5G6B5).
  template <typename F>
  std::vector<uint16_t> frame(float step, F&& draw) {
    begin_frame(step);
    draw();
    return end_frame();
  }

 private:
  void begin_frame(float step);
  std::vector<uint16_t> end_frame();
};

}  // namespace test_support
