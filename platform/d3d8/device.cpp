// The device's API face: creation, state, resource creation, the frame
// bracket and presentation. Drawing itself is in the rasterizer (draw.h).
#if defined(TUULI_KERNELS_SSE2)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

#include "platform/d3d8/d3d8_local.h"
#include "platform/d3d8/draw.h"
#include "platform/d3d8/draw_queue.h"
#include "platform/d3d8/draw_recording.h"
#include "platform/d3d8/pixel_format.h"
#include "platform/win32/backend.h"

namespace d3d8 {

FaultInjection faults;

namespace {

// Larger textures than this are refused, as a real adapter of the time would.
constexpr UINT kMaxTextureSize = 4096;

// Clear runs every frame over both 600 KB buffers: sixteen bytes a store
// rather than the two a plain fill of uint16_t compiles to.
void fill16(uint16_t* p, size_t n, uint16_t value) {
  size_t i = 0;
#if defined(TUULI_KERNELS_SSE2)
  const __m128i v = _mm_set1_epi16(static_cast<int16_t>(value));
  for (; i + 8 <= n; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v);
#endif
  for (; i < n; ++i) p[i] = value;
}

D3DMATRIX identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

void set_defaults(DeviceState& s) {
  // Direct3D 8 defaults for a device with an automatic depth buffer.
  s.render_state[D3DRS_ZENABLE] = s.parameters.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  s.render_state[D3DRS_FILLMODE] = 3;   // D3DFILL_SOLID
  s.render_state[D3DRS_SHADEMODE] = 2;  // D3DSHADE_GOURAUD
  s.render_state[D3DRS_ZWRITEENABLE] = TRUE;
  s.render_state[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  s.render_state[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  s.render_state[D3DRS_CULLMODE] = D3DCULL_CCW;
  s.render_state[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  s.render_state[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  s.render_state[D3DRS_LIGHTING] = TRUE;
  s.render_state[D3DRS_COLORVERTEX] = TRUE;
  s.render_state[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  s.render_state[D3DRS_BLENDOP] = 1;  // D3DBLENDOP_ADD
  for (int stage = 0; stage < kStageCount; ++stage) {
    auto& t = s.stage_state[stage];
    t[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    t[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(stage);
    t[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
    t[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    t[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
  }
  s.world = s.view = s.projection = identity();
  const size_t pixels = static_cast<size_t>(s.width) * s.height;
  if (s.xrgb) {
    s.back_buffer_xrgb.assign(pixels, 0);
  } else {
    s.back_buffer.assign(pixels, 0);
  }
  s.depth_buffer.assign(pixels, 0xFFFF);
}

// Replaces a held reference, taking the new one first in case both are the same.
template <typename T>
void hold(T*& slot, T* object) {
  if (object != nullptr) object->AddRef();
  if (slot != nullptr) slot->Release();
  slot = object;
}

win32::Frame frame_of(const DeviceState& s) {
  if (s.xrgb) {
    return win32::Frame{s.back_buffer_xrgb.data(), s.width, s.height, s.width * 4, win32::PixelFormat::x8r8g8b8};
  }
  return win32::Frame{s.back_buffer.data(), s.width, s.height, s.width * 2, win32::PixelFormat::r5g6b5};
}

// Cleared pixels round like drawn ones, so a colour cleared and the same
// colour drawn are the same pixel.
uint16_t to_565(D3DCOLOR c) { return raster::pack565((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

}  // namespace

void copy_rows(const DeviceState& s, const win32::Frame& to, int row_begin, int row_end) {
  win32::copy_rows(frame_of(s), to, row_begin, row_end);
}

void clear_rows(DeviceState& s, DWORD flags, D3DCOLOR colour, float z, int row_begin, int row_end) {
  const size_t first = size_t(row_begin) * s.width, count = size_t(row_end - row_begin) * s.width;
  if (flags & D3DCLEAR_TARGET) {
    if (s.xrgb) {
      std::fill_n(s.back_buffer_xrgb.begin() + static_cast<std::ptrdiff_t>(first), count, colour & 0xFFFFFF);
    } else {
      fill16(s.back_buffer.data() + first, count, to_565(colour));
    }
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    float clamped = std::clamp(z, 0.0f, 1.0f);
    fill16(s.depth_buffer.data() + first, count, static_cast<uint16_t>(clamped * 65535.0f + 0.5f));
  }
}

std::vector<uint8_t> read_back_buffer_rgb888(IDirect3DDevice8* device) {
  const win32::Frame frame = back_buffer_frame(device);
  std::vector<uint8_t> rgb(static_cast<size_t>(frame.width) * frame.height * 3);
  win32::frame_to_rgb888(frame, rgb.data());
  return rgb;
}

const std::vector<uint16_t>& back_buffer_565(IDirect3DDevice8* device) {
  finish_queued_draws(device->state());
  return device->state().back_buffer;
}

TargetOptions target_options;

win32::Frame back_buffer_frame(IDirect3DDevice8* device) {
  finish_queued_draws(device->state());
  return frame_of(device->state());
}

void finish_drawing(IDirect3DDevice8* device) { finish_queued_draws(device->state()); }

}  // namespace d3d8

using d3d8::DeviceState;

IDirect3D8* Direct3DCreate8(UINT sdk_version) {
  if (d3d8::faults.fail_create_object || sdk_version != D3D_SDK_VERSION) return nullptr;
  return new IDirect3D8();
}

HRESULT IDirect3D8::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
  if (adapter != D3DADAPTER_DEFAULT || mode == nullptr) return D3DERR_INVALIDCALL;
  if (d3d8::faults.fail_display_mode) return D3DERR_NOTAVAILABLE;
  *mode = D3DDISPLAYMODE{640, 480, 60, D3DFMT_R5G6B5};
  return D3D_OK;
}

HRESULT IDirect3D8::CreateDevice(UINT adapter, D3DDEVTYPE /*type*/, HWND focus_window,
                                 DWORD /*behaviour_flags*/, D3DPRESENT_PARAMETERS* parameters,
                                 IDirect3DDevice8** device) {
  if (device == nullptr || parameters == nullptr || adapter != D3DADAPTER_DEFAULT) {
    return D3DERR_INVALIDCALL;
  }
  *device = nullptr;
  // The only mode this adapter offers is the one the demo asks for.
  if (parameters->BackBufferWidth != static_cast<UINT>(d3d8::kBackBufferWidth) ||
      parameters->BackBufferHeight != static_cast<UINT>(d3d8::kBackBufferHeight) ||
      parameters->BackBufferFormat != D3DFMT_R5G6B5 ||
      (parameters->EnableAutoDepthStencil && parameters->AutoDepthStencilFormat != D3DFMT_D16)) {
    return D3DERR_NOTAVAILABLE;
  }
  if (d3d8::faults.fail_create_device) return D3DERR_NOTAVAILABLE;
  const d3d8::TargetOptions target = d3d8::target_options;
  if (target.scale < 1 || target.scale > d3d8::kMaxScale || (target.colour_bits != 16 && target.colour_bits != 32)) {
    return D3DERR_NOTAVAILABLE;
  }
  if (!win32::backend().open_display(d3d8::kBackBufferWidth * target.scale, d3d8::kBackBufferHeight * target.scale)) {
    return D3DERR_NOTAVAILABLE;
  }
  *device = new IDirect3DDevice8(focus_window, *parameters, target);
  return D3D_OK;
}

IDirect3DDevice8::IDirect3DDevice8(HWND focus_window, const D3DPRESENT_PARAMETERS& parameters,
                                   const d3d8::TargetOptions& target)
    : state_(std::make_unique<DeviceState>()) {
  state_->focus_window = focus_window;
  state_->parameters = parameters;
  state_->scale = target.scale;
  state_->width = d3d8::kBackBufferWidth * target.scale;
  state_->height = d3d8::kBackBufferHeight * target.scale;
  state_->xrgb = target.colour_bits == 32;
  d3d8::set_defaults(*state_);
}

IDirect3DDevice8::~IDirect3DDevice8() {
  d3d8::finish_queued_draws(*state_);
  for (auto*& t : state_->textures) d3d8::hold<IDirect3DBaseTexture8>(t, nullptr);
  d3d8::hold<IDirect3DVertexBuffer8>(state_->stream_source, nullptr);
  d3d8::hold<IDirect3DIndexBuffer8>(state_->indices, nullptr);
  win32::backend().close_display();
}

HRESULT IDirect3DDevice8::Clear(DWORD count, const void* rects, DWORD flags, D3DCOLOR colour,
                                float z, DWORD /*stencil*/) {
  // Clearing parts of the target is not needed by anything here.
  if (count != 0 || rects != nullptr) return D3DERR_INVALIDCALL;
  d3d8::record_clear(flags, colour, z);
  // With several drawing threads the clear waits its turn among the draws
  // and each thread clears its own rows.
  if (d3d8::drawing_threads() > 1) {
    d3d8::queue_clear(*state_, flags, colour, z);
    return D3D_OK;
  }
  d3d8::finish_queued_draws(*state_);
  d3d8::clear_rows(*state_, flags, colour, z, 0, state_->height);
  return D3D_OK;
}

HRESULT IDirect3DDevice8::BeginScene() {
  if (state_->in_scene) return D3DERR_INVALIDCALL;
  state_->in_scene = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice8::EndScene() {
  if (!state_->in_scene) return D3DERR_INVALIDCALL;
  state_->in_scene = false;
  // A backend that lends a buffer has the picture finished into it at Present.
  if (!win32::backend().lends_present_buffers()) d3d8::finish_queued_draws(*state_);
  return D3D_OK;
}

HRESULT IDirect3DDevice8::Present(const RECT*, const RECT*, HWND, const void*) {
  if (state_->in_scene) return D3DERR_INVALIDCALL;
  if (d3d8::faults.fail_present) return D3DERR_DEVICELOST;
  const win32::Frame frame = d3d8::frame_of(*state_);
  win32::Frame lent;
  if (!win32::backend().lend_present_buffer(frame, lent)) {
    d3d8::finish_queued_draws(*state_);
    lent = frame;
  } else if (!d3d8::finish_queued_draws(*state_, &lent)) {
    d3d8::copy_rows(*state_, lent, 0, frame.height);
  }
  bool shown = win32::backend().present(lent);
  win32::backend().yield_to_host();
  return shown ? D3D_OK : D3DERR_DEVICELOST;
}

HRESULT IDirect3DDevice8::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= d3d8::kRenderStateCount) return D3DERR_INVALIDCALL;
  state_->render_state[state] = value;
  return D3D_OK;
}

HRESULT IDirect3DDevice8::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state >= d3d8::kRenderStateCount || value == nullptr) return D3DERR_INVALIDCALL;
  *value = state_->render_state[state];
  return D3D_OK;
}

HRESULT IDirect3DDevice8::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                               DWORD value) {
  if (stage >= d3d8::kStageCount || type >= d3d8::kStageStateCount) return D3DERR_INVALIDCALL;
  state_->stage_state[stage][type] = value;
  return D3D_OK;
}

HRESULT IDirect3DDevice8::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                               DWORD* value) {
  if (stage >= d3d8::kStageCount || type >= d3d8::kStageStateCount || value == nullptr) {
    return D3DERR_INVALIDCALL;
  }
  *value = state_->stage_state[stage][type];
  return D3D_OK;
}

HRESULT IDirect3DDevice8::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
  if (stage >= d3d8::kStageCount) return D3DERR_INVALIDCALL;
  d3d8::hold(state_->textures[stage], texture);
  return D3D_OK;
}

HRESULT IDirect3DDevice8::GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) {
  if (stage >= d3d8::kStageCount || texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = state_->textures[stage];
  if (*texture != nullptr) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT IDirect3DDevice8::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (matrix == nullptr) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD: state_->world = *matrix; return D3D_OK;
    case D3DTS_VIEW: state_->view = *matrix; return D3D_OK;
    case D3DTS_PROJECTION: state_->projection = *matrix; return D3D_OK;
  }
  return D3DERR_INVALIDCALL;
}

HRESULT IDirect3DDevice8::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (matrix == nullptr) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD: *matrix = state_->world; return D3D_OK;
    case D3DTS_VIEW: *matrix = state_->view; return D3D_OK;
    case D3DTS_PROJECTION: *matrix = state_->projection; return D3D_OK;
  }
  return D3DERR_INVALIDCALL;
}

HRESULT IDirect3DDevice8::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                        D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DTexture8** texture) {
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (width == 0 || height == 0 || width > d3d8::kMaxTextureSize ||
      height > d3d8::kMaxTextureSize) {
    return D3DERR_INVALIDCALL;
  }
  int texel = d3d8::bytes_per_texel(format);
  if (texel == 0 || format == D3DFMT_D16 || format == D3DFMT_R8G8B8) {
    return D3DERR_WRONGTEXTUREFORMAT;
  }
  if (d3d8::faults.fail_texture_after == 0) return D3DERR_OUTOFVIDEOMEMORY;
  if (d3d8::faults.fail_texture_after > 0) --d3d8::faults.fail_texture_after;
  // Levels 0 means the whole chain down to 1x1.
  UINT full_chain = 1;
  for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) {
    ++full_chain;
  }
  if (levels == 0 || levels > full_chain) levels = full_chain;
  auto data = std::make_unique<d3d8::TextureData>();
  data->format = format;
  data->pool = pool;
  data->usage = usage;
  UINT w = width, h = height;
  for (UINT i = 0; i < levels; ++i) {
    d3d8::TextureLevel level;
    level.width = static_cast<int>(w);
    level.height = static_cast<int>(h);
    level.pitch_bytes = static_cast<int>(w) * texel;
    level.bytes.assign(static_cast<size_t>(level.pitch_bytes) * h, 0);
    data->levels.push_back(std::move(level));
    w = std::max(1u, w / 2);
    h = std::max(1u, h / 2);
  }
  *texture = new IDirect3DTexture8(std::move(data));
  return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                             IDirect3DVertexBuffer8** buffer) {
  if (buffer == nullptr) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0) return D3DERR_INVALIDCALL;
  if (d3d8::faults.fail_vertex_buffer_after == 0) return D3DERR_OUTOFVIDEOMEMORY;
  if (d3d8::faults.fail_vertex_buffer_after > 0) --d3d8::faults.fail_vertex_buffer_after;
  auto data = std::make_unique<d3d8::BufferData>();
  data->usage = usage;
  data->fvf = fvf;
  data->pool = pool;
  data->bytes.assign(length, 0);
  *buffer = new IDirect3DVertexBuffer8(std::move(data));
  return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DIndexBuffer8** buffer) {
  if (buffer == nullptr) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
    return D3DERR_INVALIDCALL;
  }
  auto data = std::make_unique<d3d8::BufferData>();
  data->usage = usage;
  data->format = format;
  data->pool = pool;
  data->bytes.assign(length, 0);
  *buffer = new IDirect3DIndexBuffer8(std::move(data));
  return D3D_OK;
}

