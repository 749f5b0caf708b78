// Textures and vertex/index buffers: memory, locking and copies.
#include <cstring>

#include "platform/d3d8/d3d8_local.h"

namespace d3d8 {

ULONG RefCounted::AddRef() { return ++references_; }

ULONG RefCounted::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

int bytes_per_texel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R5G6B5:
    case D3DFMT_D16:
      return 2;
    case D3DFMT_R8G8B8:
      return 3;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      return 4;
    default:
      return 0;
  }
}

}  // namespace d3d8

IDirect3DTexture8::IDirect3DTexture8(std::unique_ptr<d3d8::TextureData> data)
    : data_(std::move(data)) {}
IDirect3DTexture8::~IDirect3DTexture8() = default;

HRESULT IDirect3DTexture8::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                    DWORD /*flags*/) {
  if (locked == nullptr || level >= data_->levels.size()) return D3DERR_INVALIDCALL;
  // Direct3D 8 refuses to lock a default-pool texture that is not dynamic:
  // such textures are filled through UpdateTexture.
  if (data_->pool == D3DPOOL_DEFAULT && !(data_->usage & D3DUSAGE_DYNAMIC)) {
    return D3DERR_INVALIDCALL;
  }
  d3d8::TextureLevel& l = data_->levels[level];
  if (l.locked) return D3DERR_INVALIDCALL;
  int texel = d3d8::bytes_per_texel(data_->format);
  size_t offset = 0;
  if (rect != nullptr) {
    if (rect->left < 0 || rect->top < 0 || rect->right > l.width || rect->bottom > l.height ||
        rect->left >= rect->right || rect->top >= rect->bottom) {
      return D3DERR_INVALIDCALL;
    }
    offset = static_cast<size_t>(rect->top) * l.pitch_bytes + static_cast<size_t>(rect->left) * texel;
  }
  l.locked = true;
  locked->Pitch = l.pitch_bytes;
  locked->pBits = l.bytes.data() + offset;
  return D3D_OK;
}

HRESULT IDirect3DTexture8::UnlockRect(UINT level) {
  if (level >= data_->levels.size() || !data_->levels[level].locked) return D3DERR_INVALIDCALL;
  data_->levels[level].locked = false;
  ++data_->generation;
  return D3D_OK;
}

HRESULT IDirect3DTexture8::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (desc == nullptr || level >= data_->levels.size()) return D3DERR_INVALIDCALL;
  const d3d8::TextureLevel& l = data_->levels[level];
  desc->Format = data_->format;
  desc->Usage = data_->usage;
  desc->Pool = data_->pool;
  desc->Size = static_cast<UINT>(l.bytes.size());
  desc->Width = static_cast<UINT>(l.width);
  desc->Height = static_cast<UINT>(l.height);
  return D3D_OK;
}

DWORD IDirect3DTexture8::GetLevelCount() { return static_cast<DWORD>(data_->levels.size()); }

namespace {

HRESULT lock_buffer(d3d8::BufferData& b, UINT offset, UINT size, BYTE** data) {
  if (data == nullptr || b.locked) return D3DERR_INVALIDCALL;
  if (offset > b.bytes.size()) return D3DERR_INVALIDCALL;
  if (size != 0 && size > b.bytes.size() - offset) return D3DERR_INVALIDCALL;
  b.locked = true;
  *data = b.bytes.data() + offset;
  return D3D_OK;
}

HRESULT unlock_buffer(d3d8::BufferData& b) {
  if (!b.locked) return D3DERR_INVALIDCALL;
  b.locked = false;
  return D3D_OK;
}

}  // namespace

IDirect3DVertexBuffer8::IDirect3DVertexBuffer8(std::unique_ptr<d3d8::BufferData> data)
    : data_(std::move(data)) {}
IDirect3DVertexBuffer8::~IDirect3DVertexBuffer8() = default;
HRESULT IDirect3DVertexBuffer8::Lock(UINT offset, UINT size, BYTE** data, DWORD /*flags*/) {
  return lock_buffer(*data_, offset, size, data);
}
HRESULT IDirect3DVertexBuffer8::Unlock() { return unlock_buffer(*data_); }

IDirect3DIndexBuffer8::IDirect3DIndexBuffer8(std::unique_ptr<d3d8::BufferData> data)
    : data_(std::move(data)) {}
IDirect3DIndexBuffer8::~IDirect3DIndexBuffer8() = default;
HRESULT IDirect3DIndexBuffer8::Lock(UINT offset, UINT size, BYTE** data, DWORD /*flags*/) {
  return lock_buffer(*data_, offset, size, data);
}
HRESULT IDirect3DIndexBuffer8::Unlock() { return unlock_buffer(*data_); }
