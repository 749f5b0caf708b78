// The vertex stage in double precision: the same results on any machine
// with IEEE doubles, and precise enough that a mesh vertex shared by many
// triangles lands on one snapped position for all of them.
#include "platform/d3d8/vertex_processing.h"

#include <cmath>
#include <cstring>

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/triangle.h"

namespace d3d8::raster {

namespace {

constexpr uint32_t kFvfPositionMask = 0x00E;
constexpr uint32_t kFvfPointSize = 0x020;
constexpr int kFvfTexCountShift = 8;
constexpr uint32_t kFvfTexCountMask = 0xF00;

float read_float(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, sizeof f);
  return f;
}

uint32_t read_u32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Non-finite texture coordinates would poison the triangle's planes.
double finite_or_zero(float f) { return std::isfinite(f) ? f : 0.0; }

}  // namespace

bool parse_fvf(uint32_t fvf, VertexFormat& out) {
  out = VertexFormat{};
  uint32_t offset = 0;
  switch (fvf & kFvfPositionMask) {
    case D3DFVF_XYZ: offset = 12; break;
    case D3DFVF_XYZRHW: offset = 16; out.pretransformed = true; break;
    default: return false;
  }
  if (fvf & D3DFVF_NORMAL) offset += 12;
  if (fvf & kFvfPointSize) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    out.diffuse_offset = static_cast<int>(offset);
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) offset += 4;
  const uint32_t sets = (fvf & kFvfTexCountMask) >> kFvfTexCountShift;
  if (sets > 8) return false;
  for (uint32_t set = 0; set < sets; ++set) {
    // D3DFVF_TEXCOORDSIZEn: 0 = two floats, 1 = three, 2 = four, 3 = one.
    static constexpr int kFloats[4] = {2, 3, 4, 1};
    int floats = kFloats[(fvf >> (16 + 2 * set)) & 3];
    if (set == 0) {
      out.texcoord_offset = static_cast<int>(offset);
      out.texcoord_floats = floats;
    }
    offset += 4 * floats;
  }
  out.size_bytes = offset;
  return true;
}

Transform combined_transform(const D3DMATRIX& world, const D3DMATRIX& view,
                             const D3DMATRIX& projection, const TargetSize& target) {
  auto multiply = [](const double a[4][4], const double b[4][4], double out[4][4]) {
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j] + a[i][3] * b[3][j];
      }
    }
  };
  double w[4][4], v[4][4], p[4][4], wv[4][4];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      w[i][j] = world.m[i][j];
      v[i][j] = view.m[i][j];
      p[i][j] = projection.m[i][j];
    }
  }
  Transform t;
  t.target = target;
  multiply(w, v, wv);
  multiply(wv, p, t.m);
  return t;
}

uint8_t outcode_of(const ClipVertex& v) {
  uint8_t code = 0;
  if (!(v.z >= 0.0)) code |= kClipNear;
  if (!(v.z <= v.w)) code |= kClipFar;
  if (!(v.w >= kMinClipW)) code |= kClipW;
  return code;
}

void project(const ClipVertex& v, const TargetSize& target, ScreenVertex& s) {
  // Field by field: assigning a whole fresh ScreenVertex went through a
  // zeroed copy on the stack, whose reads waited on its writes.
  s.snapped = false;
  s.snapped_x = 0;
  s.snapped_y = 0;
  s.in_guard_band = false;
  s.q = 1.0 / v.w;
  s.x = (1.0 + v.x / v.w) * (target.width / 2);
  s.y = (1.0 - v.y / v.w) * (target.height / 2);
  s.z = v.z / v.w;
  s.u = v.u;
  s.v = v.v;
  for (int i = 0; i < 4; ++i) s.colour[i] = v.colour[i];
}

void process_vertex(const uint8_t* bytes, const VertexFormat& format, const Transform& transform,
                    ProcessedVertex& out) {
  out.outcode = 0;
  out.valid = false;
  double u = 0, v = 0;
  if (format.texcoord_offset >= 0) {
    u = finite_or_zero(read_float(bytes + format.texcoord_offset));
    if (format.texcoord_floats >= 2) v = finite_or_zero(read_float(bytes + format.texcoord_offset + 4));
  }
  uint32_t argb = format.diffuse_offset >= 0 ? read_u32(bytes + format.diffuse_offset) : 0xFFFFFFFFu;
  double colour[4];
  for (int i = 0; i < 4; ++i) colour[i] = (argb >> (8 * i)) & 0xFF;

  const float px = read_float(bytes), py = read_float(bytes + 4), pz = read_float(bytes + 8);
  if (format.pretransformed) {
    const float rhw = read_float(bytes + 12);
    out.clip = ClipVertex{};
    ScreenVertex& s = out.screen;
    s.snapped = false;
    s.snapped_x = 0;
    s.snapped_y = 0;
    s.in_guard_band = false;
    // Whole multiples of a float: exact, so scale 1 is the program's position.
    s.x = double{px} * transform.target.scale;
    s.y = double{py} * transform.target.scale;
    s.z = pz;
    s.q = rhw;
    s.u = u;
    s.v = v;
    for (int i = 0; i < 4; ++i) s.colour[i] = colour[i];
    out.valid = std::isfinite(px) && std::isfinite(py) && std::isfinite(pz) && std::isfinite(rhw) &&
                rhw > 0.0f;
    if (out.valid) snap_vertex(s, transform.target);
    return;
  }
  ClipVertex& c = out.clip;
  const double x = px, y = py, z = pz;
  const auto& m = transform.m;
  c.x = x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0];
  c.y = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
  c.z = x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2];
  c.w = x * m[0][3] + y * m[1][3] + z * m[2][3] + m[3][3];
  c.u = u;
  c.v = v;
  for (int i = 0; i < 4; ++i) c.colour[i] = colour[i];
  out.valid = std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z) && std::isfinite(c.w);
  out.outcode = out.valid ? outcode_of(c) : 0;
  if (out.valid && out.outcode == 0) {
    project(c, transform.target, out.screen);
    snap_vertex(out.screen, transform.target);
  } else {
    out.screen = ScreenVertex{};
  }
}

}  // namespace d3d8::raster
