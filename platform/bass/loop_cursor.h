// The play position in decoded music, wrapping to the start when looping.
// It hands out the music in spans that never cross the end, so whoever
// renders knows exactly where a pass ends (and fires the end syncs there).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/bass/mp3_decoder.h"

namespace bass {

class LoopCursor {
 public:
  struct Span {
    const int16_t* samples = nullptr;  // interleaved, inside the Pcm
    size_t frames = 0;
    bool reached_end = false;  // this span ends a pass through the music
  };

  // Plays from the first frame.
  void restart(bool loop) {
    position_frames_ = 0;
    playing_ = true;
    loop_ = loop;
  }
  // Whether the pass under way wraps to the start at its end.
  void set_loop(bool loop) { loop_ = loop; }
  void stop() { playing_ = false; }

  bool playing() const { return playing_; }
  size_t position_frames() const { return position_frames_; }

  // Up to `max_frames` frames from the position on, then moves past them.
  // Empty when stopped. At the end of the music the position wraps to 0 when
  // looping, otherwise the cursor stops.
  Span advance(const Pcm& pcm, size_t max_frames);

 private:
  size_t position_frames_ = 0;
  bool playing_ = false;
  bool loop_ = false;
};

}  // namespace bass
