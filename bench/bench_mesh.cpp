// Mesh placement: DrawMesh recomputes every vertex of a mesh on each call
// (six calls a frame in the orbiter scenes). Times the placement of a
// 10 000-vertex mesh into its vertex buffer, on one core.
#include <cmath>
#include <vector>

#include "bench/bench_util.h"
#include "mesh/mesh.h"

namespace {

mesh::MeshData sphere_like(int vertex_count, bool uv) {
  mesh::MeshData m;
  for (int i = 0; i < vertex_count; ++i) {
    const float a = static_cast<float>(i) * 0.01f;
    const float b = static_cast<float>(i % 97) * 0.05f;
    m.positions.push_back({std::cos(a) * std::sin(b), std::cos(b), std::sin(a) * std::sin(b)});
    if (uv) m.tex_coords.push_back({static_cast<float>(i % 100) / 100, static_cast<float>(i / 100) / 100});
  }
  for (int i = 0; i + 2 < vertex_count; i += 3) {
    m.triangles.push_back({static_cast<uint16_t>(i), static_cast<uint16_t>(i + 1), static_cast<uint16_t>(i + 2)});
  }
  return m;
}

double place_us(const std::vector<uint8_t>& file) {
  mesh::MeshFileLayout l;
  mesh::check_mesh_file(file.data(), file.size(), &l);
  mesh::MeshRecord r{};
  r.fileImage = file.data();
  r.vertexCount = l.vertex_count;
  r.texCoordCount = l.tex_coord_count;
  r.triangleCount = l.triangle_count;
  r.positions = file.data() + l.positions;
  r.indices = file.data() + l.indices;
  r.texCoords = file.data() + l.tail_start;
  r.vertexNormals = file.data() + l.vertex_normals;
  std::vector<uint8_t> vertices(sizeof(mesh::MeshVertex) * static_cast<size_t>(l.vertex_count));
  mesh::MeshBaseColour[0] = 200.5f;
  mesh::MeshTextureScale = 2.0f;
  mesh::MeshTextureUOffset = 0.25f;
  float yaw = 0.0f;
  const double seconds = bench::median_seconds(400, [&] {
    // Repeated to rise well above the clock's resolution.
    for (int k = 0; k < 10; ++k) {
      mesh::place_mesh_vertices(r, 0.5f, 1.0f, -2.0f, 0.002f, yaw, vertices.data());
      yaw += 1.0f;
      bench::keep(vertices);
    }
  });
  return seconds * 1e6 / 10;
}

}  // namespace

int main() {
  bench::report("mesh.place10k_us", place_us(mesh::write_mesh_file(sphere_like(10000, true))), "us");
  bench::report("mesh.place10k_normals_us", place_us(mesh::write_mesh_file(sphere_like(10000, false))), "us");
  return 0;
}
