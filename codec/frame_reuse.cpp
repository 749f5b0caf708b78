// Clip frames shown again. A clip advances by its rate times the frame step,
// a quarter of a clip frame per screen frame at 60 frames a second for the
// demo's slower clips, so most calls ask for a frame decoded moments ago.
// Such a frame's decode and conversion are replaced by copies of what they
// left, which must then be exactly what they would leave again: only frames
// that read nothing earlier frames left are kept
// (last_frame_reads_only_its_own_bytes),
// and what is copied back is every byte such a frame writes and nothing else.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "codec/codec_local.h"

namespace codec {

bool reuse_shown_frames = true;
uint64_t shown_frames_reused = 0;

namespace {

// A kept frame. Each work buffer's bytes are the ones its decode wrote,
// from the start: the stream byte by byte, the grid rows over the whole
// width, every pixel of the frame.
struct ShownFrame {
  std::vector<uint8_t> record;
  FrameHeader header;
  std::vector<uint8_t> stream, luma_rows, luma_plane, chroma_rows;
  // Bytes 0-2 of each pixel word: the fourth byte is never written by a
  // frame with chroma, so it keeps what is there.
  std::vector<uint32_t> pixels;
  std::vector<uint16_t> picture;
  uint64_t used = 0;  // when last decoded or reused; 0: empty
};

// A screen frame shows at most three clips; one more keeps the next frame
// of one of them from pushing out another that is still showing.
constexpr int kShownFrames = 4;
std::array<ShownFrame, kShownFrames> shown;
uint64_t use_count = 0;

constexpr uint32_t kPixelBytesWritten = 0x00FFFFFFu;

void keep_bytes(std::vector<uint8_t>& to, const uint8_t* from, size_t count) { to.assign(from, from + count); }

void restore_bytes(uint8_t* to, const std::vector<uint8_t>& from) {
  if (!from.empty()) std::memcpy(to, from.data(), from.size());
}

ShownFrame* find_shown(std::span<const uint8_t> record) {
  for (ShownFrame& frame : shown) {
    if (frame.used != 0 && frame.record.size() == record.size() &&
        std::memcmp(frame.record.data(), record.data(), record.size()) == 0) {
      return &frame;
    }
  }
  return nullptr;
}

// Copies what a decode of `record` left into `frame`; may throw bad_alloc.
void keep_whole(ShownFrame& frame, std::span<const uint8_t> record, const FrameHeader& h, int32_t produced) {
  const GridGeometry& g = grid_geometry;
  const size_t width = static_cast<size_t>(h.width);
  const size_t pixel_count = width * static_cast<size_t>(h.height);
  keep_bytes(frame.record, record.data(), record.size());
  frame.header = h;
  keep_bytes(frame.stream, DecodedStream, static_cast<size_t>(produced));
  if (h.lumaBlockWidth != 0) {
    keep_bytes(frame.luma_rows, LumaRowBuffer, (static_cast<size_t>(g.lumaGridRows) + 1) * width);
    keep_bytes(frame.luma_plane, LumaPlane, pixel_count);
  } else {
    frame.luma_rows.clear();
    frame.luma_plane.clear();
  }
  keep_bytes(frame.chroma_rows, ChromaRowBuffer, (static_cast<size_t>(g.chromaGridRows) + 1) * width);
  frame.pixels.resize(pixel_count);
  uint32_t* const kept = frame.pixels.data();
  const uint8_t* const pixels = FramePixels;
  for (size_t i = 0; i < pixel_count; ++i) kept[i] = load_le32(pixels + 4 * i) & kPixelBytesWritten;
  frame.picture.assign(Frame16, Frame16 + pixel_count);
}

}  // namespace

void keep_shown_frame(std::span<const uint8_t> record) {
  if (!reuse_shown_frames || last_frame_error() != FrameError::kNone) return;
  const FrameHeader& h = CurrentFrameHeader;
  const int32_t produced = FrameDecoder.produced_bytes();
  if (!last_frame_reads_only_its_own_bytes()) return;
  ShownFrame& frame = *std::min_element(shown.begin(), shown.end(),
                                        [](const ShownFrame& a, const ShownFrame& b) { return a.used < b.used; });
  // Empty until it is whole: keeping is only worth doing, never needed, so
  // a frame that finds no memory is simply not kept.
  frame.used = 0;
  try {
    keep_whole(frame, record, h, produced);
  } catch (const std::bad_alloc&) {
    return;
  }
  frame.used = ++use_count;
}

bool reuse_shown_frame(std::span<const uint8_t> record) {
  if (!reuse_shown_frames || FramePixels == nullptr || DecodedStream == nullptr) return false;
  ShownFrame* found = find_shown(record);
  if (found == nullptr) return false;
  const ShownFrame& frame = *found;
  // The description was accepted when the frame was kept, and is the same.
  FrameDecoder.LoadCodeDescription(record.data(), static_cast<int32_t>(record.size()));
  FrameDecoder.RestoreDecodedStream(frame.stream.data(), static_cast<int32_t>(frame.stream.size()));
  CurrentFrameHeader = frame.header;
  update_grid_geometry(frame.header);
  restore_bytes(LumaRowBuffer, frame.luma_rows);
  restore_bytes(LumaPlane, frame.luma_plane);
  restore_bytes(ChromaRowBuffer, frame.chroma_rows);
  // Through locals: a store through FramePixels could otherwise change
  // the vector's own pointer and size, which the loop would read again.
  const uint32_t* const kept = frame.pixels.data();
  const size_t pixel_count = frame.pixels.size();
  uint8_t* const pixels = FramePixels;
  for (size_t i = 0; i < pixel_count; ++i) {
    const uint32_t word = (load_le32(pixels + 4 * i) & ~kPixelBytesWritten) | kept[i];
    std::memcpy(pixels + 4 * i, &word, sizeof word);
  }
  std::memcpy(Frame16, frame.picture.data(), frame.picture.size() * sizeof(uint16_t));
  set_last_frame_error(FrameError::kNone);
  found->used = ++use_count;
  ++shown_frames_reused;
  return true;
}

}  // namespace codec
