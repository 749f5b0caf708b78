// A clip file through playback's decode path, frame by frame in order, with
// the state each frame leaves for the next.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = codec::InitClipCodec() == 1;
  if (!ready || size > (1u << 20)) return 0;
  const std::vector<uint8_t> clip(data, data + size);
  int32_t frames = 0;
  codec::read_clip_frame_count(clip, &frames);
  bool in_range = false;
  // Past the last frame and before the first: frame 0 is shown instead.
  codec::decode_clip_frame(clip, -1, &in_range);
  for (int32_t k = 0; k <= std::min(frames, 64); ++k) codec::decode_clip_frame(clip, k, &in_range);
  return 0;
}
