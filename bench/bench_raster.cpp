// The software rasterizer on the demo's two kinds of drawing: full-screen
// layers and a textured, depth-tested mesh. One core; the median of many runs.
// TUULI_BENCH_WIDTHS=widest,mt (names: widest, sse2, scalar, mt, ...)
// measures only those widths, for a profiler.
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_device.h"
#include "bench/bench_util.h"
#include "bench/raster_scenes.h"
#include "platform/d3d8/d3d8.h"

namespace {

using bench::MeshVertex;
using bench::ScreenVertex;

// The figures at the widest SIMD width the CPU offers keep their plain
// names; the others are named after their width: raster.avx2.* (without
// AVX-512) and raster.sse2.* (any x86-64).
std::string figure_name(const std::string& name, const char* width) {
  return width == nullptr ? name : "raster." + std::string(width) + "." + name.substr(std::string("raster.").size());
}

// The SIMD widths measured on one thread, widest first: the one the
// process uses (the figures without a width in their names), then each
// narrower one, down to the portable scalar path; last the widest on every
// drawing thread (raster.mt.*).
struct Width {
  const char* name;
  cpu::SimdLevel level;
  int threads = 1;  // 0: the process's drawing threads
};
std::vector<Width> widths() {
  const cpu::SimdLevel ceiling = cpu::simd_ceiling();
  std::vector<Width> out = {{nullptr, ceiling}};
  for (int level = static_cast<int>(ceiling) - 1; level >= 0; --level) {
    const auto l = static_cast<cpu::SimdLevel>(level);
    out.push_back({cpu::level_name(l), l});
  }
  out.push_back({"mt", ceiling, 0});
  const char* only = std::getenv("TUULI_BENCH_WIDTHS");
  if (only == nullptr) return out;
  const std::string wanted = "," + std::string(only) + ",";
  std::vector<Width> chosen;
  for (const Width& w : out) {
    if (wanted.find("," + std::string(w.name != nullptr ? w.name : "widest") + ",") != std::string::npos) {
      chosen.push_back(w);
    }
  }
  return chosen;
}

void use(const Width& w) {
  d3d8::raster_options.max_simd = w.level;
  d3d8::raster_options.threads = w.threads;
}

// The states the demo leaves, and a 256x256 R5G6B5 texture with some
// structure, like a decoded clip frame, bound to stage 0.
IDirect3DTexture8* prepare(IDirect3DDevice8* device) {
  IDirect3DTexture8* texture = bench::bind_clip_like_texture(device);
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00406080, 1.0f, 0);
  return texture;
}

// One screen layer in each of the demo's three modes, at every width;
// `depth` names the target's colour depth in the figures ("" for R5G6B5).
void measure_layers(IDirect3DDevice8* device, const std::string& depth) {
  IDirect3DVertexBuffer8* layer_vb = bench::buffer_of(device, bench::layer_strip(), 0x144);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  struct Mode {
    const char* name;
    bool blend;
    DWORD src, dst;
  } modes[] = {{"raster.layer_opaque_ms", false, D3DBLEND_ONE, D3DBLEND_ZERO},
               {"raster.layer_add_ms", true, D3DBLEND_ONE, D3DBLEND_ONE},
               {"raster.layer_mod2x_ms", true, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR}};
  for (const Width& w : widths()) {
    use(w);
    // The 32-bit reference path (the scalar width) takes about 200 times
    // as long as the fast one: fewer runs.
    const int runs = !depth.empty() && w.level == cpu::SimdLevel::scalar ? 20 : 200;
    for (const Mode& m : modes) {
      device->SetRenderState(D3DRS_ALPHABLENDENABLE, m.blend);
      device->SetRenderState(D3DRS_SRCBLEND, m.src);
      device->SetRenderState(D3DRS_DESTBLEND, m.dst);
      double seconds = bench::median_seconds(runs, [&] {
        device->SetStreamSource(0, layer_vb, sizeof(ScreenVertex));
        device->SetVertexShader(0x144);
        device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        d3d8::finish_drawing(device);
      });
      // raster.layer_opaque_ms -> raster.c32.layer_opaque_ms
      const std::string name =
          depth.empty() ? m.name : "raster." + depth + std::string(m.name).substr(std::string("raster").size());
      bench::report(figure_name(name, w.name).c_str(), seconds * 1e3, "ms");
    }
  }
  d3d8::raster_options = {};
  device->SetStreamSource(0, nullptr, 0);
  layer_vb->Release();
}

// A textured, depth-tested mesh at every width; `depth` as for the layers.
void measure_mesh(IDirect3DDevice8* device, const std::string& depth) {
  const bench::MeshGrid mesh = bench::mesh_grid();
  const std::vector<MeshVertex>& grid = mesh.vertices;
  const std::vector<uint16_t>& indices = mesh.indices;
  IDirect3DVertexBuffer8* mesh_vb = bench::buffer_of(device, grid, 0x142);
  IDirect3DIndexBuffer8* ib = bench::index_buffer_of(device, indices);
  D3DMATRIX proj = bench::projection();
  device->SetTransform(D3DTS_PROJECTION, &proj);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  // Equal depths pass LESSEQUAL, so every run does the full work.
  for (const Width& w : widths()) {
    use(w);
    double seconds = bench::median_seconds(100, [&] {
      device->SetIndices(ib, 0);
      device->SetStreamSource(0, mesh_vb, sizeof(MeshVertex));
      device->SetVertexShader(0x142);
      device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(grid.size()), 0, UINT(indices.size() / 3));
      d3d8::finish_drawing(device);
    });
    const std::string name = depth.empty() ? "raster.mesh20k_ms" : "raster." + depth + ".mesh20k_ms";
    bench::report(figure_name(name, w.name).c_str(), seconds * 1e3, "ms");
  }
  d3d8::raster_options = {};
  if (depth.empty() && std::getenv("TUULI_BENCH_VERBOSE") != nullptr) {
    size_t covered = 0;
    for (uint16_t v : d3d8::back_buffer_565(device)) covered += v != 0;
    std::fprintf(stderr, "mesh covers %zu pixels\n", covered);
  }
  device->SetStreamSource(0, nullptr, 0);
  device->SetIndices(nullptr, 0);
  mesh_vb->Release();
  ib->Release();
}

}  // namespace

int main() {
  IDirect3DDevice8* device = bench::make_device("bench_raster");
  if (device == nullptr) return 1;
  IDirect3DTexture8* texture = prepare(device);
  device->BeginScene();
  measure_layers(device, "");
  measure_mesh(device, "");
  device->EndScene();
  device->SetTexture(0, nullptr);
  texture->Release();
  device->Release();

  // The same layers and mesh into an X8R8G8B8 target (raster.c32.*).
  IDirect3DDevice8* xrgb = bench::make_device("bench_raster", 32);
  if (xrgb == nullptr) return 1;
  IDirect3DTexture8* xrgb_texture = prepare(xrgb);
  xrgb->BeginScene();
  measure_layers(xrgb, "c32");
  measure_mesh(xrgb, "c32");
  xrgb->EndScene();
  xrgb->SetTexture(0, nullptr);
  xrgb_texture->Release();
  xrgb->Release();
  return 0;
}
