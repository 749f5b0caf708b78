// The backend with a real window through SDL2. "Full screen" is a
// desktop-sized window showing the picture centred at 4:3, so the desktop's
// video mode is never changed. The picture's size and pixel format are
// whatever each presented frame has.
#pragma once

#include <chrono>
#include <string>

#include "platform/win32/backend.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace win32 {

struct SdlWindowOptions {
  bool windowed = false;  // a window of window_width x window_height instead of the desktop-sized one
  int window_width = 1280;
  int window_height = 960;
  bool vsync = false;     // wait for the retrace on present (the demo itself never does)
  // True: a picture that fits is shown at the largest whole multiple that
  // fits, unfiltered (tuuli play). False: it fills the 4:3 letterbox, as
  // the demo has always been shown full screen.
  bool whole_multiples = false;
  // How a picture is resized where it is not a whole multiple ("linear" or
  // "nearest").
  bool linear_filter = true;
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

  // The pixels a picture can fill, before the demo starts: the display's
  // for full screen, the window's drawable (which is opened for it) when
  // windowed. False, with the reason on standard error, without a display.
  bool output_size(int& width, int& height);

 private:
  bool open_window();

  SdlWindowOptions options_;
  std::chrono::steady_clock::time_point epoch_;
  bool video_ready_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int texture_width_ = 0;
  int texture_height_ = 0;
  PixelFormat texture_format_ = PixelFormat::r5g6b5;
};

}  // namespace win32
