#include <emscripten.h>
#include <wasm_simd128.h>

#include "platform/web/web.h"

extern "C" {
// web_library.js
void tuuli_open_canvas(int width, int height);
void tuuli_show_picture(const uint32_t* rgba, int width, int height, double frame);
// Asyncify: returns after the page's next animation frame (real time) or
// its next turn of the event loop (deterministic).
void tuuli_yield(int wait_for_animation_frame);
double tuuli_now_ms();
int tuuli_take_key(int* down);
void tuuli_message_box(const char* text, const char* caption);
void tuuli_show_cursor(int visible);
}

namespace web {

namespace {

// R5G6B5 widened by bit replication, so that the canvas reads back to the
// same 16-bit values (the top bits of each channel are the original ones).
uint32_t widen(uint16_t p) {
  uint32_t r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
  r = (r << 3) | (r >> 2);
  g = (g << 2) | (g >> 4);
  b = (b << 3) | (b >> 2);
  return r | (g << 8) | (b << 16) | 0xFF000000u;  // RGBA bytes, little-endian
}

// widen() eight pixels at a time: the same bytes, about a tenth of the
// demo's time in the page before.
void widen_row(const uint16_t* in, uint32_t* out, int width) {
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    v128_t p = wasm_v128_load(in + x);
    v128_t r = wasm_v128_or(wasm_v128_and(wasm_u16x8_shr(p, 8), wasm_i16x8_splat(0xF8)), wasm_u16x8_shr(p, 13));
    v128_t g = wasm_v128_or(wasm_v128_and(wasm_u16x8_shr(p, 3), wasm_i16x8_splat(0xFC)),
                            wasm_v128_and(wasm_u16x8_shr(p, 9), wasm_i16x8_splat(0x03)));
    v128_t b = wasm_v128_or(wasm_v128_and(wasm_i16x8_shl(p, 3), wasm_i16x8_splat(0xF8)),
                            wasm_v128_and(wasm_u16x8_shr(p, 2), wasm_i16x8_splat(0x07)));
    v128_t rg = wasm_v128_or(r, wasm_i16x8_shl(g, 8));
    v128_t ba = wasm_v128_or(b, wasm_i16x8_splat(static_cast<int16_t>(0xFF00)));
    wasm_v128_store(out + x, wasm_i16x8_shuffle(rg, ba, 0, 8, 1, 9, 2, 10, 3, 11));
    wasm_v128_store(out + x + 4, wasm_i16x8_shuffle(rg, ba, 4, 12, 5, 13, 6, 14, 7, 15));
  }
  for (; x < width; ++x) out[x] = widen(in[x]);
}

// 0xXXRRGGBB words to the canvas's RGBA bytes: red and blue change places.
void xrgb_row(const uint32_t* in, uint32_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = in[x];
    out[x] = ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16) | 0xFF000000u;
  }
}

}  // namespace

WebBackend::WebBackend(WebOptions options) : options_(std::move(options)) {
  if (options_.virtual_fps > 0) {
    win32::HeadlessOptions clock;
    clock.fps = options_.virtual_fps;
    virtual_clock_ = std::make_unique<win32::HeadlessBackend>(std::move(clock));
  }
}

uint32_t WebBackend::now_ms() {
  if (virtual_clock_) return virtual_clock_->now_ms();
  // GetTickCount wraps at 2^32 ms like the original's.
  return static_cast<uint32_t>(static_cast<uint64_t>(tuuli_now_ms()));
}

void WebBackend::pump_events(HWND window) {
  int down = 0;
  for (int key; (key = tuuli_take_key(&down)) >= 0;) {
    if (window != nullptr) PostMessageA(window, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(key), 0);
  }
  if (options_.max_frames > 0 && presented_ >= options_.max_frames && !close_posted_ &&
      window != nullptr) {
    // As when the window is closed: the demo ends through WM_DESTROY.
    PostMessageA(window, WM_CLOSE, 0, 0);
    close_posted_ = true;
  }
}

bool WebBackend::open_display(int width, int height) {
  tuuli_open_canvas(width, height);
  return true;
}

bool WebBackend::present(const win32::Frame& frame) {
  rgba_.resize(static_cast<size_t>(frame.width) * frame.height);
  for (int y = 0; y < frame.height; ++y) {
    uint32_t* out = rgba_.data() + static_cast<size_t>(y) * frame.width;
    if (frame.format == win32::PixelFormat::r5g6b5) {
      widen_row(frame.row565(y), out, frame.width);
    } else {
      xrgb_row(frame.row8888(y), out, frame.width);
    }
  }
  tuuli_show_picture(rgba_.data(), frame.width, frame.height, static_cast<double>(presented_));
  if (virtual_clock_) virtual_clock_->present(frame);
  if (options_.on_present) options_.on_present(frame, presented_);
  ++presented_;
  return true;
}

void WebBackend::yield_to_host() { tuuli_yield(virtual_clock_ ? 0 : 1); }

void WebBackend::message_box(const std::string& text, const std::string& caption) {
  tuuli_message_box(text.c_str(), caption.c_str());
}

void WebBackend::show_cursor(bool visible) { tuuli_show_cursor(visible ? 1 : 0); }

}  // namespace web
