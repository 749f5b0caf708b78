// The mesh file check and everything that reads a file it passes: the
// reader of the tools and DrawMesh's placement, which reads the arrays in
// place. Any input must either be refused or be read within its bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "mesh/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so a read past the end is caught.
  std::vector<uint8_t> file(data, data + size);
  mesh::MeshFileLayout layout;
  if (mesh::check_mesh_file(file.data(), file.size(), &layout) != mesh::MeshFileError::kNone) {
    return 0;
  }
  const mesh::MeshData m = mesh::read_mesh_file(file.data(), file.size());
  if (m.positions.size() != static_cast<size_t>(layout.vertex_count)) std::abort();
  for (const auto& t : m.triangles) {
    for (uint16_t index : t) {
      if (index >= m.positions.size()) std::abort();
    }
  }

  // The record UploadMesh would make, without a device.
  mesh::MeshRecord record{};
  record.fileImage = file.data();
  record.vertexCount = layout.vertex_count;
  record.texCoordCount = layout.tex_coord_count;
  record.triangleCount = layout.triangle_count;
  record.positions = file.data() + layout.positions;
  record.indices = file.data() + layout.indices;
  record.texCoords = file.data() + layout.tail_start;
  record.vertexNormals = file.data() + layout.vertex_normals;
  std::vector<uint8_t> vertices(sizeof(mesh::MeshVertex) * static_cast<size_t>(layout.vertex_count));
  mesh::place_mesh_vertices(record, 1.0f, 2.0f, 3.0f, 0.5f, 120.0f, vertices.data());

  // What the writer makes of it must pass the check again (it holds only
  // what 16-bit indices can reach).
  if (m.positions.size() > 65536) return 0;
  const std::vector<uint8_t> again = mesh::write_mesh_file(m);
  if (mesh::check_mesh_file(again.data(), again.size(), nullptr) != mesh::MeshFileError::kNone) {
    std::abort();
  }
  return 0;
}
