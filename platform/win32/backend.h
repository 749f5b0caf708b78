// The seam between the Win32 face and what actually runs it. Exactly one
// backend is active; whoever starts the demo installs it before DemoMain runs
// (tuulikannel: the SDL2 window; tuuli capture and the tests: headless).
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/frame.h"
#include "platform/win32/win32.h"

namespace win32 {

class Backend {
 public:
  virtual ~Backend() = default;

  // Milliseconds of the backend's clock; GetTickCount and timeGetTime read it.
  virtual uint32_t now_ms() = 0;

  // Turns pending input into posted messages for `window` (WM_KEYDOWN with
  // virtual-key codes, WM_CLOSE when the user closes the window). Called by
  // PeekMessageA and GetMessageA before they look at the queue.
  virtual void pump_events(HWND window) = 0;

  // Opens the full-screen picture the device presents into. False when no
  // display can be had; the device then fails to be created.
  virtual bool open_display(int width, int height) = 0;

  // Shows one presented picture. False when the picture can no longer be shown.
  virtual bool present(const Frame& frame) = 0;

  // A backend that keeps each picture (a capture) may lend the device a
  // buffer of `shape`'s size and format to present in: true, with `buffer`
  // its pixels and pitch. The device then writes the finished picture there
  // as it finishes it, each drawing thread its own rows, and present() is
  // handed `buffer`, which saves the backend a copy. A backend that lends
  // says so before the frame ends, so the device keeps its drawing waiting
  // until Present.
  virtual bool lends_present_buffers() const { return false; }
  virtual bool lend_present_buffer(const Frame& /*shape*/, Frame& /*buffer*/) { return false; }

  // Called once per presented picture, after present(): a host that owns the
  // loop (a browser page) takes its turn here, so that DemoMain's own loop
  // runs unchanged inside it. Returns when the demo may go on.
  virtual void yield_to_host() {}

  // Releases what open_display took (the device is gone).
  virtual void close_display() {}

  // The texts arrive already converted to UTF-8.
  virtual void message_box(const std::string& text, const std::string& caption) = 0;

  virtual void show_cursor(bool visible) = 0;
};

// Installs the process's backend; the caller keeps it alive while the demo
// runs. Passing null restores the default (headless, with no scripted input).
void use_backend(Backend* backend);
Backend& backend();

// Windows-1252 to UTF-8, for texts the demo stores the Windows way.
std::string cp1252_to_utf8(const char* text);

// Forgets every window class, window and queued message: lets one process run
// the demo more than once (tools, tests).
void reset_windowing();

}  // namespace win32
