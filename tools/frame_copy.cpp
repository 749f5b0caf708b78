#include "tools/frame_copy.h"

#include <cstdio>
#include <cstring>

namespace tools {

bool parse_canvas(const std::string& text, CanvasSize& canvas, std::string& error) {
  int width = 0, height = 0;
  char x = 0, rest = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 || x != 'x' ||
      width <= 0 || height <= 0) {
    error = "'" + text + "' is not WIDTHxHEIGHT (e.g. 3840x2160)";
    return false;
  }
  // A 4:2:0 frame has one chroma sample per 2x2 block: odd sizes have none
  // for their last row or column.
  if (width % 2 != 0 || height % 2 != 0) {
    error = text + " has an odd side: both must be even";
    return false;
  }
  // Far past any display, and small enough that a frame's size in bytes
  // cannot overflow.
  if (width > 16384 || height > 16384) {
    error = text + " is larger than 16384x16384";
    return false;
  }
  canvas = {width, height};
  return true;
}

std::string canvas_refusal(const CanvasSize& canvas, int picture_width, int picture_height) {
  if (canvas.width == 0) return "";
  if (canvas.width >= picture_width && canvas.height >= picture_height) return "";
  return "the canvas " + std::to_string(canvas.width) + "x" + std::to_string(canvas.height) +
         " is smaller than the picture " + std::to_string(picture_width) + "x" +
         std::to_string(picture_height) + " (a larger --canvas, or a smaller --scale)";
}

FrameCopy FramePool::lend(const win32::Frame& frame, const CanvasSize& canvas) {
  FrameCopy copy;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!free_.empty()) {
      copy.bytes = std::move(free_.back());
      free_.pop_back();
    }
  }
  const int width = canvas.width != 0 ? canvas.width : frame.width;
  const int height = canvas.height != 0 ? canvas.height : frame.height;
  const size_t pixel_bytes = static_cast<size_t>(frame.bytes_per_pixel());
  const size_t pitch = pixel_bytes * width;
  const size_t row_bytes = pixel_bytes * frame.width;
  copy.bytes.resize(pitch * height);
  // Centred on even offsets, so a 4:2:0 block never straddles the border.
  const int left = (width - frame.width) / 2 & ~1;
  const int top = (height - frame.height) / 2 & ~1;
  uint8_t* base = copy.bytes.data();
  // 0 is black in both formats. Pooled buffers may hold another layout's
  // bytes, so the border is cleared every time: a few rows and edges.
  std::memset(base, 0, pitch * top);
  const size_t below = static_cast<size_t>(top) + frame.height;
  std::memset(base + pitch * below, 0, pitch * (height - below));
  const size_t left_bytes = pixel_bytes * left;
  if (pitch != row_bytes) {
    for (int y = 0; y < frame.height; ++y) {
      uint8_t* row = base + pitch * (top + y);
      std::memset(row, 0, left_bytes);
      std::memset(row + left_bytes + row_bytes, 0, pitch - left_bytes - row_bytes);
    }
  }
  copy.canvas = {base, width, height, static_cast<int>(pitch), frame.format};
  copy.picture = {base + pitch * top + left_bytes, frame.width, frame.height, static_cast<int>(pitch),
                  frame.format};
  return copy;
}

FrameCopy FramePool::take(const win32::Frame& frame, const CanvasSize& canvas) {
  FrameCopy copy = lend(frame, canvas);
  win32::copy_rows(frame, copy.picture, 0, frame.height);
  return copy;
}

void FramePool::give(FrameCopy&& copy) {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(std::move(copy.bytes));
}

}  // namespace tools
