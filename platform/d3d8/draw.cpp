// Draw calls: argument checks against the bound buffers, the vertex stage,
// primitive assembly, clipping, and handing each triangle to setup and a
// shading path. With one drawing thread every pixel is written before the
// call returns; with more, the set-up triangles wait in the device's queue
// (draw_queue.h). Either way nothing changed after the call (a buffer, a
// texture) can reach its pixels: vertices are processed and set up at once,
// and a waiting draw holds its texture and the texels it reads.
#include "platform/d3d8/draw.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/d3d8/clipper.h"
#include "platform/d3d8/draw_queue.h"
#include "platform/d3d8/kernels.h"
#include "platform/d3d8/pixel_pipeline.h"
#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/texture_sampler.h"
#include "platform/d3d8/triangle.h"
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

using raster::ClipVertex;
using raster::ProcessedVertex;
using raster::ScreenVertex;

// Processed vertices of the current draw. Written and read only by the draw
// functions below, on the thread that draws; kept between draws so a frame
// allocates nothing once it has warmed up.
std::vector<ProcessedVertex> processed_vertices;

raster::DrawStates read_states(DeviceState& s) {
  raster::DrawStates d;
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
      // Waiting draws read the copy a fresh widening would overwrite.
      if (has_queued_draws(s) && raster::prepare_rewrites(texture->data())) finish_queued_draws(s);
      d.texture = raster::prepare_texture(texture->data());
    }
  }
  d.kernels = &raster::kernels_for(std::min(raster_options.max_simd, cpu::simd_ceiling()));
  d.fast_paths = raster_options.fast_paths && d.kernels->level != cpu::SimdLevel::scalar;
  return d;
}

// Clips and sets up a draw's triangles. With one drawing thread each is
// shaded at once; with more they join the device's queue.
class TriangleDrawer {
 public:
  TriangleDrawer(DeviceState& device, const raster::DrawStates& states)
      : states_(states), queued_(drawing_threads() > 1) {
    if (queued_) {
      queue_ = &queue_draw(device, states, states.texture.texels != nullptr ? device.textures[0] : nullptr);
    } else {
      // Draws queued before the count of threads went down come first.
      finish_queued_draws(device);
      raster::prepare_scratch(device, 1);
      shader_.emplace(device, states, 0);
    }
  }
  TriangleDrawer(const TriangleDrawer&) = delete;
  TriangleDrawer& operator=(const TriangleDrawer&) = delete;

  // A draw shaded at once has all its pixels written when this returns.
  void finish() {
    if (shader_) {
      shader_->finish_deferred();
      raster::add_counters(counted_);
    }
  }

  void draw(const ProcessedVertex& a, const ProcessedVertex& b, const ProcessedVertex& c) {
    if (!a.valid || !b.valid || !c.valid) return;
    if ((a.outcode | b.outcode | c.outcode) == 0) {
      draw_screen(a.screen, b.screen, c.screen);
      return;
    }
    if (a.outcode & b.outcode & c.outcode) return;  // wholly beyond one plane
    const ClipVertex in[3] = {a.clip, b.clip, c.clip};
    ClipVertex clipped[raster::kMaxPolygon];
    const int n = raster::clip_homogeneous(in, clipped);
    ScreenVertex polygon[raster::kMaxPolygon];
    for (int i = 0; i < n; ++i) raster::project(clipped[i], polygon[i]);
    draw_polygon(polygon, n);
  }

 private:
  void draw_screen(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    if (a.in_guard_band && b.in_guard_band && c.in_guard_band) {
      rasterize(a, b, c);
      return;
    }
    const ScreenVertex polygon[3] = {a, b, c};
    draw_polygon(polygon, 3);
  }

  // A convex polygon in screen space, possibly reaching past the guard band.
  void draw_polygon(const ScreenVertex* polygon, int n) {
    bool inside = true;
    for (int i = 0; i < n; ++i) inside = inside && raster::inside_guard_band(polygon[i]);
    ScreenVertex clipped[raster::kMaxPolygon];
    if (!inside) {
      n = raster::clip_guard_band(polygon, n, clipped);
      polygon = clipped;
    }
    for (int i = 1; i + 1 < n; ++i) rasterize(polygon[0], polygon[i], polygon[i + 1]);
  }

