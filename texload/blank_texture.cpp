// Empty textures: the device does the work; this only guards the arguments.
#include "texload/texload.h"

namespace texload {

HRESULT CreateBlankTexture(IDirect3DDevice8* device, UINT width, UINT height, UINT levels,
                           DWORD usage, D3DFORMAT format, D3DPOOL pool,
                           IDirect3DTexture8** texture) {
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (device == nullptr) return D3DERR_INVALIDCALL;
  return device->CreateTexture(width, height, levels, usage, format, pool, texture);
}

}  // namespace texload
