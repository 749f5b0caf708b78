// The per-frame record of `tuuli capture --log`, taken the same way wherever
// the demo runs (the capture, the web page's deterministic mode), so that
// their logs can be compared line by line.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

struct FrameLogEntry {
  uint64_t frame = 0;      // presented pictures before this one
  uint32_t tick = 0;       // the demo's CurrentTick
  double demo_time = 0.0;  // DemoTime, in the demo's hundredths of a second
  int entry = 0;           // the timeline entry that drew the picture
};

// The demo's state while frame `frame` is presented.
FrameLogEntry frame_log_entry(uint64_t frame);

// One JSON object without a line end: frame, tick, demo_time (two decimals),
// entry, and `sha256_hex`, the SHA-256 of the picture's R5G6B5 pixels
// (little-endian, rows without padding).
std::string frame_log_line(const FrameLogEntry& entry, const std::string& sha256_hex);

}  // namespace tools
