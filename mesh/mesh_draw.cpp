// Drawing a mesh: every call places all its vertices in software (scale,
// yaw, offset), colours them, picks their texture coordinates, and draws
// the result as an indexed triangle list.
//
// Every arithmetic step is a float32 operation rounded on its own (the build
// forbids fused multiply-adds), which is what a Direct3D 8 program gets: the
// runtime switches the FPU to single precision unless asked to preserve it.
// Placements are compared byte for byte, so any faster path must do the same
// operations in the same order.
#include <bit>
#include <cmath>
#include <cstring>

#include "mesh/little_endian.h"
#include "mesh/mesh.h"
#include "shell/shell.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mesh {

float MeshBaseColour[3] = {0.0f, 0.0f, 0.0f};
float MeshTextureScale = 1.0f;
float MeshTextureUOffset = 0.0f;

namespace {

// The yaw unit's pi is the single-precision 3.14159, not the float nearest
// pi (0x40490FDB); a quarter turn therefore leaves cos a little above 0.
constexpr float kYawPi = 3.14159f;
static_assert(std::bit_cast<uint32_t>(kYawPi) == 0x40490FD0u);
constexpr float kYawUnitsPerHalfTurn = 512.0f;

uint32_t channel_byte(float value) {
  if (value > 255.0f) value = 255.0f;
  // NaN and values below the int32 range convert to 0x80000000 on x86 (the
  // "integer indefinite"), whose low byte is 0; converting them in C++ is
  // undefined, so that result is produced here directly.
  if (!(value >= -2147483648.0f)) return 0;
  return static_cast<uint32_t>(static_cast<int32_t>(value)) & 0xFFu;
}

}  // namespace

uint32_t mesh_vertex_colour(const float colour[3]) {
  return (channel_byte(colour[0]) << 16) | (channel_byte(colour[1]) << 8) | channel_byte(colour[2]);
}

namespace {

#if defined(__SSE2__)
constexpr bool kFourAtATime = std::endian::native == std::endian::little;
#else
constexpr bool kFourAtATime = false;
#endif

// One loop per source of texture coordinates, so the normals' case copies
// their bits untouched (adding an offset of 0 would turn -0 into +0).
template <bool kFromFile>
void place(const MeshRecord& record, float offset_x, float offset_y, float offset_z, float scale,
           float c, float s, uint32_t colour, uint8_t* out) {
  const uint8_t* position = record.positions;
  const uint8_t* uv = kFromFile ? record.texCoords : record.vertexNormals;
  constexpr size_t kUvStride = kFromFile ? 8 : 12;
  const float uv_scale = MeshTextureScale;
  const float u_offset = MeshTextureUOffset;
  const int32_t count = record.vertexCount;
  int32_t i = 0;
#if defined(__SSE2__)
  if constexpr (kFourAtATime) {
    // Four vertices a pass, each lane doing the scalar loop's operations in
    // the same order, so the bytes are the same.
    const __m128 v_scale = _mm_set1_ps(scale), v_c = _mm_set1_ps(c), v_s = _mm_set1_ps(s);
    const __m128 v_ox = _mm_set1_ps(offset_x), v_oy = _mm_set1_ps(offset_y);
    const __m128 v_oz = _mm_set1_ps(offset_z);
    const __m128 v_uv_scale = _mm_set1_ps(uv_scale), v_u_offset = _mm_set1_ps(u_offset);
    const __m128 v_colour = _mm_castsi128_ps(_mm_set1_epi32(static_cast<int>(colour)));
    for (; i + 4 <= count; i += 4) {
      // Three (x, y, z) records in a row: a = x0 y0 z0 x1, b = y1 z1 x2 y2,
      // d = z2 x3 y3 z3.
      const auto* p = reinterpret_cast<const float*>(position + 12 * static_cast<size_t>(i));
      const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4), d = _mm_loadu_ps(p + 8);
      const __m128 x = _mm_shuffle_ps(a, _mm_shuffle_ps(b, d, _MM_SHUFFLE(1, 1, 2, 2)),
                                      _MM_SHUFFLE(2, 0, 3, 0));
      const __m128 y = _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1)),
                                      _mm_shuffle_ps(b, d, _MM_SHUFFLE(2, 2, 3, 3)),
                                      _MM_SHUFFLE(2, 0, 2, 0));
      const __m128 z = _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2)), d,
                                      _MM_SHUFFLE(3, 0, 2, 0));
      __m128 u, v;
      const auto* t = reinterpret_cast<const float*>(uv + kUvStride * static_cast<size_t>(i));
      if constexpr (kFromFile) {
        const __m128 e = _mm_loadu_ps(t), f = _mm_loadu_ps(t + 4);  // u0 v0 u1 v1, u2 v2 u3 v3
        u = _mm_add_ps(_mm_mul_ps(_mm_shuffle_ps(e, f, _MM_SHUFFLE(2, 0, 2, 0)), v_uv_scale), v_u_offset);
        v = _mm_mul_ps(_mm_shuffle_ps(e, f, _MM_SHUFFLE(3, 1, 3, 1)), v_uv_scale);
      } else {
        // The normals are laid out like the positions: the same moves pick
        // out their x and y, with no arithmetic on the bits.
        const __m128 na = _mm_loadu_ps(t), nb = _mm_loadu_ps(t + 4), nd = _mm_loadu_ps(t + 8);
        u = _mm_shuffle_ps(na, _mm_shuffle_ps(nb, nd, _MM_SHUFFLE(1, 1, 2, 2)), _MM_SHUFFLE(2, 0, 3, 0));
        v = _mm_shuffle_ps(_mm_shuffle_ps(na, nb, _MM_SHUFFLE(0, 0, 1, 1)),
                           _mm_shuffle_ps(nb, nd, _MM_SHUFFLE(2, 2, 3, 3)), _MM_SHUFFLE(2, 0, 2, 0));
      }
      const __m128 sx = _mm_mul_ps(x, v_scale);
      const __m128 sy = _mm_mul_ps(y, v_scale);
      const __m128 sz = _mm_mul_ps(z, v_scale);
      const __m128 tx = _mm_sub_ps(_mm_mul_ps(sx, v_c), _mm_mul_ps(sz, v_s));
      const __m128 tz = _mm_add_ps(_mm_mul_ps(sz, v_c), _mm_mul_ps(sx, v_s));
      const __m128 px = _mm_add_ps(tx, v_ox);
      const __m128 py = _mm_add_ps(sy, v_oy);
      const __m128 pz = _mm_add_ps(tz, v_oz);
      // Back to four 24-byte records: x y z colour u v.
      const __m128 xy_lo = _mm_unpacklo_ps(px, py), xy_hi = _mm_unpackhi_ps(px, py);
      const __m128 zc_lo = _mm_unpacklo_ps(pz, v_colour), zc_hi = _mm_unpackhi_ps(pz, v_colour);
      const __m128 uv_lo = _mm_unpacklo_ps(u, v), uv_hi = _mm_unpackhi_ps(u, v);
      auto* o = reinterpret_cast<float*>(out + 24 * static_cast<size_t>(i));
      _mm_storeu_ps(o, _mm_movelh_ps(xy_lo, zc_lo));
      _mm_storeu_ps(o + 4, _mm_shuffle_ps(uv_lo, xy_lo, _MM_SHUFFLE(3, 2, 1, 0)));
      _mm_storeu_ps(o + 8, _mm_movehl_ps(uv_lo, zc_lo));
      _mm_storeu_ps(o + 12, _mm_movelh_ps(xy_hi, zc_hi));
      _mm_storeu_ps(o + 16, _mm_shuffle_ps(uv_hi, xy_hi, _MM_SHUFFLE(3, 2, 1, 0)));
      _mm_storeu_ps(o + 20, _mm_movehl_ps(uv_hi, zc_hi));
    }
  }
