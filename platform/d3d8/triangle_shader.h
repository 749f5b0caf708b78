// Shading set-up triangles into a device's target, in the order given,
// through the fast paths where they apply and the reference path
// elsewhere. One shader per thread and draw: each has its own scratch,
// counts what it shades in its own counters, and writes only the rows of
// the triangles it is handed.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_local.h"
#include "platform/d3d8/raster_types.h"
#if defined(TUULI_KERNELS_SSE2)
#include "platform/d3d8/fast_paths.h"
#endif

namespace d3d8::raster {

class TriangleShader {
 public:
  // The device's scratch for `participant` must have been made first
  // (prepare_scratch).
  TriangleShader(DeviceState& device, const DrawStates& states, int participant);
  // Every pixel handed over is written when it returns.
  ~TriangleShader() { finish_deferred(); }
  TriangleShader(const TriangleShader&) = delete;
  TriangleShader& operator=(const TriangleShader&) = delete;

  // Which path shaded a triangle: none when it covered no pixel.
  enum class Path { none, layer, simd, reference };
  struct Shaded {
    Path path = Path::none;
    bool narrow = false;  // covered by the lane-per-column edge test
  };
  Shaded shade(const Triangle& triangle);
  // Writes the pixels the fast paths hold back to share work with the
  // next triangles'.
  void finish_deferred();

 private:
  const DrawStates& states_;
  uint16_t* colour_;
  uint32_t* colour_xrgb_;  // a 32-bit target's, else null
  uint16_t* depth_;
#if defined(TUULI_KERNELS_SSE2)
  RasterScratch* scratch_ = nullptr;
  const MeshPath mesh_path_;
#endif
  Span spans_[kMaxSpans];
};

// Makes the scratch of participants 0 .. participants - 1, on the calling
// thread, before any of them shades. Value-initialised: zero bytes, which
// every queue in it reads as empty.
void prepare_scratch(DeviceState& device, int participants);

// Counts a shaded triangle into `counters`. Inline: it runs once per
// triangle on every path.
inline void count(RasterCounters& counters, TriangleShader::Shaded shaded) {
  using Path = TriangleShader::Path;
  if (shaded.path == Path::none) return;
  counters.narrow_triangles += shaded.narrow ? 1 : 0;
  counters.layer_triangles += shaded.path == Path::layer ? 1 : 0;
  counters.simd_triangles += shaded.path == Path::simd ? 1 : 0;
  counters.reference_triangles += shaded.path == Path::reference ? 1 : 0;
}
// Adds counts to the process's raster_counters.
void add_counters(const RasterCounters& counted);

}  // namespace d3d8::raster
