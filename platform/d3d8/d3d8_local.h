// The inside of the device: state and resources as plain data, shared by the
// API face (device.cpp, resources.cpp) and the rasterizer (draw.h).
#pragma once

#include <array>
#include <memory>
#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace d3d8 {

constexpr int kRenderStateCount = 256;
constexpr int kStageCount = 8;
constexpr int kStageStateCount = 32;
// The mode the program sees; the device draws it kMaxScale times larger at most.
constexpr int kBackBufferWidth = 640;
constexpr int kBackBufferHeight = 480;
constexpr int kMaxTargetWidth = kBackBufferWidth * kMaxScale;
constexpr int kMaxTargetHeight = kBackBufferHeight * kMaxScale;

struct TextureLevel {
  int width = 0;
  int height = 0;
  int pitch_bytes = 0;
  std::vector<uint8_t> bytes;
  bool locked = false;
};

struct TextureData {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DPOOL pool = D3DPOOL_DEFAULT;
  DWORD usage = 0;
  std::vector<TextureLevel> levels;
  // Bumped whenever the texels may have changed (unlock, UpdateTexture), so a
  // sampler may cache a converted copy.
  uint64_t generation = 0;
  // Level 0 widened for sampling (texture_sampler.cpp writes both; nothing
  // else reads them). Valid while sampler_generation == generation.
  std::vector<uint32_t> sampler_texels;
  uint64_t sampler_generation = UINT64_MAX;
};

struct BufferData {
  DWORD usage = 0;
  DWORD fvf = 0;                    // vertex buffers
  D3DFORMAT format = D3DFMT_UNKNOWN;  // index buffers
  D3DPOOL pool = D3DPOOL_DEFAULT;
  std::vector<uint8_t> bytes;
  bool locked = false;
};

int bytes_per_texel(D3DFORMAT format);

namespace raster {
struct RasterScratch;
struct DrawQueue;
}

struct DeviceState {
  HWND focus_window = nullptr;
  D3DPRESENT_PARAMETERS parameters{};
  bool in_scene = false;

  std::array<DWORD, kRenderStateCount> render_state{};
  std::array<std::array<DWORD, kStageStateCount>, kStageCount> stage_state{};
  std::array<IDirect3DBaseTexture8*, kStageCount> textures{};  // each holds a reference
  D3DMATRIX world{};
  D3DMATRIX view{};
  D3DMATRIX projection{};

  IDirect3DVertexBuffer8* stream_source = nullptr;  // holds a reference
  UINT stream_stride = 0;
  IDirect3DIndexBuffer8* indices = nullptr;  // holds a reference
  UINT base_vertex_index = 0;
  DWORD vertex_shader = 0;  // a fixed-function FVF code

  // What the device really draws: the program's 640x480 times `scale`
  // (target_options, read at creation).
  int width = kBackBufferWidth;
  int height = kBackBufferHeight;
  int scale = 1;
  // Row-major, `width` pixels a row. One of the two colour buffers is
  // used: back_buffer at 16 bits, back_buffer_xrgb at 32.
  bool xrgb = false;
  std::vector<uint16_t> back_buffer;        // R5G6B5
  std::vector<uint32_t> back_buffer_xrgb;  // X8R8G8B8
  std::vector<uint16_t> depth_buffer;       // D16: 0 nearest, 0xFFFF farthest

  // The fast paths' working memory, one per drawing thread, made at the
  // first draw that uses them.
  std::vector<std::shared_ptr<raster::RasterScratch>> scratch;
  // Draws waiting for the drawing threads (draw_queue.h); kept between
  // frames so a frame allocates nothing once warm.
  std::shared_ptr<raster::DrawQueue> queued_draws;
};

// Clear for rows [row_begin, row_end) of the target and depth buffer
// (flags as Clear's).
void clear_rows(DeviceState& s, DWORD flags, D3DCOLOR colour, float z, int row_begin, int row_end);

// Rows [row_begin, row_end) of the target into `to`, a picture of its size
// and format.
void copy_rows(const DeviceState& s, const win32::Frame& to, int row_begin, int row_end);

}  // namespace d3d8
