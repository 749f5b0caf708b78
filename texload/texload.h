// Texture file loading: Windows bitmaps and Targa images into textures on the
// device, and empty textures of a given size, format and pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace texload {

// Reads a .bmp or .tga file, named the Windows way (backslashes, any case),
// into a new managed texture of one level at the image's own size:
// A8R8G8B8 when the file carries alpha, X8R8G8B8 otherwise. The format is
// recognised from the bytes, not from the name. Negative when the file is
// missing, unreadable, corrupt, an unsupported variant, larger than
// kMaxImageSide a side, or when the device refuses; *texture is then null.
HRESULT LoadTextureFile(IDirect3DDevice8* device, const char* path, IDirect3DTexture8** texture);

// An empty (all-zero) texture; the device's result, negative when it refuses.
HRESULT CreateBlankTexture(IDirect3DDevice8* device, UINT width, UINT height, UINT levels,
                           DWORD usage, D3DFORMAT format, D3DPOOL pool,
                           IDirect3DTexture8** texture);

// Images wider or taller than this are refused before anything is allocated
// for their texels; it is also the device's own texture limit.
constexpr int kMaxImageSide = 4096;

// A file bigger than this cannot be a sane image of at most kMaxImageSide a
// side (the largest plain one is 64 MiB; run-length data can only be a few
// times bigger), so it is refused before being read.
constexpr size_t kMaxFileBytes = size_t{256} << 20;

enum class ImageError {
  kNone,
  kNotFound,       // no such file (or a directory)
  kUnreadable,     // the file could not be read whole
  kEmpty,          // zero bytes
  kUnknownFormat,  // neither a Windows bitmap nor a Targa image
  kTruncated,      // the file ends before the data its header promises
  kCorrupt,        // fields that contradict each other or the format
  kUnsupported,    // a real variant this loader does not read (JPEG/PNG in a BMP...)
  kTooLarge,       // a side above kMaxImageSide, or a file above kMaxFileBytes
  kOutOfMemory,
};

// A short English phrase for messages ("truncated file").
const char* describe(ImageError error);

// A decoded picture, top row first, left texel first.
struct Image {
  int width = 0;
  int height = 0;
  bool has_alpha = false;        // false: every alpha is 0xFF
  std::vector<uint32_t> texels;  // 0xAARRGGBB, width * height of them
};

// Decodes a whole BMP or TGA file held in memory. On failure `image` is left empty.
ImageError decode_image(const uint8_t* bytes, size_t size_bytes, Image& image);

// LoadTextureFile for a file already in memory (the fuzzer and tests use it).
HRESULT load_texture_from_memory(IDirect3DDevice8* device, const uint8_t* bytes,
                                 size_t size_bytes, IDirect3DTexture8** texture);

// The HRESULT LoadTextureFile returns for each error (negative but for kNone).
HRESULT to_hresult(ImageError error);

}  // namespace texload
