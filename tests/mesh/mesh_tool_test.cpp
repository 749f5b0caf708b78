// `tuuli mesh` as a user runs it: conversions that keep the mesh, and clear
// refusals with a failing exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "mesh/mesh.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string out, err;
};

class MeshTool : public testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("TUULI_BUILD_DIR");
    ASSERT_NE(build, nullptr) << "run through ctest, which sets TUULI_BUILD_DIR";
    tool_ = fs::path(build) / "tuuli";
    dir_ = fs::temp_directory_path() /
           ("tuuli_mesh_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }

  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  ToolRun run(const std::string& args) const {
    const std::string out = path("stdout"), err = path("stderr");
    const int raw = std::system((tool_.string() + " " + args + " >" + out + " 2>" + err).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read(out), read(err)};
  }

  mesh::MeshData mesh_at(const std::string& name) const {
    const std::string bytes = read(path(name));
    return mesh::read_mesh_file(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  fs::path tool_, dir_;
};

// A unit square as a quad and a triangle over it that shares two corners
// but gives corner 1 another (u, v): corner 1 must become two vertices.
constexpr const char* kSeamObj = R"(# square and roof
v 0 0 0
v 1 0 0
v 1 1 0
v 0 1 0
v 0.5 0.5 1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vt 0.5 0.5
f 1/1 2/2 3/3 4/4
f 1/5 2/2 5/5
)";

TEST_F(MeshTool, FromObjSplitsSeamsTriangulatesAndFlipsToTheDemosAxes) {
  write("in.obj", kSeamObj);
  ToolRun r = run("mesh from-obj " + path("in.obj") + " " + path("out.obu") + " --scale 2");
  ASSERT_EQ(r.status, 0) << r.err;
  const mesh::MeshData m = mesh_at("out.obu");
  EXPECT_EQ(m.positions.size(), 6u);             // 5 positions, corner 1 split
  EXPECT_EQ(m.tex_coords.size(), 6u);
  EXPECT_EQ(m.triangles.size(), 4u);             // quad -> 2, triangle, and the even-count pad
  EXPECT_EQ(m.positions[2].x, 2.0f);             // scaled
  EXPECT_EQ(m.positions[5].z, -2.0f);            // z flipped
  EXPECT_EQ(m.tex_coords[0].v, 1.0f);            // v flipped
  // The split vertices share one normal, so the seam does not show.
  // Vertices are numbered by (position, texture coordinate): 0 and 1 are
  // the two halves of corner 1.
  EXPECT_EQ(m.positions[0].x, m.positions[1].x);
  EXPECT_NE(m.tex_coords[0].u, m.tex_coords[1].u);
  EXPECT_EQ(m.vertex_normals[0].y, m.vertex_normals[1].y);
  EXPECT_EQ(m.vertex_normals[0].z, m.vertex_normals[1].z);

  r = run("mesh info --json " + path("out.obu"));
  ASSERT_EQ(r.status, 0) << r.err;
  const auto info = nlohmann::json::parse(r.out);
  EXPECT_EQ(info["vertices"], 6);
  EXPECT_EQ(info["has_tex_coords"], true);
  EXPECT_EQ(info["valid"], true);
  EXPECT_EQ(info["bounds"]["max"][0], 2.0);
  EXPECT_EQ(info["bounds"]["min"][2], -2.0);
  EXPECT_TRUE(info["problems"].empty()) << info["problems"];
}

TEST_F(MeshTool, ObjWithoutTextureCoordinatesGivesAMeshWithout) {
  write("in.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
  const ToolRun r = run("mesh from-obj " + path("in.obj") + " " + path("out.obu"));
  ASSERT_EQ(r.status, 0) << r.err;
  const mesh::MeshData m = mesh_at("out.obu");
  EXPECT_TRUE(m.tex_coords.empty());
  EXPECT_EQ(m.positions.size(), 4u);
  EXPECT_EQ(m.triangles.size(), 2u);
  EXPECT_EQ(m.vertex_normals[0].z, -1.0f);  // counter-clockwise in OBJ faces the demo's viewer
}

TEST_F(MeshTool, MeshThroughObjAndBackIsTheSameMesh) {
  for (bool uv : {false, true}) {
    SCOPED_TRACE(uv ? "with texture coordinates" : "without");
    mesh::MeshData in;
    in.positions = {{0.1f, -2, 3.3f}, {1e-5f, 7, -0.0f}, {-4, 0.5f, 123.456f}, {1, 1, 1}};
    in.triangles = {{0, 1, 2}, {2, 1, 3}, {3, 1, 0}};
    // Dyadic values, for which 1 - (1 - v) is exact.
    if (uv) in.tex_coords = {{0.5f, 0.25f}, {0.125f, 1}, {-2, 3}, {0.3125f, 0.0625f}};
    const std::vector<uint8_t> file = mesh::write_mesh_file(in);
    std::ofstream(path("a.obu"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    ToolRun r = run("mesh to-obj " + path("a.obu") + " " + path("a.obj"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("mesh from-obj " + path("a.obj") + " " + path("b.obu"));
    ASSERT_EQ(r.status, 0) << r.err;
    const mesh::MeshData a = mesh::read_mesh_file(file.data(), file.size());
    const mesh::MeshData b = mesh_at("b.obu");
    ASSERT_EQ(a.positions.size(), b.positions.size());
    for (size_t i = 0; i < a.positions.size(); ++i) {
      EXPECT_EQ(a.positions[i].x, b.positions[i].x);
      EXPECT_EQ(a.positions[i].y, b.positions[i].y);
      EXPECT_EQ(a.positions[i].z, b.positions[i].z);
    }
    ASSERT_EQ(a.tex_coords.size(), b.tex_coords.size());
    for (size_t i = 0; i < a.tex_coords.size(); ++i) {
      EXPECT_EQ(a.tex_coords[i].u, b.tex_coords[i].u);
      EXPECT_EQ(a.tex_coords[i].v, b.tex_coords[i].v);
    }
    ASSERT_EQ(a.triangles.size(), b.triangles.size());
    for (size_t i = 0; i < a.triangles.size(); ++i) EXPECT_EQ(a.triangles[i], b.triangles[i]);
  }
}

TEST_F(MeshTool, BadInputFailsWithAMessageNamingTheProblem) {
  write("out_of_range.obj", "v 0 0 0\nv 1 0 0\nf 1 2 3\n");
  write("mixed_uv.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/1 3/1\nf 1 3 2\n");
  write("no_faces.obj", "v 0 0 0\n");
  std::string big = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf";
  for (int i = 0; i < 300; ++i) big += " " + std::to_string(i % 3 + 1);
  write("300_corners.obj", big + "\n");
  write("binary.obj", std::string("\x00\xff\x13\x37 f -9 0 99999999999\n", 25));
  write("short.obu", std::string("\x03\x00\x00\x00\x01\x00\x00\x00\x03\x00\x00\x00", 12));
  struct Case {
    std::string args;
    const char* message;
  };
  const Case cases[] = {
      {"mesh info " + path("missing.obu"), "cannot open"},
      {"mesh info " + path("short.obu"), "need"},
      {"mesh to-obj " + path("short.obu") + " " + path("x.obj"), "need"},
      {"mesh from-obj " + path("missing.obj") + " " + path("x.obu"), "cannot open"},
      {"mesh from-obj " + path("out_of_range.obj") + " " + path("x.obu"), "position"},
      {"mesh from-obj " + path("mixed_uv.obj") + " " + path("x.obu"), "texture coordinates"},
      {"mesh from-obj " + path("no_faces.obj") + " " + path("x.obu"), "no faces"},
      {"mesh from-obj " + path("300_corners.obj") + " " + path("x.obu"), "255 corners"},
      {"mesh from-obj " + path("binary.obj") + " " + path("x.obu"), ""},
      {"mesh from-obj " + path("no_faces.obj") + " " + path("x.obu") + " --scale 0", "--scale"},
      {"mesh from-obj " + path("no_faces.obj") + " " + (dir_ / "nodir" / "x.obu").string(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun r = run(c.args);
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
  }
  EXPECT_FALSE(fs::exists(path("x.obu")));
}

TEST_F(MeshTool, HelpExplainsEachSubcommand) {
  const ToolRun r = run("mesh --help");
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"info", "from-obj", "to-obj"}) EXPECT_NE(r.out.find(word), std::string::npos);
  EXPECT_NE(run("mesh from-obj --help").out.find("--scale"), std::string::npos);
}

}  // namespace
