// The meshes' public face: mesh files and their upload into device buffers,
// the per-draw software placement of a mesh, and the matrix helpers and
// cameras the mesh scenes set the device's transforms with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mesh/mesh_writer.h"
#include "platform/d3d8/d3d8.h"

namespace mesh {

// ---- Mesh files ------------------------------------------------------------

// Where the arrays of one mesh file lie, as byte offsets from its start.
// The tail (texture coordinates, face normals, vertex normals) starts at the
// end of the triangle array rounded down to 4 bytes, so with an odd triangle
// count the last index and the first 2 bytes of the tail are the same bytes.
struct MeshFileLayout {
  int32_t vertex_count = 0;     // V
  int32_t triangle_count = 0;   // T
  int32_t tex_coord_count = 0;  // N; 0: no texture coordinates
  int64_t positions = 0;
  int64_t indices = 0;
  int64_t tail_start = 0;       // S: the texture coordinates
  int64_t face_normals = 0;
  int64_t vertex_normals = 0;
  int64_t size_bytes = 0;       // the least length a file with these counts needs
};

// Offsets computed from the three counts alone, in 64 bits so that any
// counts a header can hold give exact figures (negative counts give figures
// that check_mesh_file refuses).
MeshFileLayout layout_for_counts(int32_t vertex_count, int32_t triangle_count,
                                 int32_t tex_coord_count);

enum class MeshFileError {
  kNone,
  kShorterThanHeader,     // fewer than the 12 bytes of the three counts
  kNoVertices,            // V is 0 or negative
  kNoTriangles,           // T is 0 or negative
  kNegativeTexCoords,     // N is negative
  kTooFewTexCoords,       // 0 < N < V: a vertex would have no (u, v)
  kTooLarge,              // the vertex buffer would not fit in 32 bits
  kTruncated,             // the file ends before its counts say it does
  kIndexOutOfRange,       // a triangle names a vertex number not below V
  kIndexInTailOutOfRange, // the same, for the last index of an odd triangle count
};

// One line naming the problem, for a message box or a tool's error.
const char* describe(MeshFileError error);

// The single check every mesh file passes before anything reads its arrays.
// On success fills `layout` (may be null). On failure `detail` (may be null)
// receives a sentence with the figures that were wrong.
MeshFileError check_mesh_file(const uint8_t* file, size_t size_bytes, MeshFileLayout* layout,
                              std::string* detail = nullptr);

// Reads a whole checked file into plain arrays (tools, tests). Throws
// std::invalid_argument with the check's sentence for a file that fails it.
MeshData read_mesh_file(const uint8_t* file, size_t size_bytes);

// ---- Upload ----------------------------------------------------------------

struct MeshRecord {
  const uint8_t* fileImage;  // the whole file; kept for the whole run, never freed
  int32_t vertexCount;       // V
  int32_t texCoordCount;     // N (note the order: V, N, T)
  int32_t triangleCount;     // T
  const uint8_t* positions;      // offset 12
  const uint8_t* indices;        // offset 12 + 12 V
  const uint8_t* texCoords;      // offset S
  const uint8_t* vertexNormals;  // offset S + 8 N + 12 T
  IDirect3DVertexBuffer8* vertexBuffer;  // V MeshVertex records, filled by DrawMesh
  IDirect3DIndexBuffer8* indexBuffer;    // 3 T 16-bit indices, filled once at upload
};

constexpr int kMeshTableSize = 20;

// Written only by UploadMesh, at start-up; read by DrawMesh and the tools.
// A record below MeshCount always has both buffers and a checked file.
extern MeshRecord MeshTable[kMeshTableSize];
extern int32_t MeshCount;

enum class UploadError {
  kNone,
  kBadFile,       // check_mesh_file refused it
  kTableFull,     // kMeshTableSize meshes are there already
  kDeviceFailed,  // no device, or a buffer could not be created or locked
};

// Registers the mesh in the next free slot and creates its buffers. The
// caller keeps `file` alive and unchanged for the whole run. Returns the
// mesh number, or -1 when refused; then nothing was registered, `error`
// (may be null) says why and `detail` (may be null) gets a sentence for the
// user naming the problem.
int32_t UploadMesh(const uint8_t* file, size_t size_bytes, UploadError* error = nullptr,
                   std::string* detail = nullptr);

// ---- Drawing ---------------------------------------------------------------

struct MeshVertex {
  float x, y, z;
  uint32_t diffuse;  // ARGB
  float u, v;
};
static_assert(sizeof(MeshVertex) == 24, "the layout of vertex format 0x142");

constexpr DWORD kMeshVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x142

// Written only by the mesh scenes; read by every DrawMesh. They keep their
// values across calls, frames and scene switches.
extern float MeshBaseColour[3];  // red, green, blue on 0..255; above 255 draws as 255
extern float MeshTextureScale;   // factor on both file texture coordinates
extern float MeshTextureUOffset; // added to u after the factor

// Recomputes all vertices of `mesh` into its vertex buffer with the given
// scale, yaw (1024ths of a turn) and offset, then draws it as an indexed
// triangle list with whatever transforms and states the caller has set.
// A mesh number outside 0..MeshCount-1 draws nothing.
void DrawMesh(int32_t mesh, float offsetX, float offsetY, float offsetZ, float scale, float yaw);

// The placement half of DrawMesh: writes record.vertexCount MeshVertex
// records (24 bytes each, no alignment needed) to `out` with the current
// draw settings. The benchmark times it alone.
void place_mesh_vertices(const MeshRecord& record, float offset_x, float offset_y,
                         float offset_z, float scale, float yaw, uint8_t* out);

// The one colour of a draw: each channel clamped above at 255, truncated
// toward zero, low 8 bits; alpha 0.
uint32_t mesh_vertex_colour(const float colour[3]);

// ---- Matrices and cameras --------------------------------------------------

// Row-major, points as row vectors (p * M), left-handed. Each operation
// takes the output first; the output may be any of the inputs.
void MultiplyMatrices(D3DMATRIX* out, const D3DMATRIX* m1, const D3DMATRIX* m2);
void BuildRotationX(D3DMATRIX* out, float angle);
void BuildRotationY(D3DMATRIX* out, float angle);
void BuildLookAtMatrix(D3DMATRIX* out, const Vec3& eye, const Vec3& at, const Vec3& up);
void BuildPerspectiveMatrix(D3DMATRIX* out, float fovY, float aspect, float zn, float zf);

// WORLD = rotation about y by yAngle, then about x by xAngle (radians).
void SetWorldRotation(float yAngle, float xAngle);

// The headless scene's constant camera: VIEW and PROJECTION.
void SetFixedCamera();

// The projection every mesh scene uses: 45 degrees, 4:3, near 1, far 100.
constexpr float kCameraFovY = 0.7853982f;     // 0x3F490FDB
constexpr float kCameraAspect = 1.3333334f;   // 0x3FAAAAAB
constexpr float kCameraNear = 1.0f;
constexpr float kCameraFar = 100.0f;

}  // namespace mesh
