// A fresh device per test, and small helpers to draw through it the way the
// demo does: vertex buffers, stream source, FVF, DrawPrimitive.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_local.h"

namespace raster_test {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x144
constexpr DWORD kMeshFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;       // 0x142

struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

struct MeshVertex {
  float x, y, z;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(MeshVertex) == 24);

// The screen layer of the demo: right and bottom edges at 639 and 479,
// texture coordinates to 0.9, depth just in front of the cleared 1.0.
inline std::vector<ScreenVertex> layer_strip(uint32_t colour, float z = 0.99999f) {
  return {{0, 0, z, 1, colour, 0, 0},
          {639, 0, z, 1, colour, 0.9f, 0},
          {0, 479, z, 1, colour, 0, 0.9f},
          {639, 479, z, 1, colour, 0.9f, 0.9f}};
}

// A jittered grid of quads with sub-pixel corners, split along alternating
// diagonals: every edge inside is shared by two triangles.
inline std::vector<ScreenVertex> jittered_grid(uint32_t colour, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> jitter(-15.0f, 15.0f);
  constexpr int kN = 9;
  float px[kN][kN], py[kN][kN];
  for (int j = 0; j < kN; ++j) {
    for (int i = 0; i < kN; ++i) {
      px[j][i] = 10 + 40.0f * i + jitter(rng);
      py[j][i] = 10 + 40.0f * j + jitter(rng);
    }
  }
  std::vector<ScreenVertex> v;
  auto corner = [&](int i, int j) { return ScreenVertex{px[j][i], py[j][i], 0.5f, 1, colour, 0, 0}; };
  for (int j = 0; j + 1 < kN; ++j) {
    for (int i = 0; i + 1 < kN; ++i) {
      ScreenVertex a = corner(i, j), b = corner(i + 1, j), c = corner(i, j + 1), d = corner(i + 1, j + 1);
      if ((i + j) % 2 == 0) {
        v.insert(v.end(), {a, b, d, a, d, c});
      } else {
        v.insert(v.end(), {a, b, c, b, d, c});
      }
    }
  }
  return v;
}

inline uint16_t rgb565(int r5, int g6, int b5) { return static_cast<uint16_t>(r5 << 11 | g6 << 5 | b5); }

inline D3DMATRIX identity_matrix() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1;
  return m;
}

// Left-handed perspective, the shape of the demo's projection.
inline D3DMATRIX perspective_matrix(float fov_y, float aspect, float zn, float zf) {
  D3DMATRIX m{};
  float y_scale = std::cos(fov_y / 2) / std::sin(fov_y / 2);
  float q = zf / (zf - zn);
  m._11 = y_scale / aspect;
  m._22 = y_scale;
  m._33 = q;
  m._34 = 1;
  m._43 = -q * zn;
  return m;
}

class RasterTest : public ::testing::Test {
 public:
  void SetUp() override {
    object_ = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(object_, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = kWidth;
    p.BackBufferHeight = kHeight;
    p.BackBufferFormat = D3DFMT_R5G6B5;
    p.SwapEffect = D3DSWAPEFFECT_FLIP;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    d3d8::target_options = target_;
    const HRESULT created = object_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                                  D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_);
    d3d8::target_options = {};
    ASSERT_GE(created, 0);
    // The states the demo's device setup leaves.
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    ASSERT_GE(device_->BeginScene(), 0);
  }

  // Safe to call twice (a test may start over with a fresh device).
  void TearDown() override {
    if (device_ != nullptr) {
      device_->EndScene();
      device_->SetTexture(0, nullptr);
      device_->SetStreamSource(0, nullptr, 0);
      device_->SetIndices(nullptr, 0);
    }
    for (auto* t : textures_) t->Release();
    textures_.clear();
    if (device_ != nullptr) device_->Release();
    if (object_ != nullptr) object_->Release();
    device_ = nullptr;
    object_ = nullptr;
    d3d8::raster_options = d3d8::RasterOptions{};
  }

