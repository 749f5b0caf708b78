// Screen layers: one textured quad over the whole screen, in one colour.
#include <cstring>

#include "codec/codec.h"
#include "shell/shell.h"

namespace shell {

IDirect3DVertexBuffer8* ScreenQuadBuffer = nullptr;
DWORD LayerColour = 0xFFFFFFFF;

// The right and bottom edges lie on the last pixel's centre, and the
// texture runs to 0.9: a layer shows the top-left nine tenths of its texture.
const LayerVertex LayerVertices[4] = {
    {0.0f, 0.0f, 0.99999f, 1.0f, 0.0f, 0.0f},
    {639.0f, 0.0f, 0.99999f, 1.0f, 0.9f, 0.0f},
    {0.0f, 479.0f, 0.99999f, 1.0f, 0.0f, 0.9f},
    {639.0f, 479.0f, 0.99999f, 1.0f, 0.9f, 0.9f},
};

HRESULT DrawScreenQuad(float dx, float dy, float dz) {
  ScreenVertex quad[4];
  for (int i = 0; i < 4; ++i) {
    const LayerVertex& l = LayerVertices[i];
    quad[i] = ScreenVertex{l.x + dx, l.y + dy, l.z + dz, l.rhw, LayerColour, l.u, l.v};
  }
  BYTE* data = nullptr;
  if (SUCCEEDED(ScreenQuadBuffer->Lock(0, 0, &data, 0))) {
    std::memcpy(data, quad, sizeof quad);
    ScreenQuadBuffer->Unlock();
  }
  Device->SetStreamSource(0, ScreenQuadBuffer, sizeof(ScreenVertex));
  Device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  return Device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

void DrawWhiteLayer() {
  LayerColour = 0xFFFFFFFF;
  DrawScreenQuad(0.0f, 0.0f, 0.0f);
}

void DrawGreyLayer(int32_t level) {
  DWORD g = static_cast<DWORD>(level) & 0xFF;
  LayerColour = g * 0x01010101u;
  DrawScreenQuad(0.0f, 0.0f, 0.0f);
}

void BindClipTexture() {
  Device->SetTexture(0, codec::ClipTexture[codec::CurrentClipTexture]);
}

}  // namespace shell
