// The Direct3D 8 subset the demo calls, with the SDK's names, values and
// signatures. Everything is drawn in software (the rasterizer behind
// draw.h), deterministically: the same calls give the same bytes anywhere.
// Present hands the back buffer to the active window backend.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/cpu/cpu.h"
#include "platform/win32/frame.h"
#include "platform/win32/win32.h"

constexpr UINT D3D_SDK_VERSION = 120;

typedef enum _D3DFORMAT : uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_D16 = 80,
  D3DFMT_INDEX16 = 101,
  D3DFMT_INDEX32 = 102,
} D3DFORMAT;

typedef enum _D3DPOOL : uint32_t {
  D3DPOOL_DEFAULT = 0,
  D3DPOOL_MANAGED = 1,
  D3DPOOL_SYSTEMMEM = 2,
  D3DPOOL_SCRATCH = 3,
} D3DPOOL;

typedef enum _D3DDEVTYPE : uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 } D3DDEVTYPE;
typedef enum _D3DMULTISAMPLE_TYPE : uint32_t { D3DMULTISAMPLE_NONE = 0 } D3DMULTISAMPLE_TYPE;
typedef enum _D3DSWAPEFFECT : uint32_t {
  D3DSWAPEFFECT_DISCARD = 1,
  D3DSWAPEFFECT_FLIP = 2,
  D3DSWAPEFFECT_COPY = 3,
} D3DSWAPEFFECT;

typedef enum _D3DRENDERSTATETYPE : uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_SHADEMODE = 9,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_FOGENABLE = 28,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_ZBIAS = 47,
  D3DRS_TEXTUREFACTOR = 60,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_COLORVERTEX = 141,
  D3DRS_BLENDOP = 171,
} D3DRENDERSTATETYPE;

typedef enum _D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_BORDERCOLOR = 15,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
} D3DTEXTURESTAGESTATETYPE;

typedef enum _D3DZBUFFERTYPE : uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2 } D3DZBUFFERTYPE;

typedef enum _D3DBLEND : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
} D3DBLEND;

typedef enum _D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 } D3DCULL;

typedef enum _D3DCMPFUNC : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
} D3DCMPFUNC;

typedef enum _D3DTEXTUREFILTERTYPE : uint32_t {
  D3DTEXF_NONE = 0,
  D3DTEXF_POINT = 1,
  D3DTEXF_LINEAR = 2,
} D3DTEXTUREFILTERTYPE;

typedef enum _D3DTEXTUREADDRESS : uint32_t {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4,
} D3DTEXTUREADDRESS;

typedef enum _D3DTEXTUREOP : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_MODULATE2X = 5,
  D3DTOP_MODULATE4X = 6,
  D3DTOP_ADD = 7,
} D3DTEXTUREOP;

constexpr DWORD D3DTA_DIFFUSE = 0x00000000;
constexpr DWORD D3DTA_CURRENT = 0x00000001;
constexpr DWORD D3DTA_TEXTURE = 0x00000002;

typedef enum _D3DPRIMITIVETYPE : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
} D3DPRIMITIVETYPE;

typedef enum _D3DTRANSFORMSTATETYPE : uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_WORLD = 256,
} D3DTRANSFORMSTATETYPE;

constexpr DWORD D3DADAPTER_DEFAULT = 0;
constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x00000020;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x00000040;
constexpr DWORD D3DPRESENT_RATE_DEFAULT = 0;
constexpr DWORD D3DPRESENT_INTERVAL_DEFAULT = 0;
constexpr DWORD D3DPRESENT_INTERVAL_ONE = 1;
constexpr DWORD D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000;

constexpr DWORD D3DCLEAR_TARGET = 0x00000001;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x00000002;
constexpr DWORD D3DCLEAR_STENCIL = 0x00000004;

constexpr DWORD D3DUSAGE_RENDERTARGET = 0x00000001;
constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x00000002;
constexpr DWORD D3DUSAGE_WRITEONLY = 0x00000008;
constexpr DWORD D3DUSAGE_DYNAMIC = 0x00000200;

constexpr DWORD D3DLOCK_READONLY = 0x00000010;
constexpr DWORD D3DLOCK_DISCARD = 0x00002000;
constexpr DWORD D3DLOCK_NOOVERWRITE = 0x00001000;

// Flexible vertex format bits.
constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEX1 = 0x100;

typedef DWORD D3DCOLOR;

constexpr HRESULT D3D_OK = S_OK;
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = static_cast<HRESULT>(0x88760818u);
constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086Au);
constexpr HRESULT D3DERR_DEVICELOST = static_cast<HRESULT>(0x88760868u);
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086Cu);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017Cu);

struct D3DMATRIX {
  union {
    struct {
      float _11, _12, _13, _14;
      float _21, _22, _23, _24;
      float _31, _32, _33, _34;
      float _41, _42, _43, _44;
    };
    float m[4][4];
  };
};

struct D3DDISPLAYMODE {
  UINT Width;
  UINT Height;
  UINT RefreshRate;
  D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT FullScreen_PresentationInterval;
};

struct D3DLOCKED_RECT {
  int Pitch;
  void* pBits;
};

struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  UINT Width;
  UINT Height;
};

namespace d3d8 {
struct TextureData;
struct BufferData;
struct DeviceState;
struct TargetOptions;

// Reference counting as COM does it: an object starts at one reference and is
// destroyed when Release brings the count to zero.
class RefCounted {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;
  virtual ~RefCounted() = default;
  ULONG AddRef();
  ULONG Release();

 private:
  ULONG references_ = 1;
};
}  // namespace d3d8

class IDirect3DBaseTexture8 : public d3d8::RefCounted {};

