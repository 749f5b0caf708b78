// The backend without a display: a virtual clock that advances a fixed step
// per presented picture, scripted input, and message boxes that are recorded
// and printed. Every run with the same options is the same run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/backend.h"

namespace win32 {

// Posted to the foreground window once `frame` pictures have been presented
// (0: before the first one).
struct ScriptedInput {
  uint64_t frame = 0;
  UINT message = WM_KEYDOWN;
  WPARAM wparam = VK_ESCAPE;
};

struct MessageBoxRecord {
  std::string caption;
  std::string text;
};

struct HeadlessOptions {
  int fps = 60;                        // virtual frames per second
  uint32_t start_tick = 0x00100000;    // GetTickCount before the first picture
  bool display_available = true;       // false: the device cannot be created
  bool print_message_boxes = true;     // "caption: text" on standard error
  std::vector<ScriptedInput> input;
  // Replaces the fixed step: GetTickCount once `presented` pictures are out.
  std::function<uint32_t(uint64_t presented)> clock;
  // Called with every presented picture and its number, counted from 0.
  std::function<void(const Frame&, uint64_t)> on_present;
  // When set, lends the device the buffer to present in (see Backend).
  std::function<bool(const Frame& shape, Frame& buffer)> lend_buffer;
  // Asked before the demo looks at its messages, with the pictures presented
  // so far: once it says yes, WM_CLOSE is posted (once), as when a user
  // closes the window. For a host that decides to stop while the demo runs.
  std::function<bool(uint64_t presented)> close_when;
};

class HeadlessBackend : public Backend {
 public:
  explicit HeadlessBackend(HeadlessOptions options);

  uint32_t now_ms() override;
  void pump_events(HWND window) override;
  bool open_display(int width, int height) override;
  bool present(const Frame& frame) override;
  bool lends_present_buffers() const override { return static_cast<bool>(options_.lend_buffer); }
  bool lend_present_buffer(const Frame& shape, Frame& buffer) override {
    return options_.lend_buffer && options_.lend_buffer(shape, buffer);
  }
  void message_box(const std::string& text, const std::string& caption) override;
  void show_cursor(bool visible) override { cursor_visible_ = visible; }

  uint64_t presented() const { return presented_; }
  bool cursor_visible() const { return cursor_visible_; }
  const std::vector<MessageBoxRecord>& message_boxes() const { return boxes_; }

 private:
  HeadlessOptions options_;
  uint64_t presented_ = 0;
  size_t next_input_ = 0;
  bool close_posted_ = false;
  bool cursor_visible_ = true;
  std::vector<MessageBoxRecord> boxes_;
};

}  // namespace win32
