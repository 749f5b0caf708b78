// Seamless looping: the frame after the last one is the first one.
#include "platform/bass/loop_cursor.h"

#include <algorithm>

namespace bass {

LoopCursor::Span LoopCursor::advance(const Pcm& pcm, size_t max_frames) {
  Span span;
  size_t total = pcm.frames();
  if (!playing_ || max_frames == 0) return span;
  if (position_frames_ >= total) {
    // Music shorter than the position (or none at all): nothing to play.
    playing_ = false;
    position_frames_ = 0;
    return span;
  }
  span.frames = std::min(max_frames, total - position_frames_);
  span.samples = pcm.samples.data() + position_frames_ * static_cast<size_t>(pcm.channels);
  position_frames_ += span.frames;
  if (position_frames_ == total) {
    span.reached_end = true;
    position_frames_ = 0;
    if (!loop_) playing_ = false;
  }
  return span;
}

}  // namespace bass