class IDirect3DTexture8 : public IDirect3DBaseTexture8 {
 public:
  explicit IDirect3DTexture8(std::unique_ptr<d3d8::TextureData> data);
  ~IDirect3DTexture8() override;

  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
  HRESULT UnlockRect(UINT level);
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc);
  DWORD GetLevelCount();

  // Inside of platform/d3d8 only.
  d3d8::TextureData& data() { return *data_; }

 private:
  std::unique_ptr<d3d8::TextureData> data_;
};

class IDirect3DVertexBuffer8 : public d3d8::RefCounted {
 public:
  explicit IDirect3DVertexBuffer8(std::unique_ptr<d3d8::BufferData> data);
  ~IDirect3DVertexBuffer8() override;

  HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags);
  HRESULT Unlock();

  d3d8::BufferData& data() { return *data_; }

 private:
  std::unique_ptr<d3d8::BufferData> data_;
};

class IDirect3DIndexBuffer8 : public d3d8::RefCounted {
 public:
  explicit IDirect3DIndexBuffer8(std::unique_ptr<d3d8::BufferData> data);
  ~IDirect3DIndexBuffer8() override;

  HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags);
  HRESULT Unlock();

  d3d8::BufferData& data() { return *data_; }

 private:
  std::unique_ptr<d3d8::BufferData> data_;
};

class IDirect3DDevice8 : public d3d8::RefCounted {
 public:
  IDirect3DDevice8(HWND focus_window, const D3DPRESENT_PARAMETERS& parameters, const d3d8::TargetOptions& target);
  ~IDirect3DDevice8() override;

  HRESULT Clear(DWORD count, const void* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil);
  HRESULT BeginScene();
  HRESULT EndScene();
  HRESULT Present(const RECT* source, const RECT* dest, HWND override_window, const void* dirty);

  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value);
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value);
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture);
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture);
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix);
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix);

  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture8** texture);
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer8** buffer);
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer8** buffer);
  HRESULT UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* destination);

  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride);
  HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT base_vertex_index);
  HRESULT SetVertexShader(DWORD handle);
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count);
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count,
                               UINT start_index, UINT primitive_count);

  d3d8::DeviceState& state() { return *state_; }

 private:
  std::unique_ptr<d3d8::DeviceState> state_;
};

class IDirect3D8 : public d3d8::RefCounted {
 public:
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode);
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behaviour_flags,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice8** device);
};

// Null when no Direct3D runtime answers (only when a test asks for it here).
IDirect3D8* Direct3DCreate8(UINT sdk_version);

namespace d3d8 {

// The last presented picture (or the back buffer before the first Present),
// widened to 8 bits per channel, RGB order, width x height x 3 bytes: for
// tools and tests.
std::vector<uint8_t> read_back_buffer_rgb888(IDirect3DDevice8* device);

// How big and how deep the device really draws, whatever the program asks
// for: the back buffer and depth buffer are 640 * scale by 480 * scale, and
// the picture R5G6B5 (16) or X8R8G8B8 (32). Pre-transformed vertices and the
// viewport are scaled on the way in, so the program sees its 640x480 mode.
// Read when a device is created; the defaults draw the demo's own mode.
struct TargetOptions {
  int scale = 1;         // 1 to kMaxScale
  int colour_bits = 16;  // 16 or 32
};
constexpr int kMaxScale = 6;
extern TargetOptions target_options;

// The back buffer as a backend would be handed it (its pixels are the
// device's own, valid until the next draw, Clear or Release).
win32::Frame back_buffer_frame(IDirect3DDevice8* device);

// The back buffer itself, R5G6B5, row by row (empty on a 32-bit target).
const std::vector<uint16_t>& back_buffer_565(IDirect3DDevice8* device);

// Writes every pixel of the draws still waiting for the drawing threads
// (EndScene, Present, Clear and the reads above do it themselves).
void finish_drawing(IDirect3DDevice8* device);

// Failures a test can ask for, to reach the demo's error paths.
struct FaultInjection {
  bool fail_create_object = false;      // Direct3DCreate8 returns null
  bool fail_display_mode = false;       // GetAdapterDisplayMode fails
  bool fail_create_device = false;      // CreateDevice fails
  int fail_texture_after = -1;          // CreateTexture fails once this many succeeded
  int fail_vertex_buffer_after = -1;    // likewise CreateVertexBuffer
  bool fail_present = false;            // Present reports a lost device
};
extern FaultInjection faults;

// Switches of the software rasterizer. Tests and benchmarks write them; the
// rasterizer reads them at every draw call. The picture never depends on
// them: with fast_paths off every pixel goes through the reference path,
// which the fast paths must match byte for byte. max_simd caps the
// instruction set the fast paths use below what the process allows
// (cpu::simd_ceiling(): the CPU, and TUULI_SIMD), never above it.
// threads, when not 0, replaces the process's number of drawing threads
// (cpu::drawing_threads(): TUULI_THREADS or the cores).
struct RasterOptions {
  bool fast_paths = true;
  cpu::SimdLevel max_simd = cpu::SimdLevel::avx512;
  int threads = 0;
};
// The number of threads the next draw is shaded on.
int drawing_threads();
// The instruction set the next draw's fast paths use: scalar when there
// are none.
cpu::SimdLevel raster_simd_level();
extern RasterOptions raster_options;

// Triangles shaded by each path since the process started: written by the
// rasterizer, read by tests (to know a fast path was really taken) and
// benchmarks.
struct RasterCounters {
  uint64_t layer_triangles = 0;
  uint64_t simd_triangles = 0;
  uint64_t reference_triangles = 0;
  uint64_t narrow_triangles = 0;  // covered by the lane-per-column edge test
};
extern RasterCounters raster_counters;

}  // namespace d3d8
