// Draw-call arguments are checked against the bound buffers: a bad count
// or offset is refused and draws nothing, an index outside the declared
// vertex range drops its triangle only, and nothing is read out of bounds.
#include "raster_fixture.h"

namespace raster_test {
namespace {

class DrawCalls : public RasterTest {
 protected:
  void SetUp() override {
    RasterTest::SetUp();
    device_->SetTexture(0, nullptr);
    clear(0);
    // Six screen vertices: two triangles side by side, left at x 0..8 and
    // right at x 20..28.
    vertices_ = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},  {8, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                 {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 0},  {20, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                 {28, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {20, 8, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    vb_ = make_buffer(vertices_, kScreenFvf);
    device_->SetStreamSource(0, vb_, sizeof(ScreenVertex));
    device_->SetVertexShader(kScreenFvf);
  }
  void TearDown() override {
    device_->SetStreamSource(0, nullptr, 0);
    device_->SetIndices(nullptr, 0);
    if (vb_) vb_->Release();
    if (ib_) ib_->Release();
    RasterTest::TearDown();
  }
  void indices(const std::vector<uint32_t>& values, D3DFORMAT format, UINT base = 0) {
    if (ib_) ib_->Release();
    UINT size = format == D3DFMT_INDEX16 ? 2 : 4;
    ASSERT_GE(device_->CreateIndexBuffer(UINT(values.size()) * size, 0, format, D3DPOOL_MANAGED, &ib_), 0);
    BYTE* data = nullptr;
    ib_->Lock(0, 0, &data, 0);
    for (size_t i = 0; i < values.size(); ++i) std::memcpy(data + i * size, &values[i], size);
    ib_->Unlock();
    device_->SetIndices(ib_, base);
  }
  bool left_drawn() { return pixel(1, 1) != 0; }
  bool right_drawn() { return pixel(21, 1) != 0; }

  std::vector<ScreenVertex> vertices_;
  IDirect3DVertexBuffer8* vb_ = nullptr;
  IDirect3DIndexBuffer8* ib_ = nullptr;
};

TEST_F(DrawCalls, RefusedDrawPrimitiveArgumentsDrawNothing) {
  struct Case {
    const char* name;
    D3DPRIMITIVETYPE type;
    UINT start, count;
    DWORD fvf;
    UINT stride;
    HRESULT result;
    bool left, right;
  } cases[] = {
      {"both triangles", D3DPT_TRIANGLELIST, 0, 2, kScreenFvf, 28, D3D_OK, true, true},
      {"second triangle only", D3DPT_TRIANGLELIST, 3, 1, kScreenFvf, 28, D3D_OK, false, true},
      {"no primitives", D3DPT_TRIANGLELIST, 0, 0, kScreenFvf, 28, D3D_OK, false, false},
      {"one vertex past the end", D3DPT_TRIANGLELIST, 1, 2, kScreenFvf, 28, D3DERR_INVALIDCALL, false, false},
      {"start far past the end", D3DPT_TRIANGLELIST, 0xFFFFFFF0u, 1, kScreenFvf, 28, D3DERR_INVALIDCALL, false, false},
      {"count that overflows 32 bits", D3DPT_TRIANGLELIST, 0, 0x55555556u, kScreenFvf, 28, D3DERR_INVALIDCALL, false, false},
      {"strip too long", D3DPT_TRIANGLESTRIP, 0, 5, kScreenFvf, 28, D3DERR_INVALIDCALL, false, false},
      {"stride below the vertex size", D3DPT_TRIANGLELIST, 0, 1, kScreenFvf, 24, D3DERR_INVALIDCALL, false, false},
      {"stride 0", D3DPT_TRIANGLELIST, 0, 1, kScreenFvf, 0, D3DERR_INVALIDCALL, false, false},
      {"format without a position", D3DPT_TRIANGLELIST, 0, 1, D3DFVF_DIFFUSE, 28, D3DERR_INVALIDCALL, false, false},
      {"points are not drawn", D3DPT_POINTLIST, 0, 3, kScreenFvf, 28, D3DERR_INVALIDCALL, false, false},
      {"lines are not drawn", D3DPT_LINELIST, 0, 1, kScreenFvf, 28, D3DERR_INVALIDCALL, false, false},
  };
  for (const Case& c : cases) {
    clear(0);
    device_->SetStreamSource(0, vb_, c.stride);
    device_->SetVertexShader(c.fvf);
    EXPECT_EQ(device_->DrawPrimitive(c.type, c.start, c.count), c.result) << c.name;
    EXPECT_EQ(left_drawn(), c.left) << c.name;
    EXPECT_EQ(right_drawn(), c.right) << c.name;
  }
}

TEST_F(DrawCalls, DrawingNeedsAStreamAndAScene) {
  device_->SetStreamSource(0, nullptr, 0);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
  device_->SetStreamSource(0, vb_, sizeof(ScreenVertex));
  device_->EndScene();
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_FALSE(left_drawn());
  device_->BeginScene();
}

TEST_F(DrawCalls, IndexedDrawsCheckTheIndexBufferAndSkipStrayIndices) {
  struct Case {
    const char* name;
    std::vector<uint32_t> values;
    D3DFORMAT format;
    UINT base, min_index, vertex_count, start_index, count;
    HRESULT result;
    bool left, right;
  } cases[] = {
      {"both triangles", {0, 1, 2, 3, 4, 5}, D3DFMT_INDEX16, 0, 0, 6, 0, 2, D3D_OK, true, true},
      {"32-bit indices", {0, 1, 2, 3, 4, 5}, D3DFMT_INDEX32, 0, 0, 6, 0, 2, D3D_OK, true, true},
      {"base vertex index shifts every index", {0, 1, 2}, D3DFMT_INDEX16, 3, 0, 3, 0, 1, D3D_OK, false, true},
      {"start index", {0, 1, 2, 3, 4, 5}, D3DFMT_INDEX16, 0, 0, 6, 3, 1, D3D_OK, false, true},
      {"index past the buffer skips its triangle", {0, 1, 2, 3, 4, 60000}, D3DFMT_INDEX16, 0, 0, 6, 0, 2, D3D_OK, true, false},
      {"index past the declared range skips its triangle", {0, 1, 2, 3, 4, 5}, D3DFMT_INDEX16, 0, 0, 5, 0, 2, D3D_OK, true, false},
      {"index below min_index skips its triangle", {0, 1, 2, 3, 4, 5}, D3DFMT_INDEX16, 0, 3, 3, 0, 2, D3D_OK, false, true},
      {"huge 32-bit index skips its triangle", {0xFFFFFFFFu, 1, 2, 3, 4, 5}, D3DFMT_INDEX32, 0, 0, 6, 0, 2, D3D_OK, false, true},
      {"more indices than the buffer holds", {0, 1, 2, 3, 4, 5}, D3DFMT_INDEX16, 0, 0, 6, 1, 2, D3DERR_INVALIDCALL, false, false},
      {"start index far past the end", {0, 1, 2}, D3DFMT_INDEX16, 0, 0, 6, 0xFFFFFFFFu, 1, D3DERR_INVALIDCALL, false, false},
      {"vertex range past the vertex buffer", {0, 1, 2}, D3DFMT_INDEX16, 0, 0, 7, 0, 1, D3DERR_INVALIDCALL, false, false},
      {"base vertex index past the vertex buffer", {0, 1, 2}, D3DFMT_INDEX16, 4, 0, 3, 0, 1, D3DERR_INVALIDCALL, false, false},
      {"empty vertex range skips everything", {0, 1, 2}, D3DFMT_INDEX16, 0, 0, 0, 0, 1, D3D_OK, false, false},
  };
  for (const Case& c : cases) {
    clear(0);
    indices(c.values, c.format, c.base);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, c.min_index, c.vertex_count, c.start_index, c.count),
              c.result)
        << c.name;
    EXPECT_EQ(left_drawn(), c.left) << c.name;
    EXPECT_EQ(right_drawn(), c.right) << c.name;
  }
  device_->SetIndices(nullptr, 0);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 0, 1), D3DERR_INVALIDCALL);
}

TEST_F(DrawCalls, BufferWithAPartialLastVertexOffersOnlyWholeOnes) {
  // 132 bytes: with stride 56 the third vertex (bytes 112..140) only partly
  // fits, with stride 28 four whole vertices fit (the last ends at 112).
  IDirect3DVertexBuffer8* odd = nullptr;
  ASSERT_GE(device_->CreateVertexBuffer(132, 0, kScreenFvf, D3DPOOL_DEFAULT, &odd), 0);
  device_->SetStreamSource(0, odd, 56);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
  device_->SetStreamSource(0, odd, 28);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3D_OK);
  device_->SetStreamSource(0, vb_, 28);
  odd->Release();
}

