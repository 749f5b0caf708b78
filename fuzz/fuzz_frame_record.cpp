// One frame record through the whole frame path: stream decoding,
// reconstruction, the frame callback and the colour conversion.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = codec::InitClipCodec() == 1;
  if (!ready || size > (1u << 20)) return 0;
  // A buffer of exactly the record's size, so that any read past it is
  // caught by the sanitizer.
  const std::vector<uint8_t> record(data, data + size);
  codec::DecodeFrame(record.data(), codec::FramePixels, static_cast<int32_t>(size));
  if (codec::last_frame_error() == codec::FrameError::kNone) {
    const codec::FrameHeader& h = codec::CurrentFrameHeader;
    codec::FrameCallback();
    codec::ConvertFrameToRgb16(codec::FramePixels, codec::Frame16, 2 * h.width, h.width, h.height);
  }
  return 0;
}
