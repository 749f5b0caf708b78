// Draw calls: argument checks against the bound buffers, the vertex stage
// and primitive assembly; then clipping, setup and shading
// (triangle_drawer.h, triangle_shader.h). With one drawing thread every
// pixel is written before the call returns; with more, the draw waits in
// the device's queue (draw_queue.h). Either way nothing changed after the
// call (a buffer, a texture) can reach its pixels: the vertices are
// processed and the triangles assembled at once, and a waiting draw holds
// its texture and the texels it reads.
#include "platform/d3d8/draw.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/d3d8/draw_queue.h"
#include "platform/d3d8/kernels.h"
#include "platform/d3d8/pixel_pipeline.h"
#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/texture_sampler.h"
#include "platform/d3d8/triangle.h"
#include "platform/d3d8/triangle_drawer.h"
#include "platform/d3d8/triangle_shader.h"
#include "platform/d3d8/vertex_processing.h"

namespace d3d8 {

RasterOptions raster_options;
RasterCounters raster_counters;

int drawing_threads() {
  return raster_options.threads > 0 ? std::min(raster_options.threads, 64) : cpu::drawing_threads();
}

cpu::SimdLevel raster_simd_level() {
  return raster::kernels_for(std::min(raster_options.max_simd, cpu::simd_ceiling())).level;
}

namespace {

using raster::ProcessedVertex;

// The draw being shaded at once, with one drawing thread. Written and read
// only by the draw functions below, on the thread that draws; kept between
// draws so a frame allocates nothing once it has warmed up.
raster::AssembledDraw assembled_now;

raster::DrawStates read_states(DeviceState& s) {
  raster::DrawStates d;
  d.target = raster::TargetSize{s.width, s.height, s.scale};
  const auto& rs = s.render_state;
  const auto& stage = s.stage_state[0];
  d.z_enable = rs[D3DRS_ZENABLE] != D3DZB_FALSE;
  d.z_write = rs[D3DRS_ZWRITEENABLE] != FALSE;
  d.z_func = rs[D3DRS_ZFUNC];
  d.z_bias = std::min(rs[D3DRS_ZBIAS], raster::kMaxZBias);
  d.cull = rs[D3DRS_CULLMODE];
  d.blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
  d.src_blend = rs[D3DRS_SRCBLEND];
  d.dest_blend = rs[D3DRS_DESTBLEND];
  d.alpha_test = rs[D3DRS_ALPHATESTENABLE] != FALSE;
  d.alpha_func = rs[D3DRS_ALPHAFUNC];
  d.alpha_ref = rs[D3DRS_ALPHAREF];
  d.texture_factor = rs[D3DRS_TEXTUREFACTOR];
  d.flat_shade = rs[D3DRS_SHADEMODE] == 1;  // D3DSHADE_FLAT
  d.colour_op = stage[D3DTSS_COLOROP];
  d.colour_arg1 = stage[D3DTSS_COLORARG1];
  d.colour_arg2 = stage[D3DTSS_COLORARG2];
  d.alpha_op = stage[D3DTSS_ALPHAOP];
  d.alpha_arg1 = stage[D3DTSS_ALPHAARG1];
  d.alpha_arg2 = stage[D3DTSS_ALPHAARG2];
  d.min_filter = stage[D3DTSS_MINFILTER];
  d.mag_filter = stage[D3DTSS_MAGFILTER];
  d.address_u = stage[D3DTSS_ADDRESSU];
  d.address_v = stage[D3DTSS_ADDRESSV];
  // Stage 0 disabled passes the diffuse colour: as if no texture were bound.
  if (d.colour_op != D3DTOP_DISABLE) {
    if (auto* texture = dynamic_cast<IDirect3DTexture8*>(s.textures[0])) {
      // Waiting draws (of any device) read the copy a fresh widening would
      // overwrite: they keep it, and the widening goes elsewhere.
      if (raster::prepare_rewrites(texture->data())) keep_texels_for_waiting_draws(texture->data());
      d.texture = raster::prepare_texture(texture->data());
    }
  }
  d.kernels = &raster::kernels_for(std::min(raster_options.max_simd, cpu::simd_ceiling()));
  // Each fast path says for itself whether it draws into a 32-bit target
  // (TriangleShader).
  d.fast_paths = raster_options.fast_paths && d.kernels->level != cpu::SimdLevel::scalar;
  return d;
}

// Shades set-up triangles as they come, on the calling thread.
struct ShadeAtOnce {
  raster::TriangleShader& shader;
  RasterCounters counted;
  raster::Triangle triangle;
  bool reaches(const raster::ScreenVertex&, const raster::ScreenVertex&, const raster::ScreenVertex&) {
    return true;
  }
  raster::Triangle& next() { return triangle; }
  void keep() { raster::count(counted, shader.shade(triangle)); }
};

// The bound stream, checked: its layout, and how many whole vertices it holds.
struct Stream {
  const uint8_t* bytes = nullptr;
  uint32_t stride = 0;
  uint64_t vertex_count = 0;
  raster::VertexFormat format;
};

bool bound_stream(const DeviceState& s, Stream& out) {
  const size_t pixels = size_t(s.width) * s.height;
  if (s.stream_source == nullptr || (s.xrgb ? s.back_buffer_xrgb.size() : s.back_buffer.size()) != pixels ||
      s.depth_buffer.size() != pixels) {
    return false;
  }
  if (!raster::parse_fvf(s.vertex_shader, out.format)) return false;
  if (s.stream_stride == 0 || s.stream_stride < out.format.size_bytes) return false;
  const BufferData& data = s.stream_source->data();
  out.bytes = data.bytes.data();
  out.stride = s.stream_stride;
  // A last vertex that only partly fits is not a vertex.
  const uint64_t size = data.bytes.size();
  out.vertex_count = size >= out.format.size_bytes ? (size - out.format.size_bytes) / out.stride + 1 : 0;
  return true;
}

// Vertices per primitive count, for the primitive types drawn here; 0 for
// the others.
uint64_t vertices_for(D3DPRIMITIVETYPE type, UINT primitive_count) {
  switch (type) {
    case D3DPT_TRIANGLELIST: return uint64_t{primitive_count} * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return uint64_t{primitive_count} + 2;
    default: return 0;
  }
}

// The three vertex numbers (into the primitive's own vertex sequence) of
// primitive i. Strips reverse every second triangle so all keep the winding
// of the first, as Direct3D does.
void primitive_corners(D3DPRIMITIVETYPE type, uint64_t i, uint64_t (&corner)[3]) {
  switch (type) {
    case D3DPT_TRIANGLELIST: corner[0] = 3 * i, corner[1] = 3 * i + 1, corner[2] = 3 * i + 2; break;
    case D3DPT_TRIANGLESTRIP:
      if (i % 2 == 0) {
        corner[0] = i, corner[1] = i + 1, corner[2] = i + 2;
      } else {
        corner[0] = i + 1, corner[1] = i, corner[2] = i + 2;
      }
      break;
    default: corner[0] = i + 1, corner[1] = i + 2, corner[2] = 0; break;  // fan
  }
}

// Builds a draw: vertices [first, first + count) of the stream (checked by
// the caller) processed into it, and its `triangles` triangles assembled by
// corners_of(i, out), which writes triangle i's three vertex numbers, or
// says false for one to leave out. A queued draw with many vertices is
// built by the drawing threads too: until it is, the bands have nothing to
// shade.
template <class Corners>
void build_draw(DeviceState& s, const Stream& stream, uint64_t first, uint64_t count, uint64_t triangles,
                raster::AssembledDraw& draw, Corners&& corners_of) {
  const raster::Transform transform =
      raster::combined_transform(s.world, s.view, s.projection, raster::TargetSize{s.width, s.height, s.scale});
  std::vector<ProcessedVertex>& out = draw.vertices;
  out.resize(count);
  const bool queued = &draw != &assembled_now;
  if (queued) draw.rows.resize(count);
  draw.corners.resize(3 * triangles);
  // No vertex number is this large: a vertex count is 32 bits.
  constexpr uint32_t kLeftOut = UINT32_MAX;
  std::atomic<bool> left_out{false};
  // Items [0, count) are the vertices, the rest the triangles.
  auto build = [&](size_t begin, size_t end) {
    for (size_t i = begin; i < std::min<size_t>(end, count); ++i) {
      raster::process_vertex(stream.bytes + (first + i) * stream.stride, stream.format, transform, out[i]);
      if (queued) draw.rows[i] = raster::row_of(out[i]);
    }
    bool left = false;
    for (size_t i = std::max<size_t>(begin, count); i < end; ++i) {
      uint32_t* corners = draw.corners.data() + 3 * (i - count);
      if (!corners_of(i - count, corners)) corners[0] = kLeftOut, left = true;
    }
    if (left) left_out.store(true, std::memory_order_relaxed);
  };
  constexpr uint64_t kSharedVertices = 2048;
  if (queued && count >= kSharedVertices) {
    share_out(s, count + triangles, build);
  } else {
    build(0, count + triangles);
  }
  if (!left_out.load(std::memory_order_relaxed)) return;
  uint32_t* kept = draw.corners.data();
  for (const uint32_t* c = kept; c != draw.corners.data() + draw.corners.size(); c += 3) {
    if (c[0] != kLeftOut) kept = std::copy(c, c + 3, kept);
  }
  draw.corners.resize(size_t(kept - draw.corners.data()));
}

// Where a draw's vertices and triangles go: the device's queue when
// several threads draw, else the one draw being shaded at once.
raster::AssembledDraw& assembly_for(DeviceState& s, const raster::DrawStates& states) {
  if (drawing_threads() > 1) {
    return queue_draw(s, states, states.texture.texels != nullptr ? s.textures[0] : nullptr);
  }
  // Draws queued before the count of threads went down come first, and
  // no device's drawing threads run beside this one.
  finish_waiting_draws();
  // The vertices are not cleared: resizing to the same size then costs
  // nothing, and process_vertex writes every field.
  assembled_now.corners.clear();
  return assembled_now;
}

// Hands a queued draw to the drawing threads, or shades one that is not
// queued at once: every pixel is written when it returns.
void hand_over(DeviceState& s, const raster::DrawStates& states, const raster::AssembledDraw& draw) {
  if (&draw != &assembled_now) {
    publish_queued_draw(s);
    return;
  }
  raster::prepare_scratch(s, 1);
  raster::TriangleShader shader(s, states, 0);
  ShadeAtOnce sink{shader, {}, {}};
  raster::TriangleDrawer<ShadeAtOnce> drawer(states, sink);
  drawer.draw(draw, 0, draw.triangles());
  shader.finish_deferred();
  raster::add_counters(sink.counted);
}

}  // namespace

HRESULT draw_primitive(DeviceState& s, D3DPRIMITIVETYPE type, UINT start_vertex,
                       UINT primitive_count) {
  Stream stream;
  if (!bound_stream(s, stream)) return D3DERR_INVALIDCALL;
  const uint64_t needed = vertices_for(type, primitive_count);
  if (needed == 0 && primitive_count != 0) return D3DERR_INVALIDCALL;  // points, lines
  if (primitive_count == 0) return D3D_OK;
  if (uint64_t{start_vertex} + needed > stream.vertex_count) return D3DERR_INVALIDCALL;

  const raster::DrawStates states = read_states(s);
  raster::AssembledDraw& draw = assembly_for(s, states);
  build_draw(s, stream, start_vertex, needed, primitive_count, draw, [&](uint64_t i, uint32_t* out) {
    uint64_t corner[3];
    primitive_corners(type, i, corner);
    for (int k = 0; k < 3; ++k) out[k] = static_cast<uint32_t>(corner[k]);
    return true;
  });
  hand_over(s, states, draw);
  return D3D_OK;
}

HRESULT draw_indexed_primitive(DeviceState& s, D3DPRIMITIVETYPE type, UINT min_index,
                               UINT vertex_count, UINT start_index, UINT primitive_count) {
  Stream stream;
  if (!bound_stream(s, stream) || s.indices == nullptr) return D3DERR_INVALIDCALL;
  const BufferData& index_data = s.indices->data();
  const uint32_t index_bytes = index_data.format == D3DFMT_INDEX32 ? 4 : 2;
  const uint64_t needed = vertices_for(type, primitive_count);
  if (needed == 0 && primitive_count != 0) return D3DERR_INVALIDCALL;
  if (primitive_count == 0) return D3D_OK;
  if (uint64_t{start_index} + needed > index_data.bytes.size() / index_bytes) {
    return D3DERR_INVALIDCALL;
  }
  // The vertex range the call declares must lie in the buffer; an index
  // outside it is skipped with its triangle.
  const uint64_t first = uint64_t{s.base_vertex_index} + min_index;
  if (first + vertex_count > stream.vertex_count) return D3DERR_INVALIDCALL;

  const raster::DrawStates states = read_states(s);
  raster::AssembledDraw& draw = assembly_for(s, states);
  const uint8_t* indices = index_data.bytes.data() + uint64_t{start_index} * index_bytes;
  // The vertex number of index n, or -1 for an index outside the range.
  auto vertex_at = [&](uint64_t n) -> int64_t {
    uint32_t index;
    if (index_bytes == 2) {
      index = uint32_t{indices[2 * n]} | uint32_t{indices[2 * n + 1]} << 8;
    } else {
      index = uint32_t{indices[4 * n]} | uint32_t{indices[4 * n + 1]} << 8 |
              uint32_t{indices[4 * n + 2]} << 16 | uint32_t{indices[4 * n + 3]} << 24;
    }
    if (index < min_index || uint64_t{index} - min_index >= vertex_count) return -1;
    return int64_t{index} - min_index;
  };
  build_draw(s, stream, first, vertex_count, primitive_count, draw, [&](uint64_t i, uint32_t* out) {
    uint64_t corner[3];
    primitive_corners(type, i, corner);
    const int64_t a = vertex_at(corner[0]), b = vertex_at(corner[1]), c = vertex_at(corner[2]);
    if (a < 0 || b < 0 || c < 0) return false;
    out[0] = uint32_t(a), out[1] = uint32_t(b), out[2] = uint32_t(c);
    return true;
  });
  hand_over(s, states, draw);
  return D3D_OK;
}

}  // namespace d3d8
