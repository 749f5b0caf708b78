// Renders the demo's kinds of drawing (layers in the three blend modes and a
// textured, depth-tested mesh in perspective, drawn twice with depth bias)
// and writes the picture to raster_demo.png in the test's working directory
// (build/tests/), to be looked at.
#include <stb/stb_image_write.h>

#include <cmath>
#include <set>

#include "raster_fixture.h"

namespace raster_test {
namespace {

uint32_t rgb16(int r, int g, int b) { return uint32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }

TEST_F(RasterTest, RendersLayersAndATexturedMeshToPng) {
  // Layer 1: a sky-like gradient with bands.
  IDirect3DTexture8* sky = texture(256, 256, D3DFMT_R5G6B5, [](int x, int y) {
    int band = ((x / 32 + y / 32) % 2) * 24;
    return rgb16(40 + y / 2, 60 + y / 3 + band, 160 + x / 4);
  }, false);
  // Layer 2 (additive): soft rings.
  IDirect3DTexture8* rings = texture(128, 128, D3DFMT_R5G6B5, [](int x, int y) {
    double r = std::hypot(x - 64, y - 64);
    int v = int(std::max(0.0, std::cos(r / 4) * 90));
    return rgb16(v, v / 2, 0);
  }, false);
  // The mesh: a checker with a border per tile.
  IDirect3DTexture8* checker = texture(64, 64, D3DFMT_X8R8G8B8, [](int x, int y) {
    bool edge = x % 16 == 0 || y % 16 == 0;
    bool dark = (x / 16 + y / 16) % 2;
    return edge ? 0xFF202020u : dark ? 0xFFD04020u : 0xFFF0E0A0u;
  }, false);
  // Layer 3 (modulate-2x): a vignette, bright in the middle.
  IDirect3DTexture8* vignette = texture(64, 64, D3DFMT_R5G6B5, [](int x, int y) {
    double r = std::hypot(x - 29, y - 22) / 40;
    int v = int(std::clamp(255 * (1.1 - r * r), 40.0, 255.0));
    return rgb16(v, v, v);
  }, false);

  clear(0);
  state(D3DRS_ZENABLE, FALSE);
  device_->SetTexture(0, sky);
  draw_layer(0xFFFFFFFF);
  state(D3DRS_ALPHABLENDENABLE, TRUE);
  state(D3DRS_SRCBLEND, D3DBLEND_ONE);
  state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  device_->SetTexture(0, rings);
  draw_layer(0xFFFFFFFF);

  // A torus in front of the camera, turned so its far side shows through.
  D3DMATRIX projection = perspective_matrix(0.7853982f, 1.3333334f, 1.0f, 100.0f);
  device_->SetTransform(D3DTS_PROJECTION, &projection);
  D3DMATRIX world = identity_matrix();
  const float a = 0.9f;
  world._22 = std::cos(a), world._23 = std::sin(a), world._32 = -std::sin(a), world._33 = std::cos(a);
  world._42 = 0.2f, world._43 = 6;
  device_->SetTransform(D3DTS_WORLD, &world);
  std::vector<MeshVertex> v;
  std::vector<uint16_t> indices;
  constexpr int kRing = 48, kTube = 24;
  for (int i = 0; i <= kRing; ++i) {
    for (int j = 0; j <= kTube; ++j) {
      float p = i * 6.2831853f / kRing, q = j * 6.2831853f / kTube;
      float r = 1.6f + 0.6f * std::cos(q);
      v.push_back({r * std::cos(p), 0.6f * std::sin(q), r * std::sin(p), 0x00FFFFFF, i / 6.0f, j / 6.0f});
    }
  }
  for (int i = 0; i < kRing; ++i) {
    for (int j = 0; j < kTube; ++j) {
      uint16_t c = uint16_t(i * (kTube + 1) + j), n = uint16_t(c + kTube + 1);
      indices.insert(indices.end(), {c, n, uint16_t(c + 1), uint16_t(c + 1), n, uint16_t(n + 1)});
    }
  }
  state(D3DRS_ALPHABLENDENABLE, FALSE);
  state(D3DRS_ZENABLE, TRUE);
  state(D3DRS_ZBIAS, 0);
  device_->SetTexture(0, checker);
  ASSERT_EQ(draw_mesh(v, indices), D3D_OK);
  // Second pass over the same surface, additive and biased toward the
  // viewer, as the orbiter scenes draw their clip over the sky pass.
  state(D3DRS_ALPHABLENDENABLE, TRUE);
  state(D3DRS_SRCBLEND, D3DBLEND_ONE);
  state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  state(D3DRS_ZBIAS, 15);
  for (auto& vertex : v) vertex.colour = 0x00303030, vertex.u *= -0.5f;
  device_->SetTexture(0, rings);
  ASSERT_EQ(draw_mesh(v, indices), D3D_OK);

  state(D3DRS_ZENABLE, FALSE);
  state(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR);
  state(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
  device_->SetTexture(0, vignette);
  draw_layer(0xC8C8C8C8);

  const std::vector<uint8_t> rgb = d3d8::read_back_buffer_rgb888(device_);
  ASSERT_EQ(rgb.size(), size_t(kWidth) * kHeight * 3);
  ASSERT_NE(stbi_write_png("raster_demo.png", kWidth, kHeight, 3, rgb.data(), kWidth * 3), 0);
  // A picture, not a flat fill: many distinct colours, and the torus hole
  // shows the layers through it.
  std::set<uint16_t> colours(colour_buffer().begin(), colour_buffer().end());
  EXPECT_GT(colours.size(), 500u);
  device_->SetTexture(0, nullptr);
}

}  // namespace
}  // namespace raster_test
