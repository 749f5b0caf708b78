// Image files into textures: read the file whole, decode it, and fill a
// managed texture of one level at the image's own size.
#include <cstdio>
#include <memory>
#include <new>

#include "texload/texload_local.h"

namespace texload {

namespace {

// D3DXERR_INVALIDDATA, what Direct3D's own loaders answer for a file they
// cannot read as an image.
constexpr HRESULT kInvalidData = static_cast<HRESULT>(0x88760B59u);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

ImageError read_whole_file(const char* path, std::vector<uint8_t>& bytes) {
  if (path == nullptr) return ImageError::kNotFound;
  std::unique_ptr<std::FILE, CloseFile> file(win32::open_file(path, "rb"));
  if (!file) return ImageError::kNotFound;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return ImageError::kUnreadable;
  const long size = std::ftell(file.get());
  if (size < 0) return ImageError::kUnreadable;
  if (size == 0) return ImageError::kEmpty;
  // Refused before a byte is allocated.
  if (static_cast<unsigned long>(size) > kMaxFileBytes) return ImageError::kTooLarge;
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) return ImageError::kUnreadable;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return ImageError::kOutOfMemory;
  }
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return ImageError::kUnreadable;
  }
  return ImageError::kNone;
}

// Fills level 0 of a freshly made texture. A8R8G8B8 and X8R8G8B8 texels are
// 32-bit words stored little-endian: blue, green, red, alpha in memory.
HRESULT fill_texture(IDirect3DTexture8* texture, const Image& image) {
  D3DSURFACE_DESC desc{};
  HRESULT result = texture->GetLevelDesc(0, &desc);
  if (FAILED(result)) return result;
  // A device that rounded the size would leave texels unwritten or out of reach.
  if (desc.Width != static_cast<UINT>(image.width) ||
      desc.Height != static_cast<UINT>(image.height)) {
    return D3DERR_INVALIDCALL;
  }
  D3DLOCKED_RECT locked{};
  result = texture->LockRect(0, &locked, nullptr, 0);
  if (FAILED(result)) return result;
  if (locked.pBits == nullptr || locked.Pitch < image.width * 4) {
    texture->UnlockRect(0);
    return D3DERR_INVALIDCALL;
  }
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
    const uint32_t* texels = image.texels.data() + static_cast<size_t>(y) * image.width;
    for (int x = 0; x < image.width; ++x) {
      const uint32_t t = texels[x];
      row[4 * x + 0] = static_cast<uint8_t>(t);
      row[4 * x + 1] = static_cast<uint8_t>(t >> 8);
      row[4 * x + 2] = static_cast<uint8_t>(t >> 16);
      row[4 * x + 3] = static_cast<uint8_t>(t >> 24);
    }
  }
  return texture->UnlockRect(0);
}

}  // namespace

HRESULT to_hresult(ImageError error) {
  switch (error) {
    case ImageError::kNone: return D3D_OK;
    case ImageError::kNotFound: return kFileNotFound;
    case ImageError::kUnreadable: return E_FAIL;
    case ImageError::kOutOfMemory: return E_OUTOFMEMORY;
    case ImageError::kEmpty:
    case ImageError::kUnknownFormat:
    case ImageError::kTruncated:
    case ImageError::kCorrupt:
    case ImageError::kUnsupported:
    case ImageError::kTooLarge:
      return kInvalidData;
  }
  return E_FAIL;
}

HRESULT load_texture_from_memory(IDirect3DDevice8* device, const uint8_t* bytes,
                                 size_t size_bytes, IDirect3DTexture8** texture) {
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (device == nullptr) return D3DERR_INVALIDCALL;
  Image image;
  const ImageError error = decode_image(bytes, size_bytes, image);
  if (error != ImageError::kNone) return to_hresult(error);

  IDirect3DTexture8* made = nullptr;
  HRESULT result = device->CreateTexture(
      static_cast<UINT>(image.width), static_cast<UINT>(image.height), 1, 0,
      image.has_alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &made);
  if (FAILED(result)) return result;
  if (made == nullptr) return E_FAIL;
  result = fill_texture(made, image);
  if (FAILED(result)) {
    made->Release();
    return result;
  }
  *texture = made;
  return D3D_OK;
}

HRESULT LoadTextureFile(IDirect3DDevice8* device, const char* path, IDirect3DTexture8** texture) {
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (device == nullptr) return D3DERR_INVALIDCALL;
  std::vector<uint8_t> bytes;
  const ImageError error = read_whole_file(path, bytes);
  if (error != ImageError::kNone) return to_hresult(error);
  return load_texture_from_memory(device, bytes.data(), bytes.size(), texture);
}

}  // namespace texload
