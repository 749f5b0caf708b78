// DrawMesh: the placement, colour and texture coordinates it writes into the
// mesh's vertex buffer, and the device state it leaves for the draw.
#include <cmath>
#include <limits>

#include "mesh/mesh.h"
#include "mesh_test_util.h"

namespace {

using mesh::MeshVertex;
using mesh_test::bits;
using mesh_test::from_bits;
using mesh_test::vertices_of;

struct Settings {
  float colour[3];
  float scale;
  float u_offset;
};

// Sets the draw settings for one test and puts the defaults back after.
class MeshDraw : public testing::Test {
 protected:
  void SetUp() override {
    mesh_test::ensure_device();
    mesh::MeshBaseColour[0] = mesh::MeshBaseColour[1] = mesh::MeshBaseColour[2] = 0.0f;
    mesh::MeshTextureScale = 1.0f;
    mesh::MeshTextureUOffset = 0.0f;
  }
  void TearDown() override { SetUp(); }

  // One mesh per shape for the whole process: the table has room for 20.
  static int32_t textured() {
    static const int32_t number = [] {
      mesh::MeshData m;
      m.positions = {{1, 0, 0}, {100, 0, 0}, {-2.5f, 3.25f, 7}, {0.1f, -0.2f, 0.3f}, {1e-3f, 5e3f, -1}};
      m.triangles = {{0, 1, 2}, {2, 3, 4}};
      m.tex_coords = {{0.25f, 0.75f}, {-1, 2}, {0.1f, 0.9f}, {3, -3}, {0, 0}};
      return mesh_test::upload_kept(mesh::write_mesh_file(m));
    }();
    return number;
  }
  static int32_t untextured() {
    static const int32_t number = [] {
      mesh::MeshData m;
      m.positions = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
      m.triangles = {{0, 1, 2}, {0, 2, 1}};
      m.vertex_normals = {{0.6f, -0.8f, 0}, {-0.0f, 1, 0}, {0.1f, 0.2f, 0.97467943f}};
      return mesh_test::upload_kept(mesh::write_mesh_file(m));
    }();
    return number;
  }
  static mesh::MeshData data_of(int32_t number) {
    const mesh::MeshRecord& r = mesh::MeshTable[number];
    const auto size = mesh::layout_for_counts(r.vertexCount, r.triangleCount, r.texCoordCount).size_bytes;
    return mesh::read_mesh_file(r.fileImage, static_cast<size_t>(size));
  }
};

TEST_F(MeshDraw, YawZeroIsExactlyScaleTimesPositionPlusOffset) {
  const int32_t m = textured();
  const mesh::MeshData data = data_of(m);
  struct Case {
    float scale, ox, oy, oz;
  };
  for (const Case& c : {Case{1, 0, 0, 0}, Case{0.002f, 0, 2, 1}, Case{-3.5f, 10, -20, 0.125f}}) {
    mesh::DrawMesh(m, c.ox, c.oy, c.oz, c.scale, 0.0f);
    const auto out = vertices_of(m);
    ASSERT_EQ(out.size(), data.positions.size());
    for (size_t i = 0; i < out.size(); ++i) {
      const mesh::Vec3& p = data.positions[i];
      EXPECT_EQ(out[i].x, p.x * c.scale + c.ox) << i;
      EXPECT_EQ(out[i].y, p.y * c.scale + c.oy) << i;
      EXPECT_EQ(out[i].z, p.z * c.scale + c.oz) << i;
    }
  }
}

// Each sub-step is rounded to float before the next: (1 + 2^-23) times
// (1 + 2^-22) is 1 + 3 * 2^-23 as a float, so adding -1 leaves exactly
// 3 * 2^-23. Carrying the product wider (or fusing it with the add) leaves
// one unit more.
TEST_F(MeshDraw, ScaleIsRoundedToFloatBeforeTheOffsetIsAdded) {
  static const int32_t m = [] {
    mesh::MeshData d;
    d.positions = {{1.0f + 0x1p-23f, 1.0f + 0x1p-23f, 1.0f + 0x1p-23f}};
    d.triangles = {{0, 0, 0}, {0, 0, 0}};
    return mesh_test::upload_kept(mesh::write_mesh_file(d));
  }();
  mesh::DrawMesh(m, -1.0f, -1.0f, -1.0f, 1.0f + 0x1p-22f, 0.0f);
  const MeshVertex v = vertices_of(m)[0];
  EXPECT_EQ(v.x, 3 * 0x1p-23f);
  EXPECT_EQ(v.y, 3 * 0x1p-23f);
  EXPECT_EQ(v.z, 3 * 0x1p-23f);
}

TEST_F(MeshDraw, YawTurnsWithTheDemosOwnPiAndSense) {
  const int32_t m = textured();
  struct Case {
    float yaw, scale, ox, oy, oz;
    int vertex;
    float x, y, z, tolerance;
  };
  const Case cases[] = {
      // A quarter turn of 3.14159, not of pi: cos is 1.2676e-6, not 0.
      {256, 1, 0, 0, 0, 0, 0.0000012676f, 0, 1, 2e-11f},
      {120, 0.002f, 0, 2, 1, 1, 0.1481903f, 2, 1.1343117f, 1e-7f},
      // Negative yaw turns the other way.
      {-256, 1, 0, 0, 0, 0, 0.0000012676f, 0, -1, 2e-11f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "yaw " << c.yaw);
    mesh::DrawMesh(m, c.ox, c.oy, c.oz, c.scale, c.yaw);
    const MeshVertex v = vertices_of(m)[c.vertex];
    EXPECT_NEAR(v.x, c.x, c.tolerance);
    EXPECT_EQ(v.y, c.y);
    EXPECT_NEAR(v.z, c.z, c.tolerance);
  }
  // The quarter turn's sine rounds to exactly 1.
  mesh::DrawMesh(m, 0, 0, 0, 1, 256);
  EXPECT_EQ(vertices_of(m)[0].z, 1.0f);
}

// Vertices are placed several at a time where the processor allows; a
// vertex must come out the same bytes whichever lane, or the one-at-a-time
// tail, places it.
TEST_F(MeshDraw, EveryVertexIsPlacedAlikeWhereverItSits) {
  static const int32_t numbers[2] = {
      [] {
        mesh::MeshData d;
        d.positions.assign(11, {0.7f, -1.3f, 2.9f});
        d.tex_coords.assign(11, {0.3f, -0.6f});
        d.triangles = {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}, {8, 9, 10}};
        return mesh_test::upload_kept(mesh::write_mesh_file(d));
      }(),
      [] {
        mesh::MeshData d;
        d.positions.assign(7, {-5.5f, 0.01f, 1e3f});
        d.vertex_normals.assign(7, {-0.0f, 0.8f, -0.6f});
        d.triangles = {{0, 1, 2}, {3, 4, 5}};
        return mesh_test::upload_kept(mesh::write_mesh_file(d));
      }(),
  };
  mesh::MeshTextureScale = 1.7f;
  mesh::MeshTextureUOffset = -0.2f;
  mesh::MeshBaseColour[1] = 99;
  for (int32_t m : numbers) {
    for (float yaw : {0.0f, 13.0f, 256.0f, -700.0f}) {
      mesh::DrawMesh(m, 0.1f, 0.2f, 0.3f, 0.37f, yaw);
      const auto out = vertices_of(m);
      for (size_t i = 1; i < out.size(); ++i) {
        EXPECT_EQ(std::memcmp(&out[i], &out[0], sizeof(MeshVertex)), 0) << "vertex " << i << " yaw " << yaw;
      }
    }
  }
}