HRESULT IDirect3DDevice8::UpdateTexture(IDirect3DBaseTexture8* source,
                                        IDirect3DBaseTexture8* destination) {
  auto* src = dynamic_cast<IDirect3DTexture8*>(source);
  auto* dst = dynamic_cast<IDirect3DTexture8*>(destination);
  if (src == nullptr || dst == nullptr) return D3DERR_INVALIDCALL;
  d3d8::TextureData& s = src->data();
  d3d8::TextureData& d = dst->data();
  // As in Direct3D 8: system memory to default pool, same format, and the
  // source has at least as many levels as the destination, of the same sizes.
  if (s.pool != D3DPOOL_SYSTEMMEM || d.pool != D3DPOOL_DEFAULT || s.format != d.format ||
      s.levels.size() < d.levels.size()) {
    return D3DERR_INVALIDCALL;
  }
  size_t skip = s.levels.size() - d.levels.size();
  for (size_t i = 0; i < d.levels.size(); ++i) {
    const d3d8::TextureLevel& from = s.levels[i + skip];
    d3d8::TextureLevel& to = d.levels[i];
    if (from.width != to.width || from.height != to.height || from.locked || to.locked) {
      return D3DERR_INVALIDCALL;
    }
  }
  for (size_t i = 0; i < d.levels.size(); ++i) d.levels[i].bytes = s.levels[i + skip].bytes;
  ++d.generation;
  return D3D_OK;
}