  void rasterize(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    if (!raster::setup_triangle(a, b, c, states_, triangle_)) return;
    if (queued_) {
      queue_->add(triangle_);
    } else {
      raster::count(counted_, shader_->shade(triangle_));
    }
  }

  const raster::DrawStates& states_;
  const bool queued_;
  raster::DrawQueue* queue_ = nullptr;
  std::optional<raster::TriangleShader> shader_;
  RasterCounters counted_;
  raster::Triangle triangle_;
};

// The bound stream, checked: its layout, and how many whole vertices it holds.
struct Stream {
  const uint8_t* bytes = nullptr;
  uint32_t stride = 0;
  uint64_t vertex_count = 0;
  raster::VertexFormat format;
};

bool bound_stream(const DeviceState& s, Stream& out) {
  if (s.stream_source == nullptr || s.back_buffer.size() != size_t(kBackBufferWidth) * kBackBufferHeight ||
      s.depth_buffer.size() != s.back_buffer.size()) {
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

// Processes vertices [first, first + count) of the stream (checked by the
// caller) into processed_vertices.
void process_range(const DeviceState& s, const Stream& stream, uint64_t first, uint64_t count) {
  const raster::Transform transform = raster::combined_transform(s.world, s.view, s.projection);
  processed_vertices.resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    raster::process_vertex(stream.bytes + (first + i) * stream.stride, stream.format, transform,
                           processed_vertices[i]);
  }
}

// Flat shading colours a triangle with its first vertex's colour; copying
// it to all three before clipping keeps it whatever the clipper cuts away.
void draw_assembled(TriangleDrawer& drawer, const raster::DrawStates& states,
                    const ProcessedVertex* a, const ProcessedVertex* b, const ProcessedVertex* c) {
  if (!states.flat_shade) {
    drawer.draw(*a, *b, *c);
    return;
  }
  ProcessedVertex fb = *b, fc = *c;
  std::copy(a->screen.colour, a->screen.colour + 4, fb.screen.colour);
  std::copy(a->screen.colour, a->screen.colour + 4, fc.screen.colour);
  std::copy(a->clip.colour, a->clip.colour + 4, fb.clip.colour);
  std::copy(a->clip.colour, a->clip.colour + 4, fc.clip.colour);
  drawer.draw(*a, fb, fc);
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
  process_range(s, stream, start_vertex, needed);
  TriangleDrawer drawer(s, states);
  for (uint64_t i = 0; i < primitive_count; ++i) {
    uint64_t corner[3];
    primitive_corners(type, i, corner);
    draw_assembled(drawer, states, &processed_vertices[corner[0]], &processed_vertices[corner[1]],
                   &processed_vertices[corner[2]]);
  }
  drawer.finish();
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
  process_range(s, stream, first, vertex_count);
  TriangleDrawer drawer(s, states);
  const uint8_t* indices = index_data.bytes.data() + uint64_t{start_index} * index_bytes;
  auto vertex_at = [&](uint64_t n) -> const ProcessedVertex* {
    uint32_t index;
    if (index_bytes == 2) {
      index = uint32_t{indices[2 * n]} | uint32_t{indices[2 * n + 1]} << 8;
    } else {
      index = uint32_t{indices[4 * n]} | uint32_t{indices[4 * n + 1]} << 8 |
              uint32_t{indices[4 * n + 2]} << 16 | uint32_t{indices[4 * n + 3]} << 24;
    }
    if (index < min_index || uint64_t{index} - min_index >= vertex_count) return nullptr;
    return &processed_vertices[index - min_index];
  };
  for (uint64_t i = 0; i < primitive_count; ++i) {
    uint64_t corner[3];
    primitive_corners(type, i, corner);
    const ProcessedVertex* a = vertex_at(corner[0]);
    const ProcessedVertex* b = vertex_at(corner[1]);
    const ProcessedVertex* c = vertex_at(corner[2]);
    if (a == nullptr || b == nullptr || c == nullptr) continue;
    draw_assembled(drawer, states, a, b, c);
  }
  drawer.finish();
  return D3D_OK;
}

}  // namespace d3d8