TEST_F(MeshDraw, ScaleZeroPutsEveryVertexOnTheOffset) {
  const int32_t m = textured();
  for (float yaw : {0.0f, 77.0f, 512.0f}) {
    mesh::DrawMesh(m, 1.5f, -2.25f, 40.0f, 0.0f, yaw);
    for (const MeshVertex& v : vertices_of(m)) {
      EXPECT_EQ(v.x, 1.5f);
      EXPECT_EQ(v.y, -2.25f);
      EXPECT_EQ(v.z, 40.0f);
    }
  }
}

TEST_F(MeshDraw, ColourChannelsAreClampedTruncatedAndTakeTheirLowByte) {
  const int32_t m = textured();
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float r, g, b;
    uint32_t diffuse;
  };
  const Case cases[] = {
      {255, 255, 255, 0x00FFFFFF}, {125, 125, 125, 0x007D7D7D}, {300, 0, 0, 0x00FF0000},
      {0, 254.9f, 0, 0x0000FE00},  {0, 0, 1e30f, 0x000000FF},   {-1, 0, 0, 0x00FF0000},
      {256.5f, -0.9f, 0.99f, 0x00FF0000}, {kNaN, -1e30f, 3, 0x00000003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r << " " << c.g << " " << c.b);
    mesh::MeshBaseColour[0] = c.r;
    mesh::MeshBaseColour[1] = c.g;
    mesh::MeshBaseColour[2] = c.b;
    mesh::DrawMesh(m, 0, 0, 0, 1, 0);
    for (const MeshVertex& v : vertices_of(m)) EXPECT_EQ(v.diffuse, c.diffuse);
  }
  // The clamp works on a copy: the setting keeps 300.
  mesh::MeshBaseColour[0] = 300;
  mesh::DrawMesh(m, 0, 0, 0, 1, 0);
  EXPECT_EQ(mesh::MeshBaseColour[0], 300.0f);
}

