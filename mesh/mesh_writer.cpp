// Writing mesh files: the layout the reader checks, with normals computed
// where the caller has none.
#include "mesh/mesh_writer.h"

#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "mesh/little_endian.h"
#include "mesh/mesh.h"

namespace mesh {

namespace {

// 16-bit vertex numbers reach vertex 65535 and no further.
constexpr size_t kMaxVertices = 65536;

struct Vec3d {
  double x = 0, y = 0, z = 0;
};

Vec3d face_cross(const std::vector<Vec3>& positions, const std::array<uint16_t, 3>& t) {
  const Vec3& a = positions[t[0]];
  const Vec3& b = positions[t[1]];
  const Vec3& c = positions[t[2]];
  const double ux = double{b.x} - a.x, uy = double{b.y} - a.y, uz = double{b.z} - a.z;
  const double vx = double{c.x} - a.x, vy = double{c.y} - a.y, vz = double{c.z} - a.z;
  return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

Vec3 unit(const Vec3d& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(length > 0.0) || !std::isfinite(length)) return {0.0f, 0.0f, 0.0f};
  return {static_cast<float>(v.x / length), static_cast<float>(v.y / length),
          static_cast<float>(v.z / length)};
}

void check_indices(const std::vector<Vec3>& positions,
                   const std::vector<std::array<uint16_t, 3>>& triangles) {
  for (size_t i = 0; i < triangles.size(); ++i) {
    for (uint16_t index : triangles[i]) {
      if (index >= positions.size()) {
        throw std::invalid_argument("triangle " + std::to_string(i) + " names vertex " +
                                    std::to_string(index) + " but there are only " +
                                    std::to_string(positions.size()) + " vertices");
      }
    }
  }
}

}  // namespace

std::vector<Vec3> compute_face_normals(const std::vector<Vec3>& positions,
                                       const std::vector<std::array<uint16_t, 3>>& triangles) {
  check_indices(positions, triangles);
  std::vector<Vec3> normals;
  normals.reserve(triangles.size());
  for (const auto& t : triangles) normals.push_back(unit(face_cross(positions, t)));
  return normals;
}

std::vector<Vec3> compute_vertex_normals(const std::vector<Vec3>& positions,
                                         const std::vector<std::array<uint16_t, 3>>& triangles) {
  check_indices(positions, triangles);
  // The cross product's length is twice the triangle's area: summing the
  // unnormalised products weights each triangle by its area.
  std::vector<Vec3d> sums(positions.size());
  for (const auto& t : triangles) {
    const Vec3d n = face_cross(positions, t);
    for (uint16_t index : t) {
      sums[index].x += n.x;
      sums[index].y += n.y;
      sums[index].z += n.z;
    }
  }
  std::vector<Vec3> normals;
  normals.reserve(positions.size());
  for (const Vec3d& s : sums) normals.push_back(unit(s));
  return normals;
}

std::vector<uint8_t> write_mesh_file(const MeshData& mesh) {
  const size_t v = mesh.positions.size();
  if (v == 0) throw std::invalid_argument("a mesh needs at least one vertex");
  if (v > kMaxVertices) {
    throw std::invalid_argument("a mesh file holds at most 65536 vertices, not " +
                                std::to_string(v));
  }
  if (mesh.triangles.empty()) throw std::invalid_argument("a mesh needs at least one triangle");
  // Room for the padding triangle and for 6 bytes a triangle in a UINT.
  if (mesh.triangles.size() >= std::numeric_limits<UINT>::max() / 6) {
    throw std::invalid_argument("too many triangles for a mesh file");
  }
  if (!mesh.tex_coords.empty() && mesh.tex_coords.size() != v) {
    throw std::invalid_argument("texture coordinates must be one per vertex (" +
                                std::to_string(v) + "), not " +
                                std::to_string(mesh.tex_coords.size()));
  }
  if (!mesh.face_normals.empty() && mesh.face_normals.size() != mesh.triangles.size()) {
    throw std::invalid_argument("face normals must be one per triangle");
  }
  if (!mesh.vertex_normals.empty() && mesh.vertex_normals.size() != v) {
    throw std::invalid_argument("vertex normals must be one per vertex");
  }
  check_indices(mesh.positions, mesh.triangles);

  const bool has_uv = !mesh.tex_coords.empty();
  std::vector<std::array<uint16_t, 3>> triangles = mesh.triangles;
  std::vector<Vec3> face_normals = mesh.face_normals.empty()
                                       ? compute_face_normals(mesh.positions, mesh.triangles)
                                       : mesh.face_normals;
  const std::vector<Vec3> vertex_normals =
      mesh.vertex_normals.empty() ? compute_vertex_normals(mesh.positions, mesh.triangles)
                                  : mesh.vertex_normals;
  const uint16_t last_index = triangles.back()[2];
  if (triangles.size() % 2 == 1) {
    if (has_uv) {
      triangles.push_back({last_index, last_index, last_index});
      face_normals.push_back({0.0f, 0.0f, 0.0f});
    } else {
      uint32_t bits = std::bit_cast<uint32_t>(face_normals.front().x);
      bits = (bits & 0xFFFF0000u) | last_index;
      face_normals.front().x = std::bit_cast<float>(bits);
    }
  }

  const auto vertex_count = static_cast<int32_t>(v);
  const auto triangle_count = static_cast<int32_t>(triangles.size());
  const int32_t tex_coord_count = has_uv ? vertex_count : 0;
  const MeshFileLayout l = layout_for_counts(vertex_count, triangle_count, tex_coord_count);
  std::vector<uint8_t> file(static_cast<size_t>(l.size_bytes), 0);
  uint8_t* out = file.data();
  store_i32(out, vertex_count);
  store_i32(out + 4, triangle_count);
  store_i32(out + 8, tex_coord_count);
  auto put3 = [&](int64_t offset, const Vec3& p) {
    store_f32(out + offset, p.x);
    store_f32(out + offset + 4, p.y);
    store_f32(out + offset + 8, p.z);
  };
  for (size_t i = 0; i < v; ++i) put3(l.positions + 12 * static_cast<int64_t>(i), mesh.positions[i]);
  for (size_t i = 0; i < triangles.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      store_u16(out + l.indices + 6 * static_cast<int64_t>(i) + 2 * k, triangles[i][k]);
    }
  }
  // The tail goes in after the triangles: with an odd count (no texture
  // coordinates, see above) its first value rewrites the last index with
  // the same 2 bytes.
  for (size_t i = 0; i < mesh.tex_coords.size(); ++i) {
    store_f32(out + l.tail_start + 8 * static_cast<int64_t>(i), mesh.tex_coords[i].u);
    store_f32(out + l.tail_start + 8 * static_cast<int64_t>(i) + 4, mesh.tex_coords[i].v);
  }
  for (size_t i = 0; i < face_normals.size(); ++i) {
    put3(l.face_normals + 12 * static_cast<int64_t>(i), face_normals[i]);
  }
  for (size_t i = 0; i < v; ++i) {
    put3(l.vertex_normals + 12 * static_cast<int64_t>(i), vertex_normals[i]);
  }
  return file;
}

}  // namespace mesh
