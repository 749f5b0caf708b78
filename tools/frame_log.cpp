#include "tools/frame_log.h"

#include <cstdio>

#include "shell/shell.h"

namespace tools {

FrameLogEntry frame_log_entry(uint64_t frame) {
  return {frame, shell::CurrentTick, shell::DemoTime, shell::TimelineIndex};
}

std::string frame_log_line(const FrameLogEntry& e, const std::string& sha256_hex) {
  char line[256];
  std::snprintf(line, sizeof line,
                "{\"frame\":%llu,\"tick\":%u,\"demo_time\":%.2f,\"entry\":%d,\"sha256\":\"%s\"}",
                static_cast<unsigned long long>(e.frame), e.tick, e.demo_time, e.entry,
                sha256_hex.c_str());
  return line;
}

}  // namespace tools
