// The outputs that open nothing: silence, and the music rendered on demand in
// its own format for captures (the same cursor the device would follow,
// advanced only as far as the puller asks).
#include <algorithm>
#include <cstring>

#include "platform/bass/bass_local.h"
#include "platform/bass/byte_source.h"

namespace bass {

namespace {

class SilentOutput final : public Output {
 public:
  bool open(int, uint32_t) override { return true; }
  bool decode(ByteSource& source, Pcm* pcm) override { return decode_for_cursor(source, pcm); }
};

class PullOutput final : public Output {
 public:
  bool open(int, uint32_t) override { return true; }
  bool decode(ByteSource& source, Pcm* pcm) override { return decode_for_cursor(source, pcm); }
};

}  // namespace

Output& silent_output() {
  static SilentOutput output;
  return output;
}

Output& pull_output() {
  static PullOutput output;
  return output;
}

bool decode_for_cursor(ByteSource& source, Pcm* pcm) {
#ifdef __EMSCRIPTEN__
  // The web build has no libmpg123: the browser's output decodes the music
  // itself, and these outputs, there, keep the demo silent.
  (void)source;
  (void)pcm;
  return false;
#else
  DecodeError error = decode_mp3(source, pcm);
  if (error != DecodeError::none) debug_log("music: %s", describe(error));
  return error == DecodeError::none;
#endif
}

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
    if (stream == nullptr || p.output != &pull_output() || interleaved == nullptr) return 0;
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
