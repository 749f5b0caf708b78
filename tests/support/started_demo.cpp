#include "tests/support/started_demo.h"

#include <filesystem>

#include "platform/d3d8/d3d8.h"
#include "shell/shell.h"
#include "tests/support/test_media.h"

namespace test_support {

void StartedDemo::SetUp() {
  std::filesystem::current_path(test_media_dir());
  ASSERT_GE(shell::InitDevice(nullptr), 0);
  ASSERT_EQ(shell::LoadMedia(), 1);
  ASSERT_GE(shell::CreateResources(), 0);
}

void StartedDemo::begin_frame(float step) {
  shell::FrameStep = step;
  ASSERT_GE(shell::BeginFrame(), 0);
}

std::vector<uint16_t> StartedDemo::end_frame() {
  EXPECT_GE(shell::EndFrame(), 0);
  return d3d8::back_buffer_565(shell::Device);
}

}  // namespace test_support
