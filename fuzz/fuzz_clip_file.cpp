// A clip file through playback's decode path, frame by frame in order, with
// the state each frame leaves for the next; twice, from the same start, with
// frames shown again copied back and with every frame decoded: the pictures
// and pixels must be the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/codec.h"

namespace {

// FNV-1a over the frame's picture and pixels after each call.
std::vector<uint64_t> play(const std::vector<uint8_t>& clip, int32_t frames, bool reuse) {
  codec::reuse_shown_frames = reuse;
  std::memset(codec::DecodedStream, 0, codec::kDecodedStreamBytes);
  for (uint8_t* buffer : {codec::LumaRowBuffer, codec::LumaPlane, codec::ChromaRowBuffer}) {
    std::memset(buffer, 0, codec::kWorkBufferBytes);
  }
  std::memset(codec::FramePixels, 0, codec::kFramePixelBytes);
  codec::CurrentFrameHeader = {};
  codec::grid_geometry = {};
  std::vector<uint64_t> hashes;
  auto show = [&](int32_t frame) {
    bool in_range = false;
    codec::decode_clip_frame(clip, frame, &in_range);
    const codec::FrameHeader& h = codec::CurrentFrameHeader;
    const size_t pixels = static_cast<size_t>(std::max(0, h.width)) * static_cast<size_t>(std::max(0, h.height));
    uint64_t hash = 14695981039346656037u;
    auto mix = [&](const uint8_t* bytes, size_t count) {
      for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 1099511628211u;
    };
    mix(reinterpret_cast<const uint8_t*>(codec::Frame16), std::min<size_t>(pixels, codec::kMaxFramePixels) * 2);
    mix(codec::FramePixels, std::min<size_t>(pixels * 4, codec::kFramePixelBytes));
    hashes.push_back(hash);
  };
  // Past the last frame and before the first: frame 0 is shown instead.
  show(-1);
  for (int32_t k = 0; k <= std::min(frames, 64); ++k) show(k);
  return hashes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = codec::InitClipCodec() == 1;
  if (!ready || size > (1u << 20)) return 0;
  const std::vector<uint8_t> clip(data, data + size);
  int32_t frames = 0;
  codec::read_clip_frame_count(clip, &frames);
  if (play(clip, frames, true) != play(clip, frames, false)) std::abort();
  codec::reuse_shown_frames = true;
  return 0;
}
