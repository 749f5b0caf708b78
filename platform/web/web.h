// The browser as the demo's platform: the window backend draws on the page's
// canvas and takes the page's keys and clock; the audio output lets the
// browser decode and loop the music. Both talk to the page through
// web_library.js. The web build's entry (web/) installs them before DemoMain.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/bass/output.h"
#include "platform/win32/backend.h"
#include "platform/win32/headless.h"

namespace web {

struct WebOptions {
  // 0: the page's clock, one picture per animation frame. Otherwise the
  // deterministic mode: the headless backend's virtual clock at this many
  // frames per second, and the next picture as soon as the page has had
  // its turn.
  int virtual_fps = 0;
  // Deterministic mode: the window is closed once this many pictures are
  // out (0: the demo runs to its end).
  uint64_t max_frames = 0;
  // Called with every presented picture and its number, counted from 0,
  // after it is on the canvas.
  std::function<void(const win32::Frame&, uint64_t)> on_present;
};

class WebBackend final : public win32::Backend {
 public:
  explicit WebBackend(WebOptions options);

  uint32_t now_ms() override;
  void pump_events(HWND window) override;
  bool open_display(int width, int height) override;
  bool present(const win32::Frame& frame) override;
  void yield_to_host() override;
  void message_box(const std::string& text, const std::string& caption) override;
  void show_cursor(bool visible) override;

  uint64_t presented() const { return presented_; }

 private:
  WebOptions options_;
  // The virtual clock, shared with the native captures so that both give
  // the same ticks; counts pictures in deterministic mode only.
  std::unique_ptr<win32::HeadlessBackend> virtual_clock_;
  uint64_t presented_ = 0;
  bool close_posted_ = false;
  // The picture widened to the canvas's RGBA, handed to the page.
  std::vector<uint32_t> rgba_;
};

// The music decoded by the browser (decodeAudioData, gapless with a LAME
// tag) and looped by it without a seam. Silent when the file is missing or
// the browser cannot decode it, as natively. With `audible` false the music
// is still decoded (the page reports its length) but never played.
bass::Output& browser_output(bool audible);

}  // namespace web
