// Why the music is silent, for whoever asks with TUULI_AUDIO_DEBUG=1.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/bass/bass_local.h"

namespace bass {

bool debug_enabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("TUULI_AUDIO_DEBUG");
    return value != nullptr && value[0] != '\0' && value[0] != '0';
  }();
  return enabled;
}

void debug_log(const char* format, ...) {
  if (!debug_enabled()) return;
  std::va_list args;
  va_start(args, format);
  std::fputs("audio: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
}

}  // namespace bass
