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

// Unit normals of each triangle, (b - a) x (c - a): towards the viewer for a
// triangle that is clockwise on screen, the side Direct3D draws by default.
// A triangle without area gets (0, 0, 0). Indices must be below
// positions.size().
std::vector<Vec3> compute_face_normals(const std::vector<Vec3>& positions,
                                       const std::vector<std::array<uint16_t, 3>>& triangles);

// Unit normals of each vertex: the area-weighted mean of the normals of the
// triangles that use it; (0, 0, 0) for a vertex no triangle with area uses.
std::vector<Vec3> compute_vertex_normals(const std::vector<Vec3>& positions,
                                         const std::vector<std::array<uint16_t, 3>>& triangles);

// The whole file image. With an odd triangle count the last index shares its
// 2 bytes with the first value after the triangles. Without texture
// coordinates that value is the first face normal's x, which nothing reads:
// its low 2 bytes are made the last index. With texture coordinates it would
// be u of vertex 0, which is drawn, so instead one triangle without area
// (the last index three times) is appended and the count becomes even. Throws std::invalid_argument for a mesh the format
// cannot hold (no vertices or triangles, more than 65536 vertices, an index
// out of range, texture coordinates not one per vertex).
std::vector<uint8_t> write_mesh_file(const MeshData& mesh);

}  // namespace mesh
