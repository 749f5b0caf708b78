// Draws waiting for the drawing threads. With more than one thread a draw
// is checked, clipped and set up at once, on the caller's thread, and its
// triangles wait here until something needs the pixels: the end of the
// scene, Present, a clear, a read of the target, a texture about to be
// widened afresh (the waiting draws read the old texels), or another
// device's draw. Then every thread shades bands of rows, each band all the
// waiting triangles that reach it in the order they were drawn, so every
// pixel sees the draws and triangles in submission order and the picture is
// the same bytes for any number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/raster_types.h"

class IDirect3DBaseTexture8;

namespace d3d8 {
struct DeviceState;
}

namespace d3d8::raster {

// Thirty rows: sixteen bands, enough for two to eight threads to even out
// where the picture is busier, few enough that a small triangle seldom
// reaches two.
constexpr int kBandRows = 30;
constexpr int kBands = kBackBufferHeight / kBandRows;
static_assert(kBackBufferHeight % kBandRows == 0);

// A queue holding this many triangles is shaded before it takes more, which
// bounds its memory (about 50 MB) for draws of any size.
constexpr size_t kMaxQueuedTriangles = 1 << 18;

struct QueuedDraw {
  DrawStates states;
  // Held (AddRef) while the draw waits, so the texels it reads outlive it.
  IDirect3DBaseTexture8* texture = nullptr;
};

struct DrawQueue {
  std::vector<QueuedDraw> draws;
  std::vector<Triangle> triangles;
  std::vector<uint32_t> draw_of;    // per triangle: its index in draws
  // Per triangle: whether it has been counted (raster_counters), set by the
  // first of its bands to shade a pixel of it.
  std::vector<uint8_t> counted;
  std::vector<uint32_t> in_band[kBands];  // per band: the triangles reaching it, in order

  // The triangle joins the last draw.
  void add(const Triangle& t) {
    const auto index = static_cast<uint32_t>(triangles.size());
    triangles.push_back(t);
    draw_of.push_back(static_cast<uint32_t>(draws.size() - 1));
    counted.push_back(0);
    const int last = (t.y_end - 1) / kBandRows;
    for (int band = t.y_begin / kBandRows; band <= last; ++band) in_band[band].push_back(index);
  }
  bool full() const { return triangles.size() >= kMaxQueuedTriangles; }
};

}  // namespace d3d8::raster

namespace d3d8 {

// Starts a queued draw on the device under `states` (whose texture, when
// the draw reads one, is `texture`), shading first what another device
// has waiting; its triangles are then added to the queue returned.
raster::DrawQueue& queue_draw(DeviceState& device, const raster::DrawStates& states,
                              IDirect3DBaseTexture8* texture);

// Whether the device has draws waiting.
bool has_queued_draws(const DeviceState& device);

// Shades every draw waiting on the device, on the drawing threads; its
// target then holds every pixel drawn so far.
void finish_queued_draws(DeviceState& device);

}  // namespace d3d8
