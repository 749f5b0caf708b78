// The layer and the 20k-triangle mesh drawn at render scales 2 and 4 (and
// 1, the same run, for the ratio), 16-bit, on one thread: the pixels grow
// N^2 times, the geometry does not.
#include <string>

#include "bench/bench_device.h"
#include "bench/bench_util.h"
#include "bench/raster_scenes.h"

namespace {

struct Figures {
  double layer_ms, mesh_ms;
};

Figures measure(int scale) {
  d3d8::target_options.scale = scale;
  IDirect3DDevice8* device = bench::make_device("bench_scale");
  d3d8::target_options = {};
  if (device == nullptr) return {0, 0};
  IDirect3DTexture8* texture = bench::bind_clip_like_texture(device);
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00406080, 1.0f, 0);
  device->BeginScene();
  IDirect3DVertexBuffer8* layer_vb = bench::buffer_of(device, bench::layer_strip(), 0x144);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  Figures f{};
  f.layer_ms = 1e3 * bench::median_seconds(100, [&] {
    device->SetStreamSource(0, layer_vb, sizeof(bench::ScreenVertex));
    device->SetVertexShader(0x144);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    d3d8::finish_drawing(device);
  });
  const bench::MeshGrid grid = bench::mesh_grid();
  IDirect3DVertexBuffer8* mesh_vb = bench::buffer_of(device, grid.vertices, 0x142);
  IDirect3DIndexBuffer8* ib = bench::index_buffer_of(device, grid.indices);
  D3DMATRIX proj = bench::projection();
  device->SetTransform(D3DTS_PROJECTION, &proj);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  f.mesh_ms = 1e3 * bench::median_seconds(50, [&] {
    device->SetIndices(ib, 0);
    device->SetStreamSource(0, mesh_vb, sizeof(bench::MeshVertex));
    device->SetVertexShader(0x142);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(grid.vertices.size()), 0, UINT(grid.indices.size() / 3));
    d3d8::finish_drawing(device);
  });
  device->EndScene();
  device->SetTexture(0, nullptr);
  device->SetStreamSource(0, nullptr, 0);
  device->SetIndices(nullptr, 0);
  layer_vb->Release();
  mesh_vb->Release();
  ib->Release();
  texture->Release();
  device->Release();
  return f;
}

}  // namespace

int main() {
  d3d8::raster_options.threads = 1;
  const Figures one = measure(1);
  for (int scale : {2, 4}) {
    const Figures f = measure(scale);
    const std::string prefix = "raster.s" + std::to_string(scale) + ".";
    bench::report((prefix + "layer_opaque_ms").c_str(), f.layer_ms, "ms");
    bench::report((prefix + "mesh20k_ms").c_str(), f.mesh_ms, "ms");
    bench::report((prefix + "layer_opaque_per_scale1").c_str(), f.layer_ms / one.layer_ms, "x");
    bench::report((prefix + "mesh20k_per_scale1").c_str(), f.mesh_ms / one.mesh_ms, "x");
  }
  return 0;
}
