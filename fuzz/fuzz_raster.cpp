// Random draws through the software device: states (valid or not), textures
// updated between draws, both vertex formats with any floats (NaN, infinite,
// far off screen, behind the eye), lists, strips, fans and indexed draws
// with indices out of range. Each input is drawn once through the reference
// path on one thread, then with the fast paths at every instruction set this
// CPU has, on one to four drawing threads: a byte that differs aborts, and
// the fuzz build's sanitizers catch any access out of bounds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "mesh/mesh.h"
#include "platform/cpu/cpu.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_local.h"

namespace {

// Reads the input front to back; past its end every read is 0.
struct Reader {
  const uint8_t* at;
  const uint8_t* end;
  bool done() const { return at >= end; }
  uint8_t u8() { return at < end ? *at++ : 0; }
  // Little-endian, one read after the other: the operands of one expression
  // may be read in either order, and each compiler would see another input.
  uint16_t u16() {
    const uint8_t low = u8();
    return static_cast<uint16_t>(low | u8() << 8);
  }
  uint32_t u32() {
    const uint32_t low = u16();
    return low | uint32_t{u16()} << 16;
  }
  // Mostly `scale` times a signed 16-bit step, now and then sixteen times
  // that; one in sixteen a value the arithmetic has to survive.
  float number(float scale) {
    const uint8_t kind = u8();
    if (kind % 16 == 0) {
      static const float kOdd[] = {std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::max(),
                                   -std::numeric_limits<float>::max(),
                                   1e30f, -1e30f, 1e-30f, 0.0f, -0.0f, 65536.5f, 1e6f, -1e6f,
                                   std::numeric_limits<float>::denorm_min()};
      return kOdd[(kind / 16) % (sizeof(kOdd) / sizeof(kOdd[0]))];
    }
    return static_cast<float>(static_cast<int16_t>(u16())) * (kind % 16 < 4 ? 16 * scale : scale);
  }
};

enum class Op : uint8_t { render_state, stage_state, transform, draw, clear, texture_update };

// Every input becomes a list of these first, so each run replays it alike.
struct Command {
  Op op = Op::draw;
  uint32_t name = 0, value = 0;
  D3DMATRIX matrix{};
  bool screen = true, indexed = false;
  D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
  std::vector<float> vertices;  // 7 or 6 fields a vertex, colours stored bitwise
  std::vector<uint16_t> indices;
  uint32_t primitives = 0;
};

struct Scene {
  d3d8::TargetOptions target;
  int texture_width = 0, texture_height = 0;  // 0: no texture
  D3DFORMAT texture_format = D3DFMT_R5G6B5;
  uint8_t blend = 0;  // index into kBlends
  uint8_t depth = 0;  // bit 0: test, bit 1: write
  uint32_t seed = 0;
  std::vector<Command> commands;
};

// The blends the demo sets, so that most draws start on a fast path; the
// commands may change any state after.
struct Blend {
  bool enable;
  DWORD src, dst;
};
const Blend kBlends[] = {{false, D3DBLEND_ONE, D3DBLEND_ZERO},           {true, D3DBLEND_ONE, D3DBLEND_ONE},
                         {true, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR},   {true, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
                         {true, D3DBLEND_INVDESTCOLOR, D3DBLEND_ONE},     {true, D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},
                         {true, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}};

const D3DRENDERSTATETYPE kRenderStates[] = {
    D3DRS_ZENABLE,  D3DRS_ZWRITEENABLE, D3DRS_ZFUNC,    D3DRS_ZBIAS,           D3DRS_CULLMODE,
    D3DRS_SRCBLEND, D3DRS_DESTBLEND,    D3DRS_SHADEMODE, D3DRS_ALPHABLENDENABLE, D3DRS_ALPHATESTENABLE,
    D3DRS_ALPHAREF, D3DRS_ALPHAFUNC,    D3DRS_TEXTUREFACTOR};
const D3DTEXTURESTAGESTATETYPE kStageStates[] = {
    D3DTSS_COLOROP,   D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP,  D3DTSS_ALPHAARG1,
    D3DTSS_ALPHAARG2, D3DTSS_MINFILTER, D3DTSS_MAGFILTER, D3DTSS_ADDRESSU, D3DTSS_ADDRESSV};
const D3DFORMAT kTextureFormats[] = {D3DFMT_R5G6B5, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
constexpr int kMaxCommands = 24;
constexpr int kMaxVertices = 48;

// Small values are the states' meaningful ones; now and then any value.
uint32_t state_value(Reader& in) {
  const uint8_t b = in.u8();
  return b < 240 ? b % 12 : in.u32();
}

// One vertex's fields as the vertex buffer holds them.
void push_vertex(Command& c, float x, float y, float z, float rhw, uint32_t colour, float u, float v) {
  float colour_bits;
  std::memcpy(&colour_bits, &colour, 4);
  for (float f : {x, y, z}) c.vertices.push_back(f);
  if (c.screen) c.vertices.push_back(rhw);
  for (float f : {colour_bits, u, v}) c.vertices.push_back(f);
}

Command read_draw(Reader& in) {
  Command c;
  c.op = Op::draw;
  const uint8_t how = in.u8();
  c.screen = how & 1;
  c.indexed = how & 2;
  if (c.screen && how % 16 == 5) {
    // A screen layer: an axis-aligned rectangle, one colour and depth, its
    // texture coordinates changing only across and down.
    c.type = D3DPT_TRIANGLESTRIP;
    const float x0 = 320 + in.number(1.0f / 64), y0 = 240 + in.number(1.0f / 64);
    const float x1 = 320 + in.number(1.0f / 64), y1 = 240 + in.number(1.0f / 64);
    const float u0 = in.number(1.0f / 4096), v0 = in.number(1.0f / 4096);
    const float u1 = in.number(1.0f / 4096), v1 = in.number(1.0f / 4096);
    const float z = 0.5f + in.number(1.0f / 65536);
    const uint32_t colour = in.u32();
    push_vertex(c, x0, y0, z, 1, colour, u0, v0);
    push_vertex(c, x1, y0, z, 1, colour, u1, v0);
    push_vertex(c, x0, y1, z, 1, colour, u0, v1);
    push_vertex(c, x1, y1, z, 1, colour, u1, v1);
    c.indexed = false;
    c.primitives = 2;
    return c;
  }
  c.type = static_cast<D3DPRIMITIVETYPE>(D3DPT_TRIANGLELIST + (how >> 2) % 3);
  const int count = 3 + in.u8() % (kMaxVertices - 2);
  // Mostly one colour a draw, as the demo's meshes; now and then each
  // vertex its own.
  const bool one_colour = in.u8() < 192;
  const uint32_t draw_colour = in.u32();
  for (int i = 0; i < count; ++i) {
    // Screen vertices in pixels around the target; mesh ones in the units
    // the perspective below sees.
    const float scale = c.screen ? 1.0f / 128 : 1.0f / 2048;
    const float x = c.screen ? 320 + in.number(scale) : in.number(scale);
    const float y = c.screen ? 240 + in.number(scale) : in.number(scale);
    const float z = c.screen ? 0.5f + in.number(1.0f / 65536) : 4 + in.number(scale);
    // Mostly in front of the eye; now and then behind it.
    const float rhw = !c.screen ? 0 : in.u8() < 224 ? std::fabs(in.number(1.0f / 16384)) : in.number(1.0f / 16384);
    const uint32_t colour = one_colour ? draw_colour : in.u32();
    const float u = in.number(1.0f / 4096);
    push_vertex(c, x, y, z, rhw, colour, u, in.number(1.0f / 4096));
  }
  const uint32_t triangles = c.type == D3DPT_TRIANGLELIST ? count / 3 : count - 2;
  if (c.indexed) {
    const int index_count = c.type == D3DPT_TRIANGLELIST ? 3 * triangles : triangles + 2;
    for (int i = 0; i < index_count; ++i) {
      // Mostly in range; sometimes past the vertices, which must be refused.
      const uint8_t b = in.u8();
      c.indices.push_back(static_cast<uint16_t>(b < 250 ? b % count : count + b));
    }
  }
  // Occasionally more primitives than the vertices hold.
  c.primitives = in.u8() < 250 ? triangles : triangles + 1;
  return c;
}

Scene read_scene(Reader& in) {
  Scene s;
  const uint8_t target = in.u8();
  s.target.colour_bits = target & 1 ? 32 : 16;
  s.target.scale = (target >> 1) % 8 == 7 ? 2 : 1;
  if (in.u8() % 4 != 0) {
    // Mostly powers of two, which the fast paths need for wrapping.
    auto side = [&in] {
      const uint8_t b = in.u8();
      return b < 192 ? 1 << (b % 7) : 1 + b % 64;
    };
    s.texture_width = side();
    s.texture_height = side();
    s.texture_format = kTextureFormats[in.u8() % 3];
  }
  const uint8_t states = in.u8();
  s.blend = states % (sizeof(kBlends) / sizeof(kBlends[0]));
  s.depth = states / 16 % 4;
  s.seed = in.u32();
  while (!in.done() && s.commands.size() < kMaxCommands) {
    const auto op = static_cast<Op>(in.u8() % 6);
    Command c;
    c.op = op;
    switch (op) {
      case Op::render_state:
        c.name = kRenderStates[in.u8() % (sizeof(kRenderStates) / sizeof(kRenderStates[0]))];
        c.value = state_value(in);
        break;
      case Op::stage_state:
        c.name = kStageStates[in.u8() % (sizeof(kStageStates) / sizeof(kStageStates[0]))];
        c.value = state_value(in);
        break;
      case Op::transform: {
        const uint8_t which = in.u8();
        c.name = which % 3 == 0 ? D3DTS_WORLD : which % 3 == 1 ? D3DTS_VIEW : D3DTS_PROJECTION;
        float* m = &c.matrix._11;
        for (int i = 0; i < 16; ++i) m[i] = in.number(1.0f / 8192);
        break;
      }
      case Op::draw:
        c = read_draw(in);
        break;
      case Op::clear:
        c.name = in.u8() % 4;  // which of target and depth
        c.value = in.u32();
        break;
      case Op::texture_update:
        c.value = in.u32();
        break;
    }
    s.commands.push_back(std::move(c));
  }
  return s;
}

void fill_texture(IDirect3DTexture8* texture, const Scene& s, uint32_t seed) {
  std::mt19937 rng(seed);
  D3DLOCKED_RECT r{};
  if (texture->LockRect(0, &r, nullptr, 0) < 0) return;
  const int bytes = s.texture_format == D3DFMT_R5G6B5 ? 2 : 4;
  for (int y = 0; y < s.texture_height; ++y) {
    auto* row = static_cast<uint8_t*>(r.pBits) + y * r.Pitch;
    for (int x = 0; x < s.texture_width; ++x) {
      const uint32_t v = rng();
      std::memcpy(row + bytes * x, &v, bytes);
    }
  }
  texture->UnlockRect(0);
}

void draw(IDirect3DDevice8* device, const Command& c) {
  const DWORD fvf = c.screen ? (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1)
                             : (D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  const UINT stride = c.screen ? 28 : 24;
  const UINT bytes = static_cast<UINT>(c.vertices.size() * sizeof(float));
  IDirect3DVertexBuffer8* vb = nullptr;
  if (device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_DEFAULT, &vb) < 0) return;
  BYTE* data = nullptr;
  if (vb->Lock(0, 0, &data, 0) >= 0) {
    std::memcpy(data, c.vertices.data(), bytes);
    vb->Unlock();
  }
  device->SetVertexShader(fvf);
  device->SetStreamSource(0, vb, stride);
  const UINT vertex_count = bytes / stride;
  if (c.indexed) {
    IDirect3DIndexBuffer8* ib = nullptr;
    const UINT index_bytes = static_cast<UINT>(c.indices.size() * 2);
    if (device->CreateIndexBuffer(index_bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib) >= 0) {
      if (ib->Lock(0, 0, &data, 0) >= 0) {
        std::memcpy(data, c.indices.data(), index_bytes);
        ib->Unlock();
      }
      device->SetIndices(ib, 0);
      device->DrawIndexedPrimitive(c.type, 0, vertex_count, 0, c.primitives);
      device->SetIndices(nullptr, 0);
      ib->Release();
    }
  } else {
    device->DrawPrimitive(c.type, 0, c.primitives);
  }
  device->SetStreamSource(0, nullptr, 0);
  vb->Release();
}

struct Picture {
  std::vector<uint16_t> colour16;
  std::vector<uint32_t> colour32;
  std::vector<uint16_t> depth;
  bool made = false;
};

Picture run(const Scene& s, bool fast, cpu::SimdLevel level, int threads) {
  Picture out;
  d3d8::target_options = s.target;
  IDirect3D8* object = Direct3DCreate8(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = d3d8::kBackBufferWidth;
  p.BackBufferHeight = d3d8::kBackBufferHeight;
  p.BackBufferFormat = D3DFMT_R5G6B5;
  p.SwapEffect = D3DSWAPEFFECT_FLIP;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  IDirect3DDevice8* device = nullptr;
  const bool created = object != nullptr && object->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device) >= 0;
  d3d8::target_options = {};
  if (!created) {
    if (object != nullptr) object->Release();
    return out;
  }
  d3d8::raster_options.fast_paths = fast;
  d3d8::raster_options.max_simd = level;
  d3d8::raster_options.threads = threads;

  // A noisy starting picture, so that blends and depth tests go both ways;
  // made once, as making it each time would cost more than the draws.
  struct Start {
    std::vector<uint16_t> colour16, depth;
    std::vector<uint32_t> colour32;
  };
  static const Start start = [] {
    std::mt19937 rng(11);
    Start made;
    for (int i = 0; i < d3d8::kBackBufferWidth * d3d8::kBackBufferHeight * 4; ++i) {
      made.colour16.push_back(static_cast<uint16_t>(rng()));
      made.colour32.push_back(rng() & 0xFFFFFF);
      made.depth.push_back(static_cast<uint16_t>(rng() % 3 == 0 ? 65535 : 50000 + rng() % 15536));
    }
    return made;
  }();
  auto& st = device->state();
  std::copy_n(start.colour16.begin(), st.back_buffer.size(), st.back_buffer.begin());
  std::copy_n(start.colour32.begin(), st.back_buffer_xrgb.size(), st.back_buffer_xrgb.begin());
  std::copy_n(start.depth.begin(), st.depth_buffer.size(), st.depth_buffer.begin());

  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  // The demo's projection, so mesh draws start out visible.
  D3DMATRIX projection;
  mesh::BuildPerspectiveMatrix(&projection, 0.7853982f, 1.3333334f, 1.0f, 100.0f);
  device->SetTransform(D3DTS_PROJECTION, &projection);
  IDirect3DTexture8* texture = nullptr;
  if (s.texture_width > 0 &&
      device->CreateTexture(s.texture_width, s.texture_height, 1, 0, s.texture_format, D3DPOOL_MANAGED, &texture) >= 0) {
    fill_texture(texture, s, s.seed);
    device->SetTexture(0, texture);
  }
  const Blend& blend = kBlends[s.blend];
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, blend.enable);
  device->SetRenderState(D3DRS_SRCBLEND, blend.src);
  device->SetRenderState(D3DRS_DESTBLEND, blend.dst);
  device->SetRenderState(D3DRS_ZENABLE, s.depth & 1);
  device->SetRenderState(D3DRS_ZWRITEENABLE, s.depth >> 1);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->BeginScene();
  for (const Command& c : s.commands) {
    switch (c.op) {
      case Op::render_state:
        device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(c.name), c.value);
        break;
      case Op::stage_state:
        device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(c.name), c.value);
        break;
      case Op::transform:
        device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(c.name), &c.matrix);
        break;
      case Op::draw:
        draw(device, c);
        break;
      case Op::clear: {
        const DWORD flags = (c.name & 1 ? D3DCLEAR_TARGET : 0) | (c.name & 2 ? D3DCLEAR_ZBUFFER : 0);
        device->Clear(0, nullptr, flags, c.value, static_cast<float>(c.value >> 16) / 65535.0f, 0);
        break;
      }
      case Op::texture_update:
        // Between draws of one frame: the draws before must still read the old texels.
        if (texture != nullptr) fill_texture(texture, s, c.value);
        break;
    }
  }
  device->EndScene();
  d3d8::finish_drawing(device);
  out.colour16 = st.back_buffer;
  out.colour32 = st.back_buffer_xrgb;
  out.depth = st.depth_buffer;
  out.made = true;
  device->SetTexture(0, nullptr);
  if (texture != nullptr) texture->Release();
  device->Release();
  object->Release();
  d3d8::raster_options = {};
  return out;
}

