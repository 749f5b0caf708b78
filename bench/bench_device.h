// The device the raster benchmarks draw on: the demo's own mode (640x480
// R5G6B5 with a 16-bit depth buffer) on the headless backend, or the same
// drawn into an X8R8G8B8 target.
#pragma once

#include <cstdio>

#include "platform/d3d8/d3d8.h"

namespace bench {

// Null, with a message naming `program`, when no device can be made.
inline IDirect3DDevice8* make_device(const char* program, int colour_bits = 16) {
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = 640;
  p.BackBufferHeight = 480;
  p.BackBufferFormat = D3DFMT_R5G6B5;
  p.SwapEffect = D3DSWAPEFFECT_FLIP;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  IDirect3DDevice8* device = nullptr;
  d3d8::target_options.colour_bits = colour_bits;
  const bool made =
      d3d != nullptr && d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device) >= 0;
  d3d8::target_options = {};
  if (!made) {
    std::fprintf(stderr, "%s: no device\n", program);
    return nullptr;
  }
  return device;
}

}  // namespace bench
