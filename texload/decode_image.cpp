// From file bytes to a picture: the format is told by the bytes, each
// reader rewrites its format in canonical form, stb unpacks that.
#include <new>

#include "texload/texload_local.h"

namespace texload {

const char* describe(ImageError error) {
  switch (error) {
    case ImageError::kNone: return "no error";
    case ImageError::kNotFound: return "file not found";
    case ImageError::kUnreadable: return "file cannot be read";
    case ImageError::kEmpty: return "empty file";
    case ImageError::kUnknownFormat: return "neither a BMP nor a TGA image";
    case ImageError::kTruncated: return "truncated file";
    case ImageError::kCorrupt: return "corrupt image";
    case ImageError::kUnsupported: return "unsupported kind of BMP or TGA image";
    case ImageError::kTooLarge: return "image too large";
    case ImageError::kOutOfMemory: return "out of memory";
  }
  return "unknown error";
}

ImageError decode_image(const uint8_t* bytes, size_t size_bytes, Image& image) {
  image = Image{};
  if (bytes == nullptr || size_bytes == 0) return ImageError::kEmpty;
  const Bytes in(bytes, size_bytes);
  try {
    std::vector<uint8_t> canonical;
    ImageError error = looks_like_bmp(in) ? canonical_bmp(in, canonical)
                                          : canonical_tga(in, canonical);
    if (error == ImageError::kNone) error = unpack_canonical(canonical, image);
    if (error != ImageError::kNone) image = Image{};
    return error;
  } catch (const std::bad_alloc&) {
    image = Image{};
    return ImageError::kOutOfMemory;
  }
}

}  // namespace texload