template <typename T>
void expect_same(const std::vector<T>& got, const std::vector<T>& want, int width, const char* what,
                 cpu::SimdLevel level, int threads) {
  if (got == want) return;
  if (got.size() != want.size()) {
    std::fprintf(stderr, "fuzz_raster: the fast paths at %s drew no picture\n", cpu::level_name(level));
    std::abort();
  }
  size_t i = 0;
  while (got[i] == want[i]) ++i;
  std::fprintf(stderr, "fuzz_raster: %s at %zu,%zu differs with the fast paths at %s, drawing threads %d: %x, reference %x\n",
               what, i % width, i / width, cpu::level_name(level), threads, unsigned(got[i]), unsigned(want[i]));
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  Reader in{data, data + size};
  const Scene scene = read_scene(in);
  const Picture reference = run(scene, false, cpu::SimdLevel::scalar, 1);
  if (!reference.made) return 0;
  const int width = d3d8::kBackBufferWidth * scene.target.scale;
  for (auto level : {cpu::SimdLevel::sse2, cpu::SimdLevel::avx2, cpu::SimdLevel::avx512}) {
    if (level > cpu::simd_ceiling()) break;
    const int threads = 1 + static_cast<int>(scene.seed % 4);
    const Picture fast = run(scene, true, level, threads);
    expect_same(fast.colour16, reference.colour16, width, "colour", level, threads);
    expect_same(fast.colour32, reference.colour32, width, "colour", level, threads);
    expect_same(fast.depth, reference.depth, width, "depth", level, threads);
  }
  return 0;
}
