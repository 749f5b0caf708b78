// Mesh files: where the arrays lie, the refusal of files the demo cannot
// draw safely, and the upload into the table and the device's buffers.
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "mesh/mesh.h"
#include "mesh_test_util.h"

namespace {

using mesh::MeshFileError;
using mesh_test::bits;

void put_i32(std::vector<uint8_t>& f, size_t at, int32_t v) { std::memcpy(&f[at], &v, 4); }
void put_u16(std::vector<uint8_t>& f, size_t at, uint16_t v) { std::memcpy(&f[at], &v, 2); }
void put_f32(std::vector<uint8_t>& f, size_t at, float v) { std::memcpy(&f[at], &v, 4); }

// A file laid out by hand: header, zeroed arrays, triangles (0, 1, 2)
// repeated, written last so an odd count's last index stands.
std::vector<uint8_t> hand_made(int32_t v, int32_t t, int32_t n, size_t size) {
  std::vector<uint8_t> f(size, 0);
  put_i32(f, 0, v);
  put_i32(f, 4, t);
  put_i32(f, 8, n);
  for (int32_t i = 0; i < 3 * t; ++i) put_u16(f, 12 + 12 * v + 2 * i, static_cast<uint16_t>(i % 3));
  return f;
}

// A float near 0.5 whose low 2 bytes are `index`: what an odd triangle
// count's last index reads when it overlaps such a value.
float from_bits_for_index(uint16_t index) { return mesh_test::from_bits(0x3F000000u | index); }

size_t needed(int32_t v, int32_t t, int32_t n) {
  return static_cast<size_t>(mesh::layout_for_counts(v, t, n).size_bytes);
}

TEST(MeshLayout, ExampleFilesPutEveryArrayWhereTheFormatSays) {
  struct Case {
    int32_t v, t, n;
    int64_t indices, tail, face_normals, vertex_normals, size;
  };
  const Case cases[] = {
      {3, 1, 3, 48, 52, 76, 88, 124},  // odd T: the tail starts 2 bytes early
      {4, 2, 0, 60, 72, 72, 96, 144},  // even T, no texture coordinates
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "V " << c.v << " T " << c.t << " N " << c.n);
    const mesh::MeshFileLayout l = mesh::layout_for_counts(c.v, c.t, c.n);
    EXPECT_EQ(l.positions, 12);
    EXPECT_EQ(l.indices, c.indices);
    EXPECT_EQ(l.tail_start, c.tail);
    EXPECT_EQ(l.face_normals, c.face_normals);
    EXPECT_EQ(l.vertex_normals, c.vertex_normals);
    EXPECT_EQ(l.size_bytes, c.size);
  }
}

TEST(MeshLayout, VertexNormalOffsetAgreesWithItsOwnFormula) {
  for (int32_t v = 1; v < 9; ++v) {
    for (int32_t t = 1; t < 9; ++t) {
      for (int32_t n : {0, v, v + 3}) {
        const int64_t own = 4 * ((12 + 12 * int64_t{v} + 18 * int64_t{t} + 8 * int64_t{n}) / 4);
        EXPECT_EQ(mesh::layout_for_counts(v, t, n).vertex_normals, own) << v << " " << t << " " << n;
      }
    }
  }
}

TEST(MeshFileCheck, RefusesEveryKindOfBadFileWithItsOwnError) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    MeshFileError expected;
  };
  auto with = [](std::vector<uint8_t> f, auto change) {
    change(f);
    return f;
  };
  const auto good = hand_made(3, 2, 3, needed(3, 2, 3));
  const auto odd_uv = hand_made(3, 1, 3, needed(3, 1, 3));
  const auto odd_plain = hand_made(3, 1, 0, needed(3, 1, 0));
  const std::vector<Case> cases = {
      {"empty", {}, MeshFileError::kShorterThanHeader},
      {"11 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 11), MeshFileError::kShorterThanHeader},
      {"no vertices", with(good, [](auto& f) { put_i32(f, 0, 0); }), MeshFileError::kNoVertices},
      {"negative vertices", with(good, [](auto& f) { put_i32(f, 0, -3); }), MeshFileError::kNoVertices},
      {"no triangles", with(good, [](auto& f) { put_i32(f, 4, 0); }), MeshFileError::kNoTriangles},
      {"negative triangles", with(good, [](auto& f) { put_i32(f, 4, INT_MIN); }), MeshFileError::kNoTriangles},
      {"negative texture coordinates", with(good, [](auto& f) { put_i32(f, 8, -1); }),
       MeshFileError::kNegativeTexCoords},
      {"fewer texture coordinates than vertices", with(good, [](auto& f) { put_i32(f, 8, 2); }),
       MeshFileError::kTooFewTexCoords},
      {"vertex buffer beyond 32 bits", with(good, [](auto& f) { put_i32(f, 0, INT_MAX); put_i32(f, 8, 0); }),
       MeshFileError::kTooLarge},
      {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), MeshFileError::kTruncated},
      {"counts far beyond the file", with(good, [](auto& f) { put_i32(f, 4, 100000000); }),
       MeshFileError::kTruncated},
      {"index names vertex V", with(good, [](auto& f) { put_u16(f, 12 + 36 + 2, 3); }),
       MeshFileError::kIndexOutOfRange},
      {"index 65535", with(good, [](auto& f) { put_u16(f, 12 + 36 + 10, 0xFFFF); }),
       MeshFileError::kIndexOutOfRange},
      // u of vertex 0 is 0.3: its low 2 bytes, 0x999A, are the last index.
      {"odd T, u of vertex 0 overlaps", with(odd_uv, [](auto& f) { put_f32(f, 52, 0.3f); }),
       MeshFileError::kIndexInTailOutOfRange},
      {"odd T, first face normal overlaps", with(odd_plain, [](auto& f) { put_f32(f, 52, -0.577f); }),
       MeshFileError::kIndexInTailOutOfRange},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string detail;
    EXPECT_EQ(mesh::check_mesh_file(c.file.data(), c.file.size(), nullptr, &detail), c.expected);
    EXPECT_FALSE(detail.empty());
    EXPECT_THROW(mesh::read_mesh_file(c.file.data(), c.file.size()), std::invalid_argument);

    mesh_test::ensure_device();
    const int32_t before = mesh::MeshCount;
    mesh::UploadError error = mesh::UploadError::kNone;
    EXPECT_EQ(mesh::UploadMesh(c.file.data(), c.file.size(), &error, &detail), -1);
    EXPECT_EQ(error, mesh::UploadError::kBadFile);
    EXPECT_EQ(mesh::MeshCount, before);
  }
}