HRESULT IDirect3DDevice8::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer,
                                          UINT stride) {
  if (stream != 0) return D3DERR_INVALIDCALL;
  d3d8::hold(state_->stream_source, buffer);
  state_->stream_stride = stride;
  return D3D_OK;
}

HRESULT IDirect3DDevice8::SetIndices(IDirect3DIndexBuffer8* buffer, UINT base_vertex_index) {
  d3d8::hold(state_->indices, buffer);
  state_->base_vertex_index = base_vertex_index;
  return D3D_OK;
}

HRESULT IDirect3DDevice8::SetVertexShader(DWORD handle) {
  state_->vertex_shader = handle;
  return D3D_OK;
}

HRESULT IDirect3DDevice8::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex,
                                        UINT primitive_count) {
  if (!state_->in_scene) return D3DERR_INVALIDCALL;
  d3d8::record_draw(*state_, false, type, {start_vertex, primitive_count});
  return d3d8::draw_primitive(*state_, type, start_vertex, primitive_count);
}

HRESULT IDirect3DDevice8::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT min_index,
                                               UINT vertex_count, UINT start_index,
                                               UINT primitive_count) {
  if (!state_->in_scene) return D3DERR_INVALIDCALL;
  d3d8::record_draw(*state_, true, type, {min_index, vertex_count, start_index, primitive_count});
  return d3d8::draw_indexed_primitive(*state_, type, min_index, vertex_count, start_index,
                                      primitive_count);
}
