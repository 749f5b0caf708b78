// The benchmarks' two kinds of drawing, as the demo draws them: a
// full-screen layer strip (uv to 0.9, white) over a structured 256x256
// texture, and a tilted 100x100-quad grid (20 000 triangles, about 440
// pixels on a side) in the demo's projection, textured and depth-tested.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace bench {

struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};

struct MeshVertex {
  float x, y, z;
  uint32_t colour;
  float u, v;
};

template <typename T>
IDirect3DVertexBuffer8* buffer_of(IDirect3DDevice8* device, const std::vector<T>& v, DWORD fvf) {
  IDirect3DVertexBuffer8* vb = nullptr;
  device->CreateVertexBuffer(UINT(v.size() * sizeof(T)), D3DUSAGE_WRITEONLY, fvf, D3DPOOL_DEFAULT, &vb);
  BYTE* data = nullptr;
  vb->Lock(0, 0, &data, 0);
  std::memcpy(data, v.data(), v.size() * sizeof(T));
  vb->Unlock();
  return vb;
}

// The demo's projection: 45 degrees, 4:3, near 1, far 100.
inline D3DMATRIX projection() {
  D3DMATRIX m{};
  float y_scale = std::cos(0.3926991f) / std::sin(0.3926991f);
  m._11 = y_scale / 1.3333334f;
  m._22 = y_scale;
  m._33 = 100.0f / 99.0f;
  m._34 = 1;
  m._43 = -100.0f / 99.0f;
  return m;
}

// 256x256 R5G6B5 with some structure, like a decoded clip frame; bound to
// stage 0 with bilinear filtering, as the demo's device setup leaves it.
inline IDirect3DTexture8* bind_clip_like_texture(IDirect3DDevice8* device) {
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  IDirect3DTexture8* texture = nullptr;
  device->CreateTexture(256, 256, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture);
  D3DLOCKED_RECT r{};
  texture->LockRect(0, &r, nullptr, 0);
  for (int y = 0; y < 256; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(r.pBits) + y * r.Pitch);
    for (int x = 0; x < 256; ++x) row[x] = uint16_t((x >> 3) << 11 | ((x ^ y) >> 2) << 5 | (y >> 3));
  }
  texture->UnlockRect(0);
  device->SetTexture(0, texture);
  return texture;
}

inline std::vector<ScreenVertex> layer_strip() {
  return {{0, 0, 0.99999f, 1, 0xFFFFFFFF, 0, 0},
          {639, 0, 0.99999f, 1, 0xFFFFFFFF, 0.9f, 0},
          {0, 479, 0.99999f, 1, 0xFFFFFFFF, 0, 0.9f},
          {639, 479, 0.99999f, 1, 0xFFFFFFFF, 0.9f, 0.9f}};
}

struct MeshGrid {
  std::vector<MeshVertex> vertices;
  std::vector<uint16_t> indices;
};

inline MeshGrid mesh_grid() {
  constexpr int kQuads = 100;
  MeshGrid g;
  for (int j = 0; j <= kQuads; ++j) {
    for (int i = 0; i <= kQuads; ++i) {
      float gx = i / float(kQuads) * 2 - 1, gy = j / float(kQuads) * 2 - 1;
      g.vertices.push_back({gx * 2.15f, gy * 1.92f, 5.5f + gy * 1.3f, 0x00FFFFFF, gx * 3, gy * 3});
    }
  }
  for (int j = 0; j < kQuads; ++j) {
    for (int i = 0; i < kQuads; ++i) {
      uint16_t a = uint16_t(j * (kQuads + 1) + i), b = uint16_t(a + 1), c = uint16_t(a + kQuads + 1),
               d = uint16_t(c + 1);
      g.indices.insert(g.indices.end(), {a, b, c, b, d, c});
    }
  }
  return g;
}

inline IDirect3DIndexBuffer8* index_buffer_of(IDirect3DDevice8* device, const std::vector<uint16_t>& indices) {
  IDirect3DIndexBuffer8* ib = nullptr;
  device->CreateIndexBuffer(UINT(indices.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib);
  BYTE* data = nullptr;
  ib->Lock(0, 0, &data, 0);
  std::memcpy(data, indices.data(), indices.size() * 2);
  ib->Unlock();
  return ib;
}

}  // namespace bench