TEST_F(MeshDraw, FileTextureCoordinatesTakeScaleOnBothAndOffsetOnUOnly) {
  const int32_t m = textured();
  const mesh::MeshData data = data_of(m);
  struct Case {
    float scale, offset;
  };
  for (const Case& c : {Case{1, 0}, Case{-1, 0}, Case{2, 0.5f}, Case{0.3f, -7}}) {
    mesh::MeshTextureScale = c.scale;
    mesh::MeshTextureUOffset = c.offset;
    mesh::DrawMesh(m, 0, 0, 0, 1, 33);
    const auto out = vertices_of(m);
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].u, data.tex_coords[i].u * c.scale + c.offset);
      EXPECT_EQ(out[i].v, data.tex_coords[i].v * c.scale);
    }
  }
}

TEST_F(MeshDraw, WithoutTextureCoordinatesTheNormalsXAndYStandAsStored) {
  const int32_t m = untextured();
  const mesh::MeshData data = data_of(m);
  mesh::MeshTextureScale = 5;
  mesh::MeshTextureUOffset = 3;
  for (float yaw : {0.0f, 100.0f, 256.0f}) {
    mesh::DrawMesh(m, 1, 1, 1, 2, yaw);
    const auto out = vertices_of(m);
    for (size_t i = 0; i < out.size(); ++i) {
      // Bit for bit: the -0 of vertex 1 stays -0.
      EXPECT_EQ(bits(out[i].u), bits(data.vertex_normals[i].x)) << i;
      EXPECT_EQ(bits(out[i].v), bits(data.vertex_normals[i].y)) << i;
    }
  }
}

TEST_F(MeshDraw, SixDrawsInOneFrameEachDrawTheirOwnPlacement) {
  const int32_t m = textured();
  const mesh::MeshRecord& r = mesh::MeshTable[m];
  ASSERT_GE(shell::Device->BeginScene(), 0);
  for (int k = 0; k < 6; ++k) {
    const float offset = static_cast<float>(10 * k);
    mesh::DrawMesh(m, offset, 0, 0, 1, 0);
    // What the device draws for this call is what the buffer holds now.
    const d3d8::DeviceState& s = shell::Device->state();
    EXPECT_EQ(s.stream_source, r.vertexBuffer);
    EXPECT_EQ(s.stream_stride, 24u);
    EXPECT_EQ(s.indices, r.indexBuffer);
    EXPECT_EQ(s.base_vertex_index, 0u);
    EXPECT_EQ(s.vertex_shader, 0x142u);
    EXPECT_EQ(vertices_of(m)[0].x, 1.0f + offset) << "draw " << k;
    EXPECT_FALSE(r.vertexBuffer->data().locked);
  }
  ASSERT_GE(shell::Device->EndScene(), 0);
}

TEST_F(MeshDraw, MeshNumbersOutsideTheTableDrawNothing) {
  const int32_t m = textured();
  mesh::DrawMesh(m, 0, 0, 0, 1, 0);
  const auto before = vertices_of(m);
  shell::Device->SetStreamSource(0, nullptr, 0);
  for (int32_t bad : {-1, mesh::MeshCount, mesh::kMeshTableSize, 1 << 30, INT32_MIN}) {
    mesh::DrawMesh(bad, 5, 5, 5, 2, 3);
    EXPECT_EQ(shell::Device->state().stream_source, nullptr) << bad;
  }
  EXPECT_EQ(std::memcmp(before.data(), vertices_of(m).data(), before.size() * sizeof(MeshVertex)), 0);
}

TEST_F(MeshDraw, LockedBufferIsNeitherWrittenNorDrawn) {
  const int32_t m = textured();
  IDirect3DVertexBuffer8* vb = mesh::MeshTable[m].vertexBuffer;
  mesh::DrawMesh(m, 0, 0, 0, 1, 0);
  const auto before = vertices_of(m);
  shell::Device->SetStreamSource(0, nullptr, 0);
  BYTE* held = nullptr;
  ASSERT_GE(vb->Lock(0, 0, &held, 0), 0);
  mesh::DrawMesh(m, 9, 9, 9, 1, 0);
  vb->Unlock();
  EXPECT_EQ(shell::Device->state().stream_source, nullptr);
  EXPECT_EQ(std::memcmp(before.data(), vertices_of(m).data(), before.size() * sizeof(MeshVertex)), 0);
}

}  // namespace