TEST_F(DrawCalls, TextureChangesReachTheNextDrawButNotTheLastOne) {
  // Drawing is immediate, and the sampler's widened copy follows every
  // unlock and UpdateTexture.
  IDirect3DTexture8* t = texture(1, 1, D3DFMT_X8R8G8B8, [](int, int) { return 0xFFFF0000; });
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  D3DLOCKED_RECT r{};
  t->LockRect(0, &r, nullptr, 0);
  *static_cast<uint32_t*>(r.pBits) = 0xFF0000FF;
  t->UnlockRect(0);
  EXPECT_EQ(pixel(1, 1), rgb565(31, 0, 0));
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 3, 1), D3D_OK);
  EXPECT_EQ(pixel(21, 1), rgb565(0, 0, 31));

  IDirect3DTexture8 *staging = nullptr, *target = nullptr;
  ASSERT_GE(device_->CreateTexture(1, 1, 1, 0, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &staging), 0);
  ASSERT_GE(device_->CreateTexture(1, 1, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &target), 0);
  device_->SetTexture(0, target);
  for (uint16_t value : {rgb565(0, 63, 0), rgb565(31, 63, 31)}) {
    staging->LockRect(0, &r, nullptr, 0);
    *static_cast<uint16_t*>(r.pBits) = value;
    staging->UnlockRect(0);
    device_->UpdateTexture(staging, target);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(pixel(1, 1), value);
  }
  device_->SetTexture(0, nullptr);
  staging->Release();
  target->Release();
}

TEST_F(DrawCalls, FlatShadingUsesTheFirstVertexColour) {
  state(D3DRS_SHADEMODE, 1);  // D3DSHADE_FLAT
  clear(0);
  draw_screen({{0, 0, 0.5f, 1, 0x00FF0000, 0, 0}, {40, 0, 0.5f, 1, 0x0000FF00, 0, 0}, {0, 40, 0.5f, 1, 0x000000FF, 0, 0}});
  EXPECT_EQ(pixel(1, 1), rgb565(31, 0, 0));
  EXPECT_EQ(pixel(30, 2), rgb565(31, 0, 0));
  state(D3DRS_SHADEMODE, 2);  // D3DSHADE_GOURAUD
  clear(0);
  draw_screen({{0, 0, 0.5f, 1, 0x00FF0000, 0, 0}, {40, 0, 0.5f, 1, 0x0000FF00, 0, 0}, {0, 40, 0.5f, 1, 0x000000FF, 0, 0}});
  EXPECT_NE(pixel(30, 2), rgb565(31, 0, 0));
}

}  // namespace
}  // namespace raster_test
