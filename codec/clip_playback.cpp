// Clip playback: one frame of a clip file decoded, passed through the frame
// callback, converted and uploaded into the clip texture pair of its width.
#include <algorithm>

#include "codec/codec_local.h"
#include "shell/shell.h"

namespace codec {

uint8_t* FramePixels = nullptr;
uint16_t Frame16[kMaxFramePixels];
int32_t CurrentClipTexture = 1;
IDirect3DTexture8* ClipStagingTexture[2] = {nullptr, nullptr};
IDirect3DTexture8* ClipTexture[2] = {nullptr, nullptr};

bool AllocFramePixels() { return allocate_frame_pixels(&FramePixels); }

namespace {

// Runs before main. A failure leaves FramePixels null: InitClipCodec tries
// again and fails the start-up, and nothing decodes into a missing buffer.
[[maybe_unused]] const bool frame_pixels_allocated = AllocFramePixels();

constexpr int kPairTexels[2] = {128, 256};

// Copies the converted frame into the locked system-memory texture of the
// pair and has the device copy it into the default-pool twin. A frame larger
// than the texture is cut to it (a frame of another width lands in the
// top-left corner).
void upload_frame(int pair) {
  IDirect3DTexture8* staging = ClipStagingTexture[pair];
  if (staging == nullptr) return;
  const int32_t width = CurrentFrameHeader.width;
  const int32_t height = CurrentFrameHeader.height;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(staging->LockRect(0, &locked, nullptr, 0))) {
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(staging->GetLevelDesc(0, &desc))) {
      const int32_t rows = std::min<int32_t>(height, static_cast<int32_t>(desc.Height));
      const int32_t columns = std::min<int32_t>(width, static_cast<int32_t>(desc.Width));
      for (int32_t y = 0; y < rows; ++y) {
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch,
                    Frame16 + static_cast<ptrdiff_t>(y) * width,
                    static_cast<size_t>(columns) * 2);
      }
    }
    staging->UnlockRect(0);
  }
  if (shell::Device != nullptr && ClipTexture[pair] != nullptr) {
    shell::Device->UpdateTexture(staging, ClipTexture[pair]);
  }
}

}  // namespace

void expand_luma_to_grey(uint8_t* pixels, int32_t width, int32_t height) {
  // Backwards, so that no packed luma byte is overwritten before it is read.
  for (int32_t i = width * height - 1; i >= 0; --i) {
    const uint8_t luma = pixels[i];
    pixels[i * 4] = luma;
    pixels[i * 4 + 1] = 32;
    pixels[i * 4 + 2] = 32;
  }
}

FrameError decode_clip_frame(std::span<const uint8_t> clip, int32_t frame, bool* in_range) {
  *in_range = false;
  int32_t frames = 0;
  std::span<const uint8_t> record;
  FrameError error = read_clip_frame_count(clip, &frames);
  if (error == FrameError::kNone) {
    *in_range = frame >= 0 && frame < frames;
    error = locate_clip_frame(clip, *in_range ? frame : 0, &record);
    if (error == FrameError::kNone) {
      if (FramePixels == nullptr) {
        error = FrameError::kNotInitialised;
      } else if (FrameCallback == AdjustFrameChroma && reuse_shown_frame(record)) {
        return FrameError::kNone;
      } else {
        DecodeFrame(record.data(), FramePixels, static_cast<int32_t>(record.size()));
        error = last_frame_error();
      }
    }
  }
  set_last_frame_error(error);
  if (error != FrameError::kNone) return error;

  const FrameHeader& h = CurrentFrameHeader;
  // Without chroma the pixel buffer holds packed luma, which neither the
  // callback nor the conversion reads as such: show it as grey.
  if (h.chromaMarker == kNoChromaMarker) expand_luma_to_grey(FramePixels, h.width, h.height);
  // The callback the demo installs is, on frames its 256 x 256 rectangle
  // covers, the clamp the conversion makes: one pass does both. Only these
  // frames are kept to be shown again: another callback may do anything.
  if (FrameCallback == AdjustFrameChroma && h.width <= 256 && h.height <= 256) {
    convert_frame_clamping_chroma(FramePixels, Frame16, h.width, h.height);
    keep_shown_frame(record);
    return FrameError::kNone;
  }
  FrameCallback();
  ConvertFrameToRgb16(FramePixels, Frame16, 2 * h.width, h.width, h.height);
  return FrameError::kNone;
}

bool show_clip_frame(std::span<const uint8_t> clip, int32_t frame) {
  bool in_range = false;
  if (decode_clip_frame(clip, frame, &in_range) != FrameError::kNone) return in_range;
  for (int pair = 0; pair < 2; ++pair) {
    if (CurrentFrameHeader.width == kPairTexels[pair]) CurrentClipTexture = pair;
  }
  upload_frame(CurrentClipTexture);
  return in_range;
}

bool ShowClipFrame(const uint8_t* clip, int32_t frame) {
  const std::span<const uint8_t> image = registered_clip_file(clip);
  if (image.empty()) {
    set_last_frame_error(FrameError::kUnknownClip);
    return false;
  }
  return show_clip_frame(image, frame);
}

}  // namespace codec
