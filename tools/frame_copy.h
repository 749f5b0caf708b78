// A capture's own copy of a presented picture, on its way from the demo's
// thread to the output thread, optionally centred on a larger black canvas.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/frame.h"

namespace tools {

struct CanvasSize {
  int width = 0;  // 0: no canvas, the picture as it is
  int height = 0;
};

// "WxH" with both even and positive (4:2:0 video halves them); false, with
// `error` saying why, otherwise.
bool parse_canvas(const std::string& text, CanvasSize& canvas, std::string& error);

// Empty when `canvas` can hold a picture of picture_width x picture_height,
// else why it cannot.
std::string canvas_refusal(const CanvasSize& canvas, int picture_width, int picture_height);

struct FrameCopy {
  std::vector<uint8_t> bytes;
  win32::Frame canvas;   // the whole frame the outputs write; rows without padding
  win32::Frame picture;  // the presented picture inside it (the canvas itself without one)
};

// Buffers reused from frame to frame: a fresh multi-megabyte buffer a frame
// would be zeroed, and often faulted in by the kernel, every time. take()
// runs on the demo's thread, give() on the output thread.
class FramePool {
 public:
  // `frame` copied into a pooled buffer, centred on `canvas` (whose size
  // canvas_refusal() has accepted) with black around it.
  FrameCopy take(const win32::Frame& frame, const CanvasSize& canvas);
  // The same without the picture's pixels: a buffer whose picture (of
  // `frame`'s size and format) someone else fills in, such as a device
  // presenting into it.
  FrameCopy lend(const win32::Frame& frame, const CanvasSize& canvas);
  void give(FrameCopy&& copy);

 private:
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> free_;
};

}  // namespace tools