TEST(MeshFileCheck, AcceptsWhatTheFormatAllows) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  auto odd_uv = hand_made(3, 1, 3, needed(3, 1, 3));
  put_f32(odd_uv, 52, from_bits_for_index(2));
  const std::vector<Case> cases = {
      {"bytes after the last array", hand_made(3, 2, 3, needed(3, 2, 3) + 7)},
      {"more texture coordinates than vertices", hand_made(3, 2, 5, needed(3, 2, 5))},
      {"odd T whose shared bytes name a vertex", odd_uv},
      {"odd T without texture coordinates, zero face normal", hand_made(3, 1, 0, needed(3, 1, 0))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string detail;
    EXPECT_EQ(mesh::check_mesh_file(c.file.data(), c.file.size(), nullptr, &detail),
              MeshFileError::kNone)
        << detail;
  }
}

TEST(MeshUpload, RecordPointsIntoTheFileAndIndexBufferHoldsItsIndices) {
  mesh_test::ensure_device();
  // Odd T: the last index (2) is also the low half of u of vertex 0.
  auto file = hand_made(3, 1, 3, needed(3, 1, 3));
  put_f32(file, 52, from_bits_for_index(2));
  auto* kept = new std::vector<uint8_t>(file);
  const int32_t number = mesh::UploadMesh(kept->data(), kept->size());
  ASSERT_GE(number, 0);
  const mesh::MeshRecord& r = mesh::MeshTable[number];
  EXPECT_EQ(r.fileImage, kept->data());
  EXPECT_EQ(r.vertexCount, 3);
  EXPECT_EQ(r.texCoordCount, 3);
  EXPECT_EQ(r.triangleCount, 1);
  EXPECT_EQ(r.positions - r.fileImage, 12);
  EXPECT_EQ(r.indices - r.fileImage, 48);
  EXPECT_EQ(r.texCoords - r.fileImage, 52);
  EXPECT_EQ(r.vertexNormals - r.fileImage, 88);
  const auto& vb = r.vertexBuffer->data();
  EXPECT_EQ(vb.bytes.size(), 72u);
  EXPECT_EQ(vb.fvf, 0x142u);
  EXPECT_EQ(vb.usage, static_cast<DWORD>(D3DUSAGE_WRITEONLY));
  const auto& ib = r.indexBuffer->data();
  EXPECT_EQ(ib.format, D3DFMT_INDEX16);
  ASSERT_EQ(ib.bytes.size(), 6u);
  uint16_t indices[3];
  std::memcpy(indices, ib.bytes.data(), 6);
  EXPECT_EQ(indices[0], 0);
  EXPECT_EQ(indices[1], 1);
  EXPECT_EQ(indices[2], 2);
}

// The demo's two meshes get numbers 0 and 1 in upload order: that needs a
// process whose table is still empty.
TEST(MeshUpload, TwoFilesInAFreshProcessAreMeshesZeroAndOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        mesh_test::ensure_device();
        auto a = hand_made(3, 2, 0, needed(3, 2, 0));
        auto b = hand_made(4, 2, 4, needed(4, 2, 4));
        const bool ok = mesh::MeshCount == 0 && mesh::UploadMesh(a.data(), a.size()) == 0 &&
                        mesh::UploadMesh(b.data(), b.size()) == 1 && mesh::MeshCount == 2 &&
                        mesh::MeshTable[1].vertexCount == 4;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MeshUpload, TwentyFirstMeshIsRefusedAndTheTableStaysWhole) {
  mesh_test::ensure_device();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto file = hand_made(3, 2, 0, needed(3, 2, 0));
    while (mesh::MeshCount < mesh::kMeshTableSize) {
      if (mesh::UploadMesh(file.data(), file.size()) < 0) _exit(2);
    }
    mesh::UploadError error = mesh::UploadError::kNone;
    std::string detail;
    const bool refused = mesh::UploadMesh(file.data(), file.size(), &error, &detail) == -1 &&
                         error == mesh::UploadError::kTableFull && !detail.empty() &&
                         mesh::MeshCount == mesh::kMeshTableSize;
    _exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(MeshUpload, FailedBufferCreationRegistersNothing) {
  mesh_test::ensure_device();
  auto file = hand_made(3, 2, 0, needed(3, 2, 0));
  const int32_t before = mesh::MeshCount;
  d3d8::faults.fail_vertex_buffer_after = 0;
  mesh::UploadError error = mesh::UploadError::kNone;
  EXPECT_EQ(mesh::UploadMesh(file.data(), file.size(), &error), -1);
  d3d8::faults.fail_vertex_buffer_after = -1;
  EXPECT_EQ(error, mesh::UploadError::kDeviceFailed);
  EXPECT_EQ(mesh::MeshCount, before);
}

}  // namespace
