// The backend with a real window through SDL2. "Full screen" is a
// desktop-sized window showing the 640x480 picture letterboxed at 4:3, so
// the desktop's video mode is never changed.
#pragma once

#include <chrono>
#include <string>

#include "platform/win32/backend.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace win32 {

struct SdlWindowOptions {
  bool windowed = false;  // a 1280x960 window instead of the desktop-sized one
  bool vsync = false;     // wait for the retrace on present (the demo itself never does)
  std::string title = "Tuulikannel";
};

class SdlWindowBackend : public Backend {
 public:
  explicit SdlWindowBackend(SdlWindowOptions options = {});
  ~SdlWindowBackend() override;

  uint32_t now_ms() override;
  void pump_events(HWND window) override;
  bool open_display(int width, int height) override;
  bool present(const Frame& frame) override;
  void close_display() override;
  void message_box(const std::string& text, const std::string& caption) override;
  void show_cursor(bool visible) override;

 private:
  SdlWindowOptions options_;
  std::chrono::steady_clock::time_point epoch_;
  bool video_ready_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
};

}  // namespace win32
