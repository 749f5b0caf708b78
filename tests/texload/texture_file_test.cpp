// Image files into textures on the headless device, and blank textures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "texload/image_writers.h"
#include "texload/texload.h"

namespace {

namespace fs = std::filesystem;
using texload_test::Picture;
using texload_test::pattern_picture;

IDirect3DDevice8* make_device() {
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (d3d == nullptr) return nullptr;
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = 640;
  p.BackBufferHeight = 480;
  p.BackBufferFormat = D3DFMT_R5G6B5;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  IDirect3DDevice8* device = nullptr;
  d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device);
  d3d->Release();
  return device;
}

class TexloadTexture : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = make_device();
    ASSERT_NE(device_, nullptr);
    char pattern[] = "/tmp/texload_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    d3d8::faults = d3d8::FaultInjection{};
    if (device_ != nullptr) device_->Release();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  IDirect3DDevice8* device_ = nullptr;
  fs::path dir_;
};

// The texels of level 0 as 0xAARRGGBB, read back from memory order.
std::vector<uint32_t> texels_of(IDirect3DTexture8* texture) {
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(0, &desc);
  D3DLOCKED_RECT locked{};
  if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return {};
  std::vector<uint32_t> texels;
  for (UINT y = 0; y < desc.Height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
    for (UINT x = 0; x < desc.Width; ++x) {
      const uint8_t* t = row + 4 * x;  // blue, green, red, alpha
      texels.push_back(uint32_t{t[3]} << 24 | uint32_t{t[2]} << 16 | uint32_t{t[1]} << 8 | t[0]);
    }
  }
  texture->UnlockRect(0);
  return texels;
}

