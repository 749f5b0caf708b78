// One frame's drawing as the rasterizer received it, kept to be drawn again:
// the benchmarks replay what the demo draws in each timeline entry, so a
// change to any path shows on the demo's own work. Nothing else records.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "platform/d3d8/d3d8_local.h"

namespace d3d8 {

struct RecordedCall {
  enum Kind { kClear, kDraw, kDrawIndexed } kind = kClear;
  // Clear.
  DWORD clear_flags = 0;
  D3DCOLOR clear_colour = 0;
  float clear_z = 1.0f;
  // Draws: the states they read, and copies of what they read from buffers
  // and the stage-0 texture (an index into FrameRecording::textures, -1
  // for none).
  std::array<DWORD, kRenderStateCount> render_state{};
  std::array<std::array<DWORD, kStageStateCount>, kStageCount> stage_state{};
  D3DMATRIX world{}, view{}, projection{};
  int texture = -1;
  BufferData stream;
  UINT stream_stride = 0;
  BufferData indices;
  UINT base_vertex_index = 0;
  DWORD vertex_shader = 0;
  D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
  UINT arguments[4] = {0, 0, 0, 0};  // the draw call's, in order
};

template <class T>
struct ReleaseObject {
  void operator()(T* object) const { object->Release(); }
};
template <class T>
using Owned = std::unique_ptr<T, ReleaseObject<T>>;

struct FrameRecording {
  std::vector<RecordedCall> calls;
  std::vector<TextureData> textures;
  // Which texture object, at which generation, each copy was taken from.
  std::vector<std::pair<const void*, uint64_t>> texture_sources;
  // The copies as objects a device can draw from, one per texture and per
  // call (prepare_replay), so a replay itself copies nothing.
  std::vector<Owned<IDirect3DTexture8>> texture_objects;
  std::vector<Owned<IDirect3DVertexBuffer8>> streams;
  std::vector<Owned<IDirect3DIndexBuffer8>> index_buffers;
};

// While set, every Clear and draw call of any device is appended to it
// (copying what the draw reads). Set and read by one thread.
extern FrameRecording* draw_recording;

// Makes the recording's objects; then replay draws the recorded calls
// again on `device`, which must be in a scene, as often as asked.
void prepare_replay(FrameRecording& recording);
void replay(IDirect3DDevice8* device, const FrameRecording& recording);

// Called by the device's Clear and draw calls.
void record_clear(DWORD flags, D3DCOLOR colour, float z);
void record_draw(const DeviceState& state, bool indexed, D3DPRIMITIVETYPE type, std::initializer_list<UINT> arguments);

}  // namespace d3d8
