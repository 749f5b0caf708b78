// Writes mesh files: the inverse of the reader, used by the tools and the
// default media pack.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace mesh {

struct Vec2 {
  float u;
  float v;
};

struct Vec3 {
  float x;
  float y;
  float z;
};

struct MeshData {
  std::vector<Vec3> positions;
  std::vector<std::array<uint16_t, 3>> triangles;  // vertex numbers, a triangle list
  std::vector<Vec2> tex_coords;      // empty (no texture coordinates) or one per position
  std::vector<Vec3> face_normals;    // empty: computed by the writer
  std::vector<Vec3> vertex_normals;  // empty: computed by the writer
};

// The whole file image. Throws std::invalid_argument for a mesh the format
// cannot hold (no vertices or triangles, more than 65536 vertices, an index
// out of range, texture coordinates not one per vertex).
std::vector<uint8_t> write_mesh_file(const MeshData& mesh);

}  // namespace mesh
