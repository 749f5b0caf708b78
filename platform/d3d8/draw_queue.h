// Draws waiting for the drawing threads. With more than one thread a draw
// is checked, its vertices processed and its triangles assembled at once,
// on the caller's thread (nothing changed afterwards reaches it), and it
// waits here until something needs the pixels: the end of the scene,
// Present, a clear, a read of the target, a texture about to be widened
// afresh (the waiting draws read the old texels), or another device's draw.
// Then each thread takes one band of rows and goes through every waiting
// triangle in the order drawn, setting up and shading those that reach its
// band: every pixel sees the draws and their triangles in submission order,
// so the picture is the same bytes for any number of threads and wherever
// the bands meet.
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

// One band of rows per thread. A triangle reaching two bands is set up and
// shaded by both, each for its own rows (a screen layer pays for its
// columns in each), so bands are few and tall; their borders move from
// frame to frame to where the last frame's work split evenly
// (balance_bands).
constexpr int kMaxBands = 64;

// The borders of `bands` bands (top[0] = 0 .. top[bands] = the height) that
// would have given each band the same share of the work, had the work in
// each old band [top[b], top[b + 1]) been spread evenly over its rows and
// taken seconds[b]; moved halfway there from the old ones, so one unusual
// frame does not throw them, and every band keeps a few rows.
void balance_bands(int bands, const int* top, const double* seconds, int* new_top);

// The queue is shaded before it takes a draw beyond this many triangles,
// which bounds its memory for draws of any size.
constexpr size_t kMaxQueuedTriangles = 1 << 18;

struct QueuedDraw {
  DrawStates states;
  // Held (AddRef) while the draw waits, so the texels it reads outlive it.
  IDirect3DBaseTexture8* texture = nullptr;
  AssembledDraw assembled;
};

// Storage kept from frame to frame, so a warm frame allocates nothing: the
// first draw_count draws are in use.
struct DrawQueue {
  std::vector<QueuedDraw> draws;
  size_t draw_count = 0;
  size_t triangle_count = 0;  // of the draws before the last
  int bands = 0;
  int band_top[kMaxBands + 1] = {};
  // Per triangle set up (clipping may make several of one), in the order
  // every thread meets them: whether it has been counted (raster_counters),
  // set by the first of its bands to shade a pixel of it. All zero between
  // frames.
  std::vector<uint8_t> counted;
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
