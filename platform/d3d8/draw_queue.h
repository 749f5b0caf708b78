// Draws waiting for the drawing threads. With more than one thread a draw
// is checked, its vertices processed and its triangles assembled at once,
// on the caller's thread (nothing changed afterwards reaches it), and it
// waits here until something needs the pixels: the end of the scene,
// Present, a clear, a read of the target, a texture about to be widened
// afresh (the waiting draws read the old texels), or another device's draw.
// Then the threads set the waiting triangles up, in chunks side by side,
// and shade them in bands of rows, each band every triangle that reaches it
// in the order drawn: every pixel sees the draws and their triangles in
// submission order, so the picture is the same bytes for any number of
// threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/raster_config.h"
#include "platform/d3d8/raster_types.h"
#include "platform/d3d8/triangle_drawer.h"

class IDirect3DBaseTexture8;

namespace d3d8 {
struct DeviceState;
}

namespace d3d8::raster {

// The frame is cut into four bands of rows per thread, which lets the
// threads even out where the picture is busier, and at most sixteen (thirty
// rows): every band a triangle reaches sets it up for its rows again, which
// a screen layer pays for in every band.
constexpr int kMaxBands = 16;
constexpr int bands_for(int threads) { return threads >= 4 ? kMaxBands : 4 * threads; }
static_assert(kBackBufferHeight % kMaxBands == 0 && kBackBufferHeight % 12 == 0 && kBackBufferHeight % 8 == 0);

// Triangles a thread sets up at a time: enough to outweigh taking them,
// few enough that a large draw spreads over every thread.
constexpr size_t kChunkTriangles = 1024;

// The queue is shaded before it takes a draw beyond this many triangles,
// which bounds its memory (about 60 MB) for draws of any size.
constexpr size_t kMaxQueuedTriangles = 1 << 18;

struct QueuedDraw {
  DrawStates states;
  // Held (AddRef) while the draw waits, so the texels it reads outlive it.
  IDirect3DBaseTexture8* texture = nullptr;
  AssembledDraw assembled;
};

// Triangles [first, end) of a draw, set up by one thread.
struct SetUpChunk {
  uint32_t draw = 0;
  size_t first = 0, end = 0;
  int band_rows = kBackBufferHeight;
  std::vector<Triangle> triangles;
  std::vector<uint32_t> in_band[kMaxBands];  // per band: the triangles reaching it, in order
  // Per triangle: whether it has been counted (raster_counters), set by the
  // first of its bands to shade a pixel of it.
  std::vector<uint8_t> counted;

  void add(const Triangle& t) {
    const auto index = static_cast<uint32_t>(triangles.size());
    triangles.push_back(t);
    counted.push_back(0);
    const int last = (t.y_end - 1) / band_rows;
    for (int band = t.y_begin / band_rows; band <= last; ++band) in_band[band].push_back(index);
  }
};

// Storage kept from frame to frame, so a warm frame allocates nothing: the
// first draw_count draws and chunk_count chunks are in use.
struct DrawQueue {
  std::vector<QueuedDraw> draws;
  size_t draw_count = 0;
  size_t triangle_count = 0;  // of the draws before the last
  std::vector<SetUpChunk> chunks;
  size_t chunk_count = 0;
  int bands = 1;
};

}  // namespace d3d8::raster

namespace d3d8 {

// Starts a waiting draw on the device under `states` (whose texture, when
// the draw reads one, is `texture`), shading first what another device has
// waiting. The caller fills in the draw's vertices and triangles.
raster::AssembledDraw& queue_draw(DeviceState& device, const raster::DrawStates& states,
                                  IDirect3DBaseTexture8* texture);

// Whether the device has draws waiting.
bool has_queued_draws(const DeviceState& device);

// Sets up and shades every draw waiting on the device, on the drawing
// threads; its target then holds every pixel drawn so far.
void finish_queued_draws(DeviceState& device);

}  // namespace d3d8
