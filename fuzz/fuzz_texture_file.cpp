// Feeds bytes through the texture loader's whole path after the file is
// read: format detection, the BMP and TGA readers, stb_image, and the
// texture fill on the headless device.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "texload/texload.h"

namespace {

IDirect3DDevice8* headless_device() {
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (d3d == nullptr) std::abort();
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = 640;
  p.BackBufferHeight = 480;
  p.BackBufferFormat = D3DFMT_R5G6B5;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  IDirect3DDevice8* device = nullptr;
  const HRESULT result = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                           D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device);
  d3d->Release();
  if (FAILED(result)) std::abort();
  return device;  // kept for the whole run
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static IDirect3DDevice8* device = headless_device();
  IDirect3DTexture8* texture = nullptr;
  const HRESULT result = texload::load_texture_from_memory(device, data, size, &texture);
  // Success and a texture go together, and so do failure and none.
  if (SUCCEEDED(result) != (texture != nullptr)) std::abort();
  if (texture != nullptr) {
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    if (desc.Width == 0 || desc.Width > texload::kMaxImageSide || desc.Height == 0 ||
        desc.Height > texload::kMaxImageSide) {
      std::abort();
    }
    texture->Release();
  }
  return 0;
}
