// Clip file access: the entry count, the offset table and the frame records,
// each bounded by the file; and the sizes of the images the demo holds as
// bare pointers.
#include <algorithm>
#include <utility>

#include "codec/codec_local.h"

namespace codec {

namespace {

// The seven clips of the demo, plus whatever tools and tests register.
std::vector<std::pair<const uint8_t*, size_t>>& clip_registry() {
  static std::vector<std::pair<const uint8_t*, size_t>> images;
  return images;
}

constexpr int64_t kCountBytes = 4;
constexpr int64_t kOffsetBytes = 4;

}  // namespace

void register_clip_file(const uint8_t* image, size_t size_bytes) {
  auto& images = clip_registry();
  auto found = std::find_if(images.begin(), images.end(),
                            [image](const auto& entry) { return entry.first == image; });
  if (found != images.end()) {
    found->second = size_bytes;
  } else {
    images.emplace_back(image, size_bytes);
  }
}

std::span<const uint8_t> registered_clip_file(const uint8_t* image) {
  if (image == nullptr) return {};
  for (const auto& [data, size] : clip_registry()) {
    if (data == image) return {data, size};
  }
  return {};
}

FrameError read_clip_frame_count(std::span<const uint8_t> clip, int32_t* frame_count) {
  *frame_count = 0;
  if (static_cast<int64_t>(clip.size()) < kCountBytes) return FrameError::kClipTooShort;
  const int32_t entries = load_le32_signed(clip.data());
  if (entries < 2) return FrameError::kNoFrames;
  if (kCountBytes + kOffsetBytes * entries > static_cast<int64_t>(clip.size())) {
    return FrameError::kClipTooShort;
  }
  *frame_count = entries - 1;
  return FrameError::kNone;
}

FrameError locate_clip_frame(std::span<const uint8_t> clip, int32_t frame,
                             std::span<const uint8_t>* record) {
  *record = {};
  int32_t frames = 0;
  const FrameError counted = read_clip_frame_count(clip, &frames);
  if (counted != FrameError::kNone) return counted;
  if (frame < 0 || frame >= frames) return FrameError::kFrameOutsideClip;

  const int64_t records_start = kCountBytes + kOffsetBytes * (static_cast<int64_t>(frames) + 1);
  const uint8_t* table = clip.data() + kCountBytes;
  const int64_t begin = load_le32_signed(table + kOffsetBytes * frame);
  const int64_t end = load_le32_signed(table + kOffsetBytes * (frame + 1));
  if (begin < 0 || end < begin || records_start + end > static_cast<int64_t>(clip.size())) {
    return FrameError::kFrameOutsideClip;
  }
  *record = clip.subspan(static_cast<size_t>(records_start + begin),
                         static_cast<size_t>(end - begin));
  return FrameError::kNone;
}

}  // namespace codec
