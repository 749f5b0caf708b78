// Texture file loading: decoding throughput of the common BMP and TGA kinds
// at the demo's sizes, and the cost of the canonical rewrite before stb.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "texload/texload.h"

namespace {

constexpr int kSide = 512;  // the demo's images are screen-sized or smaller

void u16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void u32(std::vector<uint8_t>& out, uint32_t v) {
  u16(out, v & 0xFFFF);
  u16(out, v >> 16);
}

// A smooth gradient with flat bands, like a sky picture.
uint8_t level(int x, int y, int channel) { return static_cast<uint8_t>((x / 4 + y / 2 + channel * 40) & 0xFF); }

std::vector<uint8_t> bmp_24() {
  std::vector<uint8_t> f = {'B', 'M'};
  const uint32_t stride = (kSide * 3 + 3) & ~3u;
  u32(f, 54 + stride * kSide);
  u32(f, 0);
  u32(f, 54);
  u32(f, 40);
  u32(f, kSide);
  u32(f, kSide);
  u16(f, 1);
  u16(f, 24);
  for (int i = 0; i < 6; ++i) u32(f, 0);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      for (int c = 0; c < 3; ++c) f.push_back(level(x, y, c));
    }
    f.resize(54 + stride * (y + 1), 0);
  }
  return f;
}

std::vector<uint8_t> tga_32_rle() {
  std::vector<uint8_t> f = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  u16(f, kSide);
  u16(f, kSide);
  f.push_back(32);
  f.push_back(8);
  for (int y = 0; y < kSide; ++y) {
    // Runs of four equal pixels: each becomes one run packet.
    for (int x = 0; x < kSide; x += 4) {
      f.push_back(0x80 | 3);
      for (int c = 0; c < 3; ++c) f.push_back(level(x, y, c));
      f.push_back(static_cast<uint8_t>(x));
    }
  }
  return f;
}

}  // namespace

int main() {
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = 640;
  p.BackBufferHeight = 480;
  p.BackBufferFormat = D3DFMT_R5G6B5;
  IDirect3DDevice8* device = nullptr;
  d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, 0, &p, &device);
  if (device == nullptr) return 1;

  const double mega_texels = kSide * kSide / 1e6;
  const struct {
    const char* name;
    std::vector<uint8_t> file;
  } files[] = {{"bmp24", bmp_24()}, {"tga32_rle", tga_32_rle()}};
  for (const auto& f : files) {
    texload::Image image;
    if (texload::decode_image(f.file.data(), f.file.size(), image) != texload::ImageError::kNone) {
      std::fprintf(stderr, "bench_texload: %s does not decode\n", f.name);
      return 1;
    }
    // A fresh picture each time, as each load has: reusing one makes the
    // allocator hand back and fault in its pages every run.
    const double decode = bench::median_seconds(31, [&] {
      texload::Image fresh;
      texload::decode_image(f.file.data(), f.file.size(), fresh);
      bench::keep(fresh);
    });
    bench::report((std::string("texload_decode_") + f.name + "_512").c_str(), decode * 1e3, "ms");
    bench::report((std::string("texload_decode_") + f.name).c_str(), mega_texels / decode, "Mtexel/s");
    const double load = bench::median_seconds(31, [&] {
      IDirect3DTexture8* texture = nullptr;
      texload::load_texture_from_memory(device, f.file.data(), f.file.size(), &texture);
      if (texture != nullptr) texture->Release();
    });
    bench::report((std::string("texload_texture_") + f.name + "_512").c_str(), load * 1e3, "ms");
  }
  device->Release();
  d3d->Release();
  return 0;
}
