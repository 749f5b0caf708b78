// Mesh files: where their arrays lie, the one check every file passes, and
// the upload into the mesh table and the device's buffers.
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "mesh/little_endian.h"
#include "mesh/mesh.h"
#include "shell/shell.h"

namespace mesh {

MeshRecord MeshTable[kMeshTableSize] = {};
int32_t MeshCount = 0;

namespace {

constexpr int64_t kHeaderBytes = 12;
constexpr int64_t kPositionBytes = 12;     // x, y, z
constexpr int64_t kTriangleBytes = 6;      // three 16-bit vertex numbers
constexpr int64_t kTexCoordBytes = 8;      // u, v
constexpr int64_t kNormalBytes = 12;       // x, y, z
constexpr int64_t kMeshVertexBytes = 24;   // what the vertex buffer holds per vertex

__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...) {
  char text[320];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

}  // namespace

MeshFileLayout layout_for_counts(int32_t vertex_count, int32_t triangle_count,
                                 int32_t tex_coord_count) {
  const int64_t v = vertex_count;
  const int64_t t = triangle_count;
  const int64_t n = tex_coord_count;
  MeshFileLayout l;
  l.vertex_count = vertex_count;
  l.triangle_count = triangle_count;
  l.tex_coord_count = tex_coord_count;
  l.positions = kHeaderBytes;
  l.indices = kHeaderBytes + kPositionBytes * v;
  // The end of the triangle array rounded down to 4 bytes: with an odd T the
  // tail overlaps the last index by 2 bytes. (& ~3 floors negatives too.)
  l.tail_start = (l.indices + kTriangleBytes * t) & ~int64_t{3};
  l.face_normals = l.tail_start + kTexCoordBytes * n;
  // Equal to 4 * floor((12 + 12 V + 18 T + 8 N) / 4), the way the normals
  // are also described: 12 T and 8 N are multiples of 4, so the rounding
  // that made the tail start is the only one.
  l.vertex_normals = l.face_normals + kNormalBytes * t;
  l.size_bytes = l.vertex_normals + kNormalBytes * v;
  return l;
}

const char* describe(MeshFileError error) {
  switch (error) {
    case MeshFileError::kNone: return "the mesh file is sound";
    case MeshFileError::kShorterThanHeader: return "the mesh file is shorter than its 12-byte header";
    case MeshFileError::kNoVertices: return "the mesh file's vertex count is zero or negative";
    case MeshFileError::kNoTriangles: return "the mesh file's triangle count is zero or negative";
    case MeshFileError::kNegativeTexCoords:
      return "the mesh file's texture-coordinate count is negative";
    case MeshFileError::kTooFewTexCoords:
      return "the mesh file has fewer texture coordinates than vertices";
    case MeshFileError::kTooLarge: return "the mesh file's counts are too large for a device buffer";
    case MeshFileError::kTruncated: return "the mesh file is shorter than its counts require";
    case MeshFileError::kIndexOutOfRange:
      return "a triangle of the mesh file names a vertex that does not exist";
    case MeshFileError::kIndexInTailOutOfRange:
      return "the last index of the mesh file (shared with the first tail value, the triangle "
             "count being odd) names a vertex that does not exist";
  }
  return "unknown mesh file error";
}

MeshFileError check_mesh_file(const uint8_t* file, size_t size_bytes, MeshFileLayout* layout,
                              std::string* detail) {
  auto fail = [&](MeshFileError error, std::string text) {
    if (detail != nullptr) *detail = std::move(text);
    return error;
  };
  if (file == nullptr || size_bytes < static_cast<size_t>(kHeaderBytes)) {
    return fail(MeshFileError::kShorterThanHeader,
                format("the mesh file is %zu bytes, shorter than its 12-byte header", size_bytes));
  }
  const int32_t v = load_i32(file);
  const int32_t t = load_i32(file + 4);
  const int32_t n = load_i32(file + 8);
  if (v <= 0) {
    return fail(MeshFileError::kNoVertices,
                format("the mesh file's vertex count is %" PRId32 "; it needs at least 1", v));
  }
  if (t <= 0) {
    return fail(MeshFileError::kNoTriangles,
                format("the mesh file's triangle count is %" PRId32 "; it needs at least 1", t));
  }
  if (n < 0) {
    return fail(MeshFileError::kNegativeTexCoords,
                format("the mesh file's texture-coordinate count is %" PRId32, n));
  }
  if (n != 0 && n < v) {
    return fail(MeshFileError::kTooFewTexCoords,
                format("the mesh file has %" PRId32 " texture coordinates for %" PRId32
                       " vertices (it needs one per vertex, or none)",
                       n, v));
  }
  constexpr int64_t kMaxBuffer = std::numeric_limits<UINT>::max();
  if (kMeshVertexBytes * v > kMaxBuffer || kTriangleBytes * t > kMaxBuffer) {
    return fail(MeshFileError::kTooLarge,
                format("the mesh file's counts (%" PRId32 " vertices, %" PRId32
                       " triangles) are too large for a device buffer",
                       v, t));
  }
  const MeshFileLayout l = layout_for_counts(v, t, n);
  if (static_cast<uint64_t>(l.size_bytes) > size_bytes) {
    return fail(MeshFileError::kTruncated,
                format("the mesh file is %zu bytes but its counts (%" PRId32 " vertices, %" PRId32
                       " triangles, %" PRId32 " texture coordinates) need %" PRId64,
                       size_bytes, v, t, n, l.size_bytes));
  }
  const uint8_t* indices = file + l.indices;
  const int64_t index_count = 3 * int64_t{t};
  for (int64_t i = 0; i < index_count; ++i) {
    const uint16_t index = load_u16(indices + 2 * i);
    if (index < v) continue;
    const bool shared = (t % 2 == 1) && i == index_count - 1;
    return fail(shared ? MeshFileError::kIndexInTailOutOfRange : MeshFileError::kIndexOutOfRange,
                format("triangle %" PRId64 " of the mesh file names vertex %u but there are only %" PRId32
                       " vertices%s",
                       i / 3, static_cast<unsigned>(index), v,
                       shared ? " (its last index shares its 2 bytes with the first tail value, the "
                                "triangle count being odd)"
                              : ""));
  }
  if (layout != nullptr) *layout = l;
  return MeshFileError::kNone;
}

MeshData read_mesh_file(const uint8_t* file, size_t size_bytes) {
  MeshFileLayout l;
  std::string detail;
  if (check_mesh_file(file, size_bytes, &l, &detail) != MeshFileError::kNone) {
    throw std::invalid_argument(detail);
  }
  auto vec3 = [](const uint8_t* p) { return Vec3{load_f32(p), load_f32(p + 4), load_f32(p + 8)}; };
  MeshData m;
  m.positions.resize(l.vertex_count);
  m.vertex_normals.resize(l.vertex_count);
  for (int32_t i = 0; i < l.vertex_count; ++i) {
    m.positions[i] = vec3(file + l.positions + kPositionBytes * i);
    m.vertex_normals[i] = vec3(file + l.vertex_normals + kNormalBytes * i);
  }
  // Entries beyond V are never drawn, so they are not part of the mesh.
  if (l.tex_coord_count != 0) {
    m.tex_coords.resize(l.vertex_count);
    for (int32_t i = 0; i < l.vertex_count; ++i) {
      const uint8_t* p = file + l.tail_start + kTexCoordBytes * i;
      m.tex_coords[i] = Vec2{load_f32(p), load_f32(p + 4)};
    }
  }
  m.triangles.resize(l.triangle_count);
  m.face_normals.resize(l.triangle_count);
  for (int32_t i = 0; i < l.triangle_count; ++i) {
    const uint8_t* p = file + l.indices + kTriangleBytes * i;
    m.triangles[i] = {load_u16(p), load_u16(p + 2), load_u16(p + 4)};
    m.face_normals[i] = vec3(file + l.face_normals + kNormalBytes * i);
  }
  return m;
}

int32_t UploadMesh(const uint8_t* file, size_t size_bytes, UploadError* error,
                   std::string* detail) {
  auto fail = [&](UploadError e, std::string text) {
    if (error != nullptr) *error = e;
    if (detail != nullptr) *detail = std::move(text);
    return -1;
  };
  MeshFileLayout l;
  std::string problem;
  if (check_mesh_file(file, size_bytes, &l, &problem) != MeshFileError::kNone) {
    return fail(UploadError::kBadFile, problem);
  }
  const int32_t n = MeshCount;
  if (n >= kMeshTableSize) {
    return fail(UploadError::kTableFull,
                format("there is room for only %d meshes", kMeshTableSize));
  }
  IDirect3DDevice8* device = shell::Device;
  if (device == nullptr) return fail(UploadError::kDeviceFailed, "there is no device");

  // Both lengths were checked to fit a UINT by check_mesh_file.
  const UINT vertex_bytes = static_cast<UINT>(kMeshVertexBytes * l.vertex_count);
  const UINT index_bytes = static_cast<UINT>(kTriangleBytes * l.triangle_count);
  IDirect3DVertexBuffer8* vertex_buffer = nullptr;
  IDirect3DIndexBuffer8* index_buffer = nullptr;
  auto release = [&] {
    if (vertex_buffer != nullptr) vertex_buffer->Release();
    if (index_buffer != nullptr) index_buffer->Release();
  };
  if (FAILED(device->CreateVertexBuffer(vertex_bytes, D3DUSAGE_WRITEONLY, kMeshVertexFormat,
                                        D3DPOOL_DEFAULT, &vertex_buffer)) ||
      vertex_buffer == nullptr) {
    release();
    return fail(UploadError::kDeviceFailed, "the mesh's vertex buffer could not be created");
  }
  if (FAILED(device->CreateIndexBuffer(index_bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                       D3DPOOL_DEFAULT, &index_buffer)) ||
      index_buffer == nullptr) {
    release();
    return fail(UploadError::kDeviceFailed, "the mesh's index buffer could not be created");
  }
  BYTE* locked = nullptr;
  if (FAILED(index_buffer->Lock(0, 0, &locked, 0)) || locked == nullptr) {
    release();
    return fail(UploadError::kDeviceFailed, "the mesh's index buffer could not be locked");
  }
  // The buffer holds the indices in the host's order; the file's are
  // little-endian. With an odd T the last value is read from the 2 bytes it
  // shares with the tail, as the file lays it out.
  const uint8_t* indices = file + l.indices;
  for (int64_t i = 0; i < 3 * int64_t{l.triangle_count}; ++i) {
    const uint16_t index = load_u16(indices + 2 * i);
    std::memcpy(locked + 2 * i, &index, 2);
  }
  index_buffer->Unlock();

  MeshRecord& r = MeshTable[n];
  r.fileImage = file;
  r.vertexCount = l.vertex_count;
  r.texCoordCount = l.tex_coord_count;
  r.triangleCount = l.triangle_count;
  r.positions = file + l.positions;
  r.indices = file + l.indices;
  r.texCoords = file + l.tail_start;
  r.vertexNormals = file + l.vertex_normals;
  r.vertexBuffer = vertex_buffer;
  r.indexBuffer = index_buffer;
  MeshCount = n + 1;
  if (error != nullptr) *error = UploadError::kNone;
  return n;
}

}  // namespace mesh