  void clear(D3DCOLOR colour, float z = 1.0f) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, z, 0);
  }

  void state(D3DRENDERSTATETYPE s, DWORD v) { device_->SetRenderState(s, v); }
  void stage(D3DTEXTURESTAGESTATETYPE s, DWORD v) { device_->SetTextureStageState(0, s, v); }

  template <typename Vertex>
  IDirect3DVertexBuffer8* make_buffer(const std::vector<Vertex>& vertices, DWORD fvf) {
    IDirect3DVertexBuffer8* vb = nullptr;
    UINT bytes = static_cast<UINT>(vertices.size() * sizeof(Vertex));
    EXPECT_GE(device_->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_DEFAULT, &vb), 0);
    BYTE* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), bytes);
    vb->Unlock();
    return vb;
  }

  template <typename Vertex>
  HRESULT draw(D3DPRIMITIVETYPE type, const std::vector<Vertex>& vertices, UINT primitives,
               DWORD fvf) {
    IDirect3DVertexBuffer8* vb = make_buffer(vertices, fvf);
    device_->SetStreamSource(0, vb, sizeof(Vertex));
    device_->SetVertexShader(fvf);
    HRESULT hr = device_->DrawPrimitive(type, 0, primitives);
    device_->SetStreamSource(0, nullptr, 0);
    vb->Release();
    return hr;
  }

  HRESULT draw_screen(const std::vector<ScreenVertex>& v, D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST) {
    UINT prims = type == D3DPT_TRIANGLELIST ? UINT(v.size() / 3) : UINT(v.size() - 2);
    return draw(type, v, prims, kScreenFvf);
  }

  HRESULT draw_layer(uint32_t colour) { return draw_screen(layer_strip(colour), D3DPT_TRIANGLESTRIP); }

  HRESULT draw_mesh(const std::vector<MeshVertex>& v, const std::vector<uint16_t>& indices) {
    IDirect3DVertexBuffer8* vb = make_buffer(v, kMeshFvf);
    IDirect3DIndexBuffer8* ib = nullptr;
    UINT bytes = static_cast<UINT>(indices.size() * 2);
    EXPECT_GE(device_->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib), 0);
    BYTE* data = nullptr;
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, indices.data(), bytes);
    ib->Unlock();
    device_->SetIndices(ib, 0);
    device_->SetVertexShader(kMeshFvf);
    device_->SetStreamSource(0, vb, sizeof(MeshVertex));
    HRESULT hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(v.size()), 0,
                                               UINT(indices.size() / 3));
    device_->SetStreamSource(0, nullptr, 0);
    device_->SetIndices(nullptr, 0);
    vb->Release();
    ib->Release();
    return hr;
  }

  // A managed texture filled texel by texel; texel(x, y) gives ARGB8888 for
  // the 32-bit formats and the raw 16-bit value for R5G6B5. Bound to stage 0.
  IDirect3DTexture8* texture(int w, int h, D3DFORMAT format,
                             const std::function<uint32_t(int, int)>& texel, bool bind = true) {
    IDirect3DTexture8* t = nullptr;
    EXPECT_GE(device_->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &t), 0);
    D3DLOCKED_RECT r{};
    t->LockRect(0, &r, nullptr, 0);
    for (int y = 0; y < h; ++y) {
      auto* row = static_cast<uint8_t*>(r.pBits) + y * r.Pitch;
      for (int x = 0; x < w; ++x) {
        uint32_t v = texel(x, y);
        if (format == D3DFMT_R5G6B5) {
          std::memcpy(row + 2 * x, &v, 2);
        } else {
          std::memcpy(row + 4 * x, &v, 4);
        }
      }
    }
    t->UnlockRect(0);
    textures_.push_back(t);
    if (bind) device_->SetTexture(0, t);
    return t;
  }

  // Additive blending of a colour worth one red level: a pixel's red level
  // counts how many times it was drawn.
  void count_draws() {
    clear(0);
    state(D3DRS_ZENABLE, FALSE);
    state(D3DRS_ALPHABLENDENABLE, TRUE);
    state(D3DRS_SRCBLEND, D3DBLEND_ONE);
    state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  }
  static constexpr uint32_t kOneLevel = 0x00080000;
  int draws(int x, int y) { return pixel(x, y) >> 11; }

  // The target's size: the program's 640x480 times the scale.
  int width() const { return device_->state().width; }
  int height() const { return device_->state().height; }

  // The buffers with every draw so far written, however many threads draw.
  uint16_t pixel(int x, int y) { return colour_buffer()[size_t(y) * width() + x]; }
  uint16_t depth(int x, int y) { return depth_buffer()[size_t(y) * width() + x]; }
  uint32_t pixel_xrgb(int x, int y) {
    d3d8::finish_drawing(device_);
    return device_->state().back_buffer_xrgb[size_t(y) * width() + x];
  }
  const std::vector<uint16_t>& colour_buffer() {
    d3d8::finish_drawing(device_);
    return device_->state().back_buffer;
  }
  const std::vector<uint16_t>& depth_buffer() {
    d3d8::finish_drawing(device_);
    return device_->state().depth_buffer;
  }

  // The size and depth the next SetUp makes its device with.
  d3d8::TargetOptions target_{};
  IDirect3D8* object_ = nullptr;
  IDirect3DDevice8* device_ = nullptr;
  std::vector<IDirect3DTexture8*> textures_;
};

}  // namespace raster_test
