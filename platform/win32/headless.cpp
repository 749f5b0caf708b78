#include "platform/win32/headless.h"

#include <algorithm>
#include <cstdio>

namespace win32 {

HeadlessBackend::HeadlessBackend(HeadlessOptions options) : options_(std::move(options)) {
  if (options_.fps <= 0) options_.fps = 60;
  std::stable_sort(options_.input.begin(), options_.input.end(),
                   [](const ScriptedInput& a, const ScriptedInput& b) { return a.frame < b.frame; });
}

uint32_t HeadlessBackend::now_ms() {
  if (options_.clock) return options_.clock(presented_);
  // Whole milliseconds of frame n's start: n * 1000 / fps, so 60 fps gives
  // steps of 16 and 17 ms that add up exactly to a second every 60 frames.
  uint64_t elapsed = presented_ * 1000u / static_cast<uint64_t>(options_.fps);
  return static_cast<uint32_t>(options_.start_tick + elapsed);
}

void HeadlessBackend::pump_events(HWND window) {
  while (next_input_ < options_.input.size() && options_.input[next_input_].frame <= presented_) {
    const ScriptedInput& in = options_.input[next_input_++];
    if (window != nullptr) PostMessageA(window, in.message, in.wparam, 0);
  }
  if (!close_posted_ && window != nullptr && options_.close_when && options_.close_when(presented_)) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    close_posted_ = true;
  }
}

bool HeadlessBackend::open_display(int, int) { return options_.display_available; }

bool HeadlessBackend::present(const Frame& frame) {
  if (options_.on_present) options_.on_present(frame, presented_);
  ++presented_;
  return true;
}

void HeadlessBackend::message_box(const std::string& text, const std::string& caption) {
  boxes_.push_back({caption, text});
  if (options_.print_message_boxes) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
  }
}

}  // namespace win32
