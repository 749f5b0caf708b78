// The demo in a web page: the page's window and audio, then DemoMain as
// natively. With ?fps=F&frames=N the page runs it on the virtual clock of
// `tuuli capture` instead, silent, and logs every presented picture as the
// capture's --log does.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bass/bass.h"
#include "platform/web/web.h"
#include "shell/shell.h"
#include "tools/frame_log.h"

extern "C" {
// platform/web/web_library.js
int tuuli_virtual_fps();
double tuuli_max_frames();
void tuuli_log_frame(const char* line, const void* pixels, size_t bytes);
void tuuli_demo_ended(int exit_code, double frames);
}

namespace {

// The page hashes the pixels itself (SHA-256 of the R5G6B5 rows without
// padding, as the capture does) and fills in the record's sha256.
void log_frame(const win32::Frame& frame, uint64_t n) {
  std::string line = tools::frame_log_line(tools::frame_log_entry(n), "");
  const size_t row_bytes = static_cast<size_t>(frame.width) * frame.bytes_per_pixel();
  if (static_cast<size_t>(frame.pitch_bytes) == row_bytes) {
    tuuli_log_frame(line.c_str(), frame.pixels, row_bytes * frame.height);
    return;
  }
  std::vector<uint8_t> packed(row_bytes * frame.height);
  for (int y = 0; y < frame.height; ++y) {
    std::copy_n(frame.row(y), row_bytes, packed.begin() + static_cast<ptrdiff_t>(y * row_bytes));
  }
  tuuli_log_frame(line.c_str(), packed.data(), packed.size());
}

}  // namespace

int main() {
  web::WebOptions options;
  options.virtual_fps = tuuli_virtual_fps();
  bool deterministic = options.virtual_fps > 0;
  if (deterministic) {
    options.max_frames = static_cast<uint64_t>(tuuli_max_frames());
    options.on_present = log_frame;
  }
  web::WebBackend backend(options);
  win32::use_backend(&backend);
  bass::use_output(web::browser_output(!deterministic));
  int exit_code = shell::DemoMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
  // As natively: the demo leaves its music playing to the end of the process.
  BASS_Free();
  tuuli_demo_ended(exit_code, static_cast<double>(backend.presented()));
  win32::use_backend(nullptr);
  return exit_code;
}