#endif
  for (; i < count; ++i) {
    const uint8_t* p = position + 12 * static_cast<size_t>(i);
    const float x = load_f32(p) * scale;
    const float y = load_f32(p + 4) * scale;
    const float z = load_f32(p + 8) * scale;
    const float turned_x = x * c - z * s;
    const float turned_z = z * c + x * s;
    const uint8_t* t = uv + kUvStride * static_cast<size_t>(i);
    MeshVertex v;
    v.x = turned_x + offset_x;
    v.y = y + offset_y;
    v.z = turned_z + offset_z;
    v.diffuse = colour;
    if constexpr (kFromFile) {
      v.u = load_f32(t) * uv_scale + u_offset;
      v.v = load_f32(t + 4) * uv_scale;
    } else {
      v.u = load_f32(t);
      v.v = load_f32(t + 4);
    }
    std::memcpy(out + 24 * static_cast<size_t>(i), &v, 24);
  }
}

}  // namespace

void place_mesh_vertices(const MeshRecord& record, float offset_x, float offset_y,
                         float offset_z, float scale, float yaw, uint8_t* out) {
  const float theta = yaw * kYawPi / kYawUnitsPerHalfTurn;
  const float c = static_cast<float>(std::cos(static_cast<double>(theta)));
  const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
  const uint32_t colour = mesh_vertex_colour(MeshBaseColour);
  if (record.texCoordCount != 0) {
    place<true>(record, offset_x, offset_y, offset_z, scale, c, s, colour, out);
  } else {
    place<false>(record, offset_x, offset_y, offset_z, scale, c, s, colour, out);
  }
}

void DrawMesh(int32_t mesh, float offsetX, float offsetY, float offsetZ, float scale, float yaw) {
  // Only uploaded meshes have a checked file and both buffers.
  if (mesh < 0 || mesh >= MeshCount) return;
  IDirect3DDevice8* device = shell::Device;
  if (device == nullptr) return;
  const MeshRecord& record = MeshTable[mesh];
  BYTE* vertices = nullptr;
  // A buffer that cannot be locked holds some other placement (or none):
  // drawing it would show the mesh in the wrong place, so nothing is drawn.
  if (FAILED(record.vertexBuffer->Lock(0, 0, &vertices, 0)) || vertices == nullptr) return;
  place_mesh_vertices(record, offsetX, offsetY, offsetZ, scale, yaw, vertices);
  record.vertexBuffer->Unlock();
  device->SetIndices(record.indexBuffer, 0);
  device->SetVertexShader(kMeshVertexFormat);
  device->SetStreamSource(0, record.vertexBuffer, sizeof(MeshVertex));
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(record.vertexCount), 0,
                               static_cast<UINT>(record.triangleCount));
}

}  // namespace mesh
