// Recording and replaying a frame's draws (draw_recording.h).
#include "platform/d3d8/draw_recording.h"

#include <memory>

#include "platform/d3d8/draw.h"

namespace d3d8 {

FrameRecording* draw_recording = nullptr;

namespace {

int texture_copy(FrameRecording& r, IDirect3DBaseTexture8* base) {
  auto* texture = dynamic_cast<IDirect3DTexture8*>(base);
  if (texture == nullptr) return -1;
  const TextureData& data = texture->data();
  for (size_t i = 0; i < r.texture_sources.size(); ++i) {
    if (r.texture_sources[i] == std::make_pair<const void*, uint64_t>(texture, uint64_t{data.generation})) {
      return static_cast<int>(i);
    }
  }
  TextureData copy;
  copy.format = data.format;
  copy.pool = data.pool;
  copy.usage = data.usage;
  copy.levels = data.levels;
  r.textures.push_back(std::move(copy));
  r.texture_sources.emplace_back(texture, data.generation);
  return static_cast<int>(r.textures.size() - 1);
}

}  // namespace

void record_clear(DWORD flags, D3DCOLOR colour, float z) {
  if (draw_recording == nullptr) return;
  RecordedCall call;
  call.kind = RecordedCall::kClear;
  call.clear_flags = flags;
  call.clear_colour = colour;
  call.clear_z = z;
  draw_recording->calls.push_back(std::move(call));
}

void record_draw(const DeviceState& s, bool indexed, D3DPRIMITIVETYPE type, std::initializer_list<UINT> arguments) {
  if (draw_recording == nullptr) return;
  RecordedCall call;
  call.kind = indexed ? RecordedCall::kDrawIndexed : RecordedCall::kDraw;
  call.render_state = s.render_state;
  call.stage_state = s.stage_state;
  call.world = s.world, call.view = s.view, call.projection = s.projection;
  call.texture = texture_copy(*draw_recording, s.textures[0]);
  if (s.stream_source != nullptr) call.stream = s.stream_source->data();
  call.stream_stride = s.stream_stride;
  if (indexed && s.indices != nullptr) call.indices = s.indices->data();
  call.base_vertex_index = s.base_vertex_index;
  call.vertex_shader = s.vertex_shader;
  call.type = type;
  int n = 0;
  for (UINT a : arguments) call.arguments[n++] = a;
  draw_recording->calls.push_back(std::move(call));
}

void prepare_replay(FrameRecording& r) {
  r.texture_objects.clear();
  r.streams.clear();
  r.index_buffers.clear();
  for (const TextureData& data : r.textures) {
    r.texture_objects.emplace_back(new IDirect3DTexture8(std::make_unique<TextureData>(data)));
  }
  for (const RecordedCall& call : r.calls) {
    r.streams.emplace_back(new IDirect3DVertexBuffer8(std::make_unique<BufferData>(call.stream)));
    r.index_buffers.emplace_back(new IDirect3DIndexBuffer8(std::make_unique<BufferData>(call.indices)));
  }
}

void replay(IDirect3DDevice8* device, const FrameRecording& r) {
  DeviceState& s = device->state();
  for (size_t n = 0; n < r.calls.size(); ++n) {
    const RecordedCall& call = r.calls[n];
    if (call.kind == RecordedCall::kClear) {
      device->Clear(0, nullptr, call.clear_flags, call.clear_colour, call.clear_z, 0);
      continue;
    }
    s.render_state = call.render_state;
    s.stage_state = call.stage_state;
    s.world = call.world, s.view = call.view, s.projection = call.projection;
    device->SetTexture(0, call.texture >= 0 ? r.texture_objects[call.texture].get() : nullptr);
    device->SetStreamSource(0, r.streams[n].get(), call.stream_stride);
    device->SetIndices(r.index_buffers[n].get(), call.base_vertex_index);
    device->SetVertexShader(call.vertex_shader);
    const UINT* a = call.arguments;
    if (call.kind == RecordedCall::kDraw) {
      device->DrawPrimitive(call.type, a[0], a[1]);
    } else {
      device->DrawIndexedPrimitive(call.type, a[0], a[1], a[2], a[3]);
    }
  }
  device->SetTexture(0, nullptr);
  device->SetStreamSource(0, nullptr, 0);
  device->SetIndices(nullptr, 0);
}

}  // namespace d3d8
