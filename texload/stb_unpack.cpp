// The one translation unit that holds stb_image (Debian's libstb-dev), built
// with only its BMP and TGA readers: no other format's decoder exists in the
// program, so no file can reach one. It only ever sees the canonical files
// the readers of this folder write.
#include <cstdint>
#include <memory>
#include <string_view>

#include "texload/texload_local.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// A second fence behind the readers' own size checks.
#define STBI_MAX_DIMENSIONS 4096
#include <stb/stb_image.h>

namespace texload {

static_assert(STBI_MAX_DIMENSIONS == kMaxImageSide);

ImageError unpack_canonical(const std::vector<uint8_t>& canonical, Image& image) {
  TEXLOAD_CHECK(canonical.size() <= static_cast<size_t>(INT32_MAX), ImageError::kTooLarge);
  int width = 0;
  int height = 0;
  int channels = 0;
  // Always four channels out (RGBA), whatever the file holds; `channels`
  // says what it held: 2 and 4 carry alpha.
  std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
      stbi_load_from_memory(canonical.data(), static_cast<int>(canonical.size()), &width, &height,
                            &channels, 4),
      stbi_image_free);
  if (!rgba) {
    // The readers have checked everything stb checks, so what is left is
    // a failed allocation or a mask stb will not take.
    const char* reason = stbi_failure_reason();
    return reason != nullptr && std::string_view(reason) == "outofmem" ? ImageError::kOutOfMemory
                                                                       : ImageError::kCorrupt;
  }
  TEXLOAD_CHECK(width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide,
                ImageError::kCorrupt);

  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  image.texels.resize(count);
  bool any_alpha = false;
  for (size_t i = 0; i < count; ++i) {
    const stbi_uc* p = rgba.get() + 4 * i;
    any_alpha |= p[3] != 0;
    image.texels[i] = static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[0]) << 16 |
                      static_cast<uint32_t>(p[1]) << 8 | p[2];
  }
  image.width = width;
  image.height = height;
  image.has_alpha = channels == 2 || channels == 4;
  // An alpha channel of zeros throughout is a writer that left the byte
  // unused (32-bit bitmaps and Targa files often do), not an invisible
  // picture: it counts as opaque.
  if (image.has_alpha && !any_alpha) {
    image.has_alpha = false;
    for (uint32_t& texel : image.texels) texel |= 0xFF000000u;
  }
  return ImageError::kNone;
}

}  // namespace texload
