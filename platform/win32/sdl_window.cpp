#include "platform/win32/sdl_window.h"

#include "platform/win32/letterbox.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace win32 {

namespace {

// SDL keys to Windows virtual-key codes; 0 for keys the demo has no use for.
WPARAM virtual_key(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
  switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    default: return 0;
  }
}

// Debian's SDL2 falls back to drivers that show nothing when no display is
// reachable; a picture nobody can see is no display, unless the user asked
// for exactly that driver.
bool invisible_driver_not_asked_for() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr) return true;
  bool invisible = std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                   std::strcmp(driver, "evdev") == 0;
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  return invisible && (asked == nullptr || std::strstr(asked, driver) == nullptr);
}

}  // namespace

SdlWindowBackend::SdlWindowBackend(SdlWindowOptions options)
    : options_(std::move(options)), epoch_(std::chrono::steady_clock::now()) {}

SdlWindowBackend::~SdlWindowBackend() {
  close_display();
  if (video_ready_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

uint32_t SdlWindowBackend::now_ms() {
  auto elapsed = std::chrono::steady_clock::now() - epoch_;
  // Like GetTickCount, a 32-bit count that wraps; start well away from 0 so a
  // difference taken across the start is still exercised as a difference.
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return static_cast<uint32_t>(0x00100000 + ms);
}

void SdlWindowBackend::pump_events(HWND window) {
  if (!video_ready_) return;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (window == nullptr) continue;
    switch (event.type) {
      case SDL_KEYDOWN:
        if (WPARAM vk = virtual_key(event.key.keysym.sym)) PostMessageA(window, WM_KEYDOWN, vk, 0);
        break;
      case SDL_KEYUP:
        if (WPARAM vk = virtual_key(event.key.keysym.sym)) PostMessageA(window, WM_KEYUP, vk, 0);
        break;
      case SDL_QUIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
      case SDL_MOUSEMOTION:
        // Windows asks the window procedure for a cursor as the mouse moves.
        PostMessageA(window, WM_SETCURSOR, 0, 0);
        break;
      default:
        break;
    }
  }
}

bool SdlWindowBackend::open_window() {
  if (window_ != nullptr) return true;
  if (!video_ready_) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      std::fprintf(stderr, "tuulikannel: no display: %s\n", SDL_GetError());
      return false;
    }
    video_ready_ = true;
  }
  if (invisible_driver_not_asked_for()) {
    std::fprintf(stderr, "tuulikannel: no display (SDL video driver '%s')\n",
                 SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "none");
    return false;
  }
  Uint32 flags = options_.windowed ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_FULLSCREEN_DESKTOP;
  int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
  int w = options_.window_width, h = options_.window_height;
  // Full screen is a window manager's doing: without one (xinit, a bare X
  // server) the window keeps the size and place it was made with, so it is
  // made covering the whole display to begin with.
  SDL_Rect display;
  if (!options_.windowed && SDL_GetDisplayBounds(0, &display) == 0) {
    x = display.x, y = display.y, w = display.w, h = display.h;
  }
  window_ = SDL_CreateWindow(options_.title.c_str(), x, y, w, h, flags);
  if (window_ == nullptr) {
    std::fprintf(stderr, "tuulikannel: cannot open a window: %s\n", SDL_GetError());
    return false;
  }
  Uint32 renderer_flags = options_.vsync ? SDL_RENDERER_PRESENTVSYNC : 0;
  renderer_ = SDL_CreateRenderer(window_, -1, renderer_flags);
  if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (renderer_ == nullptr) {
    std::fprintf(stderr, "tuulikannel: cannot draw into the window: %s\n", SDL_GetError());
    close_display();
    return false;
  }
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderPresent(renderer_);
  return true;
}

bool SdlWindowBackend::output_size(int& width, int& height) {
  if (!options_.windowed) {
    if (!video_ready_) {
      if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "tuulikannel: no display: %s\n", SDL_GetError());
        return false;
      }
      video_ready_ = true;
    }
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
      width = mode.w, height = mode.h;
      return true;
    }
  }
  if (!open_window()) return false;
  if (SDL_GetRendererOutputSize(renderer_, &width, &height) != 0) {
    SDL_GetWindowSizeInPixels(window_, &width, &height);
  }
  return width > 0 && height > 0;
}

bool SdlWindowBackend::open_display(int, int) {
  // The texture follows the frames (present), whatever size the device
  // announces here.
  return open_window();
}

bool SdlWindowBackend::present(const Frame& frame) {
  if (renderer_ == nullptr) return false;
  if (texture_ == nullptr || frame.width != texture_width_ || frame.height != texture_height_ ||
      frame.format != texture_format_) {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    // SDL's RGB888 is the 32-bit word 0x00RRGGBB, the X8R8G8B8 layout.
    const Uint32 format =
        frame.format == PixelFormat::r5g6b5 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    texture_ = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, frame.width,
                                 frame.height);
    if (texture_ == nullptr) {
      std::fprintf(stderr, "tuulikannel: cannot make the %dx%d picture: %s\n", frame.width,
                   frame.height, SDL_GetError());
      return false;
    }
    texture_width_ = frame.width, texture_height_ = frame.height, texture_format_ = frame.format;
  }
  SDL_UpdateTexture(texture_, nullptr, frame.pixels, frame.pitch_bytes);
  // The picture is placed at every present from the size the drawable has
  // then, not through a logical size SDL computes from the size the window
  // was asked for: without a window manager a full-screen window gets its
  // size later, and SDL's viewport kept the old one.
  int drawable_width = 0, drawable_height = 0;
  if (SDL_GetRendererOutputSize(renderer_, &drawable_width, &drawable_height) != 0) {
    SDL_GetWindowSizeInPixels(window_, &drawable_width, &drawable_height);
  }
  const Placement place = options_.whole_multiples
                              ? place_picture(drawable_width, drawable_height, frame.width, frame.height)
                              : letterbox(drawable_width, drawable_height, frame.width, frame.height);
  // A whole multiple needs no filter: every pixel becomes a square.
  SDL_SetTextureScaleMode(texture_, place.integer_scale == 0 && options_.linear_filter
                                        ? SDL_ScaleModeLinear
                                        : SDL_ScaleModeNearest);
  const SDL_Rect target{place.x, place.y, place.width, place.height};
  SDL_RenderSetViewport(renderer_, nullptr);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, &target);
  SDL_RenderPresent(renderer_);
  return true;
}

void SdlWindowBackend::close_display() {
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  if (window_) SDL_DestroyWindow(window_);
  texture_ = nullptr;
  texture_width_ = texture_height_ = 0;
  renderer_ = nullptr;
  window_ = nullptr;
}

void SdlWindowBackend::message_box(const std::string& text, const std::string& caption) {
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), text.c_str(), window_) != 0) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
}

void SdlWindowBackend::show_cursor(bool visible) {
  if (video_ready_) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace win32
