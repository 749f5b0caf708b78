// The one Direct3D 8 device and the render-state presets the scenes switch with.
#include "shell/shell.h"

namespace shell {

IDirect3D8* Direct3DObject = nullptr;
IDirect3DDevice8* Device = nullptr;

HRESULT InitDevice(HWND window) {
  Direct3DObject = Direct3DCreate8(D3D_SDK_VERSION);
  // No Direct3D runtime: fail like a device that cannot be made, so the
  // shell shows its device error instead of calling through null.
  if (Direct3DObject == nullptr) return D3DERR_NOTAVAILABLE;

  D3DDISPLAYMODE mode;
  HRESULT result = Direct3DObject->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
  if (FAILED(result)) return result;

  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 640;
  parameters.BackBufferHeight = 480;
  parameters.BackBufferFormat = D3DFMT_R5G6B5;
  parameters.BackBufferCount = 0;
  parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
  parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
  parameters.hDeviceWindow = nullptr;
  parameters.Windowed = FALSE;
  parameters.EnableAutoDepthStencil = TRUE;
  parameters.AutoDepthStencilFormat = D3DFMT_D16;
  parameters.Flags = 0;
  parameters.FullScreen_RefreshRateInHz = D3DPRESENT_RATE_DEFAULT;
  parameters.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

  result = Direct3DObject->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                        D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &Device);
  if (FAILED(result)) return result;

  result = Device->SetRenderState(D3DRS_LIGHTING, FALSE);
  if (FAILED(result)) return result;
  result = Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  if (FAILED(result)) return result;

  Device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  Device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  Device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  return result;
}

void SetAdditiveBlend() {
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
}

void SetBlendOff() { Device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE); }

void SetDepthOn() { Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE); }

void SetDepthOff() { Device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE); }

void SetDepthBias(int32_t bias) {
  Device->SetRenderState(D3DRS_ZBIAS, static_cast<DWORD>(bias));
}

void SetCullNone() { Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE); }

}  // namespace shell
