// The music rendered on demand in its own format, for captures: the same
// cursor the device would follow, advanced only as far as the puller asks.
#include <algorithm>
#include <cstring>

#include "platform/bass/bass_local.h"

namespace bass {

StreamFormat stream_format() {
  Player& p = player();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (!p.stream) return {};
  return {p.stream->pcm.rate_hz, p.stream->pcm.channels};
}

size_t pull_samples(int16_t* interleaved, size_t frames) {
  Player& p = player();
  DueSyncs due;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    Stream* stream = p.stream.get();
    if (stream == nullptr || p.output != Output::pull || interleaved == nullptr) return 0;
    const size_t channels = static_cast<size_t>(stream->pcm.channels);
    size_t written = 0;
    uint32_t ends = 0;
    while (written < frames) {
      LoopCursor::Span span = stream->cursor.advance(stream->pcm, frames - written);
      if (span.frames == 0) break;
      std::memcpy(interleaved + written * channels, span.samples,
                  span.frames * channels * sizeof(int16_t));
      written += span.frames;
      if (span.reached_end) ++ends;
    }
    std::fill(interleaved + written * channels, interleaved + frames * channels, int16_t{0});
    due = stream->collect_syncs(ends);
  }
  due.fire();
  return frames;
}

}  // namespace bass