TEST_F(TexloadTexture, TextureHoldsTheImageAtItsOwnSizeInAManagedPool) {
  const Picture opaque = pattern_picture(7, 5, {0xFF102030, 0xFFF0E0D0, 0xFF00FF7F});
  const Picture translucent = pattern_picture(3, 9, {0x00102030, 0x80F0E0D0, 0xFF00FF7F});
  texload_test::BmpLayout bgra{.bits = 32, .header_bytes = 108, .compression = 3};
  const uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  std::copy(masks, masks + 4, bgra.masks);
  const struct {
    const char* file;
    const Picture& picture;
    std::vector<uint8_t> bytes;
    D3DFORMAT format;
  } cases[] = {
      {"opaque.bmp", opaque, texload_test::write_bmp(opaque, {}), D3DFMT_X8R8G8B8},
      {"alpha.bmp", translucent, texload_test::write_bmp(translucent, bgra), D3DFMT_A8R8G8B8},
      {"opaque.tga", opaque, texload_test::write_tga(opaque, {.run_length = true}), D3DFMT_X8R8G8B8},
      {"alpha.tga", translucent, texload_test::write_tga(translucent, {.bits = 32}), D3DFMT_A8R8G8B8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    IDirect3DTexture8* texture = nullptr;
    ASSERT_GE(texload::LoadTextureFile(device_, write(c.file, c.bytes).c_str(), &texture), 0);
    ASSERT_NE(texture, nullptr);
    D3DSURFACE_DESC desc{};
    ASSERT_GE(texture->GetLevelDesc(0, &desc), 0);
    EXPECT_EQ(desc.Width, static_cast<UINT>(c.picture.width));
    EXPECT_EQ(desc.Height, static_cast<UINT>(c.picture.height));
    EXPECT_EQ(desc.Format, c.format);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    EXPECT_EQ(texels_of(texture), c.picture.texels);
    texture->Release();
  }
}

TEST_F(TexloadTexture, WindowsStyleNamesFindTheFileWhateverTheCase) {
  write("gfx/Taivas2.BMP", texload_test::write_bmp(pattern_picture(4, 4, {0xFF000000, 0xFFFFFFFF}), {}));
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  IDirect3DTexture8* texture = nullptr;
  const HRESULT result = texload::LoadTextureFile(device_, "GFX\\taivas2.bmp", &texture);
  fs::current_path(before);
  ASSERT_GE(result, 0);
  ASSERT_NE(texture, nullptr);
  texture->Release();
}

TEST_F(TexloadTexture, EveryFailureIsNegativeAndLeavesNoTexture) {
  const auto good = texload_test::write_bmp(pattern_picture(4, 4, {0xFF000000, 0xFFFFFFFF}), {});
  const std::string good_path = write("good.bmp", good);
  fs::create_directories(dir_ / "folder.bmp");
  const struct {
    const char* name;
    std::string path;
    int fail_texture_after;
  } cases[] = {
      {"missing file", (dir_ / "missing.bmp").string(), -1},
      {"a directory", (dir_ / "folder.bmp").string(), -1},
      {"empty file", write("empty.bmp", {}), -1},
      {"truncated file", write("short.bmp", {good.begin(), good.end() - 1}), -1},
      {"not an image", write("text.tga", {'n', 'o', 'p', 'e', '!', '!', '!', '!', '!', '!', '!', '!',
                                          '!', '!', '!', '!', '!', '!', '!', '!'}), -1},
      {"device refuses the texture", good_path, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    d3d8::faults.fail_texture_after = c.fail_texture_after;
    IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(0x1);  // must be overwritten
    EXPECT_LT(texload::LoadTextureFile(device_, c.path.c_str(), &texture), 0);
    EXPECT_EQ(texture, nullptr);
  }
  IDirect3DTexture8* texture = nullptr;
  EXPECT_LT(texload::LoadTextureFile(nullptr, good_path.c_str(), &texture), 0);
  EXPECT_LT(texload::LoadTextureFile(device_, nullptr, &texture), 0);
  EXPECT_LT(texload::LoadTextureFile(device_, good_path.c_str(), nullptr), 0);
}

TEST_F(TexloadTexture, BlankTexturesHaveTheAskedShapeAndAreEmpty) {
  const struct {
    UINT size;
    D3DPOOL pool;
  } cases[] = {{128, D3DPOOL_SYSTEMMEM}, {128, D3DPOOL_DEFAULT}, {256, D3DPOOL_SYSTEMMEM}, {256, D3DPOOL_DEFAULT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " pool " << c.pool);
    IDirect3DTexture8* texture = nullptr;
    ASSERT_GE(texload::CreateBlankTexture(device_, c.size, c.size, 1, 0, D3DFMT_R5G6B5, c.pool, &texture), 0);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, c.size);
    EXPECT_EQ(desc.Height, c.size);
    EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(desc.Pool, c.pool);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    D3DLOCKED_RECT locked{};
    if (c.pool == D3DPOOL_SYSTEMMEM) {
      ASSERT_GE(texture->LockRect(0, &locked, nullptr, 0), 0);
      const auto* texels = static_cast<const uint16_t*>(locked.pBits);
      EXPECT_TRUE(std::all_of(texels, texels + c.size * c.size, [](uint16_t t) { return t == 0; }));
      texture->UnlockRect(0);
    } else {
      // Filled only through UpdateTexture, as in Direct3D 8.
      EXPECT_LT(texture->LockRect(0, &locked, nullptr, 0), 0);
    }
    texture->Release();
  }
}

TEST_F(TexloadTexture, BlankTextureRefusalsAreNegative) {
  IDirect3DTexture8* texture = nullptr;
  EXPECT_LT(texload::CreateBlankTexture(device_, 0, 128, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &texture), 0);
  EXPECT_LT(texload::CreateBlankTexture(device_, 8192, 8192, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &texture), 0);
  EXPECT_LT(texload::CreateBlankTexture(nullptr, 128, 128, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &texture), 0);
  EXPECT_LT(texload::CreateBlankTexture(device_, 128, 128, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, nullptr), 0);
  d3d8::faults.fail_texture_after = 0;
  EXPECT_LT(texload::CreateBlankTexture(device_, 128, 128, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &texture), 0);
  EXPECT_EQ(texture, nullptr);
}

}  // namespace
