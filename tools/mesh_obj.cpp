// OBJ import and export for `tuuli mesh`: tinyobjloader parses, the rest is
// the mapping between OBJ's conventions and the mesh format's.
#include "tools/mesh_obj.h"

#include <tiny_obj_loader.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <utility>

namespace tools {

namespace {

constexpr size_t kMaxVertices = 65536;  // 16-bit vertex numbers

std::string corner_text(size_t face) { return "face " + std::to_string(face + 1); }

}  // namespace

mesh::MeshData mesh_from_obj_text(const std::string& text, float scale) {
  tinyobj::ObjReaderConfig config;
  // Polygons are split here, where every index has been checked first.
  config.triangulate = false;
  config.vertex_color = false;
  tinyobj::ObjReader reader;
  if (!reader.ParseFromString(text, "", config)) {
    std::string error = reader.Error();
    while (!error.empty() && (error.back() == '\n' || error.back() == '.')) error.pop_back();
    throw std::runtime_error("the OBJ cannot be parsed: " + (error.empty() ? "unknown error" : error));
  }
  const tinyobj::attrib_t& attrib = reader.GetAttrib();
  const size_t position_count = attrib.vertices.size() / 3;
  const size_t uv_count = attrib.texcoords.size() / 2;

  // Every corner of every face, checked, and whether any names a (u, v).
  struct Corner {
    int position;
    int uv;  // -1: none
  };
  std::vector<std::vector<Corner>> faces;
  bool any_uv = false;
  bool any_without_uv = false;
  for (const tinyobj::shape_t& shape : reader.GetShapes()) {
    size_t next = 0;
    for (unsigned char corners : shape.mesh.num_face_vertices) {
      if (next + corners > shape.mesh.indices.size()) {
        throw std::runtime_error("the OBJ's faces are inconsistent");
      }
      std::vector<Corner> face;
      for (size_t k = 0; k < corners; ++k) {
        const tinyobj::index_t& index = shape.mesh.indices[next + k];
        if (index.vertex_index < 0 || static_cast<size_t>(index.vertex_index) >= position_count) {
          throw std::runtime_error(corner_text(faces.size()) + " names position " +
                                   std::to_string(index.vertex_index + 1) + " but there are " +
                                   std::to_string(position_count));
        }
        if (index.texcoord_index >= 0 && static_cast<size_t>(index.texcoord_index) >= uv_count) {
          throw std::runtime_error(corner_text(faces.size()) + " names texture coordinate " +
                                   std::to_string(index.texcoord_index + 1) + " but there are " +
                                   std::to_string(uv_count));
        }
        (index.texcoord_index >= 0 ? any_uv : any_without_uv) = true;
        face.push_back({index.vertex_index, index.texcoord_index});
      }
      next += corners;
      if (face.size() >= 3) faces.push_back(std::move(face));
    }
    // The parser counts a face's corners in 8 bits: a longer face leaves
    // corners uncounted instead of failing.
    if (next != shape.mesh.indices.size()) {
      throw std::runtime_error("a face has more than 255 corners; split it first");
    }
  }
  if (faces.empty()) throw std::runtime_error("the OBJ has no faces");
  if (any_uv && any_without_uv) {
    throw std::runtime_error(
        "some face corners have texture coordinates and some do not; a mesh has them for every "
        "vertex or for none");
  }

  // One vertex per distinct corner, numbered in the order of the OBJ's own
  // numbers, so that a file written by mesh_to_obj_text comes back with
  // its vertex numbers unchanged.
  std::map<std::pair<int, int>, uint16_t> vertex_of;
  auto key_of = [&](const Corner& c) { return std::make_pair(c.position, any_uv ? c.uv : -1); };
  for (const auto& face : faces) {
    for (const Corner& c : face) vertex_of.emplace(key_of(c), 0);
  }
  if (vertex_of.size() > kMaxVertices) {
    throw std::runtime_error("the OBJ needs " + std::to_string(vertex_of.size()) +
                             " vertices once texture seams are split; a mesh holds at most 65536");
  }
  mesh::MeshData m;
  std::vector<int> position_of;  // the OBJ position each vertex came from
  for (auto& [key, number] : vertex_of) {
    number = static_cast<uint16_t>(position_of.size());
    position_of.push_back(key.first);
    const float* p = &attrib.vertices[3 * static_cast<size_t>(key.first)];
    m.positions.push_back({p[0] * scale, p[1] * scale, -(p[2] * scale)});
    if (any_uv) {
      const float* t = &attrib.texcoords[2 * static_cast<size_t>(key.second)];
      m.tex_coords.push_back({t[0], 1.0f - t[1]});
    }
  }
  // Fans from the first corner, each triangle's corners reversed.
  for (const auto& face : faces) {
    const uint16_t first = vertex_of.at(key_of(face[0]));
    for (size_t k = 1; k + 1 < face.size(); ++k) {
      m.triangles.push_back({first, vertex_of.at(key_of(face[k + 1])), vertex_of.at(key_of(face[k]))});
    }
  }

  // Normals over the welded mesh (one vertex per OBJ position), handed to
  // every vertex split from that position.
  std::map<int, uint16_t> welded_of;
  std::vector<mesh::Vec3> welded_positions;
  std::vector<uint16_t> welded(position_of.size());
  for (size_t i = 0; i < position_of.size(); ++i) {
    auto [it, added] = welded_of.emplace(position_of[i], static_cast<uint16_t>(welded_positions.size()));
    if (added) welded_positions.push_back(m.positions[i]);
    welded[i] = it->second;
  }
  std::vector<std::array<uint16_t, 3>> welded_triangles;
  welded_triangles.reserve(m.triangles.size());
  for (const auto& t : m.triangles) welded_triangles.push_back({welded[t[0]], welded[t[1]], welded[t[2]]});
  const std::vector<mesh::Vec3> normals = mesh::compute_vertex_normals(welded_positions, welded_triangles);
  m.vertex_normals.reserve(m.positions.size());
  for (uint16_t w : welded) m.vertex_normals.push_back(normals[w]);
  return m;
}

std::string mesh_to_obj_text(const mesh::MeshData& m) {
  std::string out;
  char line[160];
  auto put = [&](const char* pattern, auto... values) {
    std::snprintf(line, sizeof line, pattern, values...);
    out += line;
  };
  // %.9g gives back the same float when read.
  put("# tuuli mesh to-obj: %zu vertices, %zu triangles\n", m.positions.size(), m.triangles.size());
  for (const auto& p : m.positions) put("v %.9g %.9g %.9g\n", p.x, p.y, -p.z);
  for (const auto& t : m.tex_coords) put("vt %.9g %.9g\n", t.u, 1.0f - t.v);
  for (const auto& n : m.vertex_normals) put("vn %.9g %.9g %.9g\n", n.x, n.y, -n.z);
  const bool uv = !m.tex_coords.empty();
  for (const auto& t : m.triangles) {
    if (t[0] == t[1] && t[1] == t[2]) continue;
    // Corners reversed: see the header.
    const unsigned a = t[0] + 1u, b = t[2] + 1u, c = t[1] + 1u;
    if (uv) {
      put("f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c, c);
    } else {
      put("f %u//%u %u//%u %u//%u\n", a, a, b, b, c, c);
    }
  }
  return out;
}

}  // namespace tools
