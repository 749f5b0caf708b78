// The mesh writer: files that pass the reader's check and read back as the
// mesh that was written, whatever the triangle count.
#include <cmath>

#include "mesh/mesh.h"
#include "mesh_test_util.h"

namespace {

using mesh::MeshData;
using mesh::Vec3;
using mesh_test::bits;

MeshData fan(size_t triangles, bool uv) {
  MeshData m;
  m.positions.push_back({0, 0, 0});
  for (size_t i = 0; i <= triangles; ++i) {
    const float a = static_cast<float>(i) * 0.4f;
    m.positions.push_back({std::cos(a), std::sin(a), 0.25f * static_cast<float>(i)});
  }
  for (size_t i = 0; i < triangles; ++i) {
    m.triangles.push_back({0, static_cast<uint16_t>(i + 2), static_cast<uint16_t>(i + 1)});
  }
  if (uv) {
    // u of vertex 0 is 0.3, whose low 2 bytes name no vertex here.
    for (size_t i = 0; i < m.positions.size(); ++i) {
      m.tex_coords.push_back({i == 0 ? 0.3f : static_cast<float>(i) / 8, 1.0f - static_cast<float>(i) / 16});
    }
  }
  return m;
}

void expect_same(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(bits(a[i].x), bits(b[i].x)) << i;
    EXPECT_EQ(bits(a[i].y), bits(b[i].y)) << i;
    EXPECT_EQ(bits(a[i].z), bits(b[i].z)) << i;
  }
}

TEST(MeshWriter, EveryTriangleCountReadsBackAsWritten) {
  struct Case {
    size_t triangles;
    bool uv;
    size_t triangles_in_file;  // an odd count with texture coordinates gains a pad
  };
  const Case cases[] = {{1, false, 1}, {1, true, 2}, {2, true, 2}, {7, false, 7}, {7, true, 8}, {8, false, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.triangles << " triangles, uv " << c.uv);
    const MeshData in = fan(c.triangles, c.uv);
    const std::vector<uint8_t> file = mesh::write_mesh_file(in);
    mesh::MeshFileLayout layout;
    std::string detail;
    ASSERT_EQ(mesh::check_mesh_file(file.data(), file.size(), &layout, &detail), mesh::MeshFileError::kNone)
        << detail;
    EXPECT_EQ(static_cast<size_t>(layout.size_bytes), file.size());
    const MeshData out = mesh::read_mesh_file(file.data(), file.size());
    expect_same(out.positions, in.positions);
    ASSERT_EQ(out.triangles.size(), c.triangles_in_file);
    for (size_t i = 0; i < in.triangles.size(); ++i) EXPECT_EQ(out.triangles[i], in.triangles[i]) << i;
    if (c.triangles_in_file > c.triangles) {
      const uint16_t last = in.triangles.back()[2];
      EXPECT_EQ(out.triangles.back(), (std::array<uint16_t, 3>{last, last, last}));
    }
    ASSERT_EQ(out.tex_coords.size(), in.tex_coords.size());
    for (size_t i = 0; i < in.tex_coords.size(); ++i) {
      EXPECT_EQ(bits(out.tex_coords[i].u), bits(in.tex_coords[i].u));
      EXPECT_EQ(bits(out.tex_coords[i].v), bits(in.tex_coords[i].v));
    }
    expect_same(out.vertex_normals, mesh::compute_vertex_normals(in.positions, in.triangles));
  }
}

TEST(MeshWriter, GivenNormalsAreWrittenAsGiven) {
  MeshData in = fan(2, false);
  in.face_normals = {{1, 2, 3}, {4, 5, 6}};
  for (size_t i = 0; i < in.positions.size(); ++i) in.vertex_normals.push_back({0.5f, -0.0f, static_cast<float>(i)});
  const std::vector<uint8_t> file = mesh::write_mesh_file(in);
  const MeshData out = mesh::read_mesh_file(file.data(), file.size());
  expect_same(out.face_normals, in.face_normals);
  expect_same(out.vertex_normals, in.vertex_normals);
}

TEST(MeshWriter, ComputedNormalsFaceTheViewerOfAClockwiseTriangleAndWeighByArea) {
  // Clockwise on screen (x right, y up, looking along +z): faces -z.
  const std::vector<Vec3> positions = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 3}};
  const std::vector<std::array<uint16_t, 3>> one = {{0, 1, 2}};
  const Vec3 n = mesh::compute_face_normals(positions, one)[0];
  EXPECT_EQ(n.x, 0.0f);
  EXPECT_EQ(n.y, 0.0f);
  EXPECT_EQ(n.z, -1.0f);
  // Vertex 0 joins the triangle above (area 0.5, facing -z) and one three
  // times larger in the xz plane (area 1.5, facing -y): their area-weighted
  // mean leans 3:1 towards -y.
  const std::vector<std::array<uint16_t, 3>> two = {{0, 1, 2}, {0, 2, 3}};
  const Vec3 v = mesh::compute_vertex_normals(positions, two)[0];
  EXPECT_LT(v.y, 0.0f);
  EXPECT_NEAR(v.y / v.z, 3.0f, 1e-6);
  EXPECT_NEAR(v.x, 0.0f, 1e-7);
  // A vertex of no triangle with area gets zero, not NaN.
  const Vec3 lone = mesh::compute_vertex_normals(positions, one)[3];
  EXPECT_EQ(lone.x, 0.0f);
  EXPECT_EQ(lone.y, 0.0f);
  EXPECT_EQ(lone.z, 0.0f);
}

TEST(MeshWriter, RefusesWhatTheFormatCannotHold) {
  struct Case {
    const char* name;
    MeshData mesh;
  };
  MeshData too_many = fan(1, false);
  too_many.positions.resize(65537);
  MeshData bad_index = fan(2, false);
  bad_index.triangles[1][1] = static_cast<uint16_t>(bad_index.positions.size());
  MeshData short_uv = fan(2, true);
  short_uv.tex_coords.pop_back();
  MeshData no_triangles = fan(2, false);
  no_triangles.triangles.clear();
  MeshData odd_normals = fan(2, false);
  odd_normals.face_normals = {{0, 0, 1}};
  const std::vector<Case> cases = {
      {"no vertices", MeshData{}}, {"65537 vertices", too_many}, {"index out of range", bad_index},
      {"texture coordinates not one per vertex", short_uv}, {"no triangles", no_triangles},
      {"face normals not one per triangle", odd_normals},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(mesh::write_mesh_file(c.mesh), std::invalid_argument);
  }
}

TEST(MeshWriter, LargestMeshUploadsAndDraws) {
  mesh_test::ensure_device();
  MeshData m;
  for (int i = 0; i < 65536; ++i) m.positions.push_back({static_cast<float>(i), 0, 0});
  m.triangles = {{0, 1, 65535}};
  const int32_t number = mesh_test::upload_kept(mesh::write_mesh_file(m));
  ASSERT_GE(number, 0);
  mesh::DrawMesh(number, 0, 0, 0, 1, 0);
  EXPECT_EQ(mesh_test::vertices_of(number)[65535].x, 65535.0f);
}

}  // namespace
