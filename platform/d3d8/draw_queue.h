// Draws waiting for the drawing threads. With more than one thread a draw
// is checked, its vertices processed and its triangles assembled at once,
// during the call (nothing changed afterwards reaches it), and it joins the
// device's queue; a large draw's vertices are processed and its triangles
// assembled by the drawing threads that wait for it too (share_out). The pool's drawing
// threads start on the queue's first draw and shade each draw as it joins,
// while the caller goes on to build the next (decoding a clip, processing
// vertices). The caller shades its own band, and waits for the others,
// only when something needs the pixels: the end of the scene, Present, a
// read of the target, or another device's draw. A clear joins the queue
// like a draw. A texture widened afresh while draws wait (a clip's next
// frame) is widened into other storage: the waiting draws keep reading the
// old texels (keep_texels_for_waiting_draws).
// Each thread takes one band of rows and goes through every draw in the
// order drawn, setting up and shading the triangles that reach its band:
// every pixel sees the draws and their triangles in submission order, so
// the picture is the same bytes for any number of threads and wherever the
// bands meet.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/d3d8/d3d8.h"
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

// The queue is finished before it takes a draw beyond this many triangles
// or draws, which bounds its memory for draws of any size and number.
constexpr size_t kMaxQueuedTriangles = 1 << 18;
constexpr size_t kDrawsPerBlock = 64;
constexpr size_t kMaxDrawBlocks = 64;
// Texels of the widened copies kept for waiting draws (a texture drawn while
// locked is widened afresh for every draw): past this the queue is finished
// instead. And how many copies are kept spare for the next widenings (a few
// are widened a frame).
constexpr size_t kMaxRetiredTexels = size_t{4} << 20;
constexpr size_t kMaxSpareTexels = 8;

struct QueuedDraw {
  DrawStates states;
  // Held (AddRef) while the draw waits, so the texels it reads outlive it.
  IDirect3DBaseTexture8* texture = nullptr;
  AssembledDraw assembled;
  // A clear rather than a draw (no triangles), under Clear's arguments.
  bool clear = false;
  DWORD clear_flags = 0;
  D3DCOLOR clear_colour = 0;
  float clear_z = 0;
  // Per triangle set up (clipping may make several of one), in the order
  // every band meets them: whether it has been counted (raster_counters),
  // set by the first of its bands to shade a pixel of it; `met` of them
  // (band 0 says how many), all zero again once the queue is finished.
  std::vector<uint8_t> counted;
  size_t met = 0;
};

// Storage kept from frame to frame, so a warm frame allocates nothing: the
// first draw_count draws are in use. Draws live in blocks that never move,
// so the drawing threads read one while the caller fills the next.
struct DrawQueue {
  std::unique_ptr<QueuedDraw[]> blocks[kMaxDrawBlocks];
  QueuedDraw& draw(size_t i) { return blocks[i / kDrawsPerBlock][i % kDrawsPerBlock]; }
  size_t draw_count = 0;      // filled or being filled (the caller's)
  size_t triangle_count = 0;  // of the draws before the last (the caller's)
  int bands = 0;
  int band_top[kMaxBands + 1] = {};

  // Between the caller and the drawing threads.
  std::mutex mutex;
  std::condition_variable more;
  size_t ready = 0;        // draws the threads may shade: guarded by mutex
  bool closing = false;    // no draw comes after `ready`: guarded by mutex
  bool running = false;    // the threads are on this queue (the caller's)
  std::function<void(int)> work;  // what each band runs, kept for the round
  // Where each band copies its rows when the round ends, if anywhere: set
  // with closing.
  const win32::Frame* copy_to = nullptr;

  // Work the caller shares out while it builds a draw (share_out): open
  // for bands to join, and which sharing it is; guarded by mutex. The
  // rest is set before it opens and left alone until every band that
  // joined has left.
  bool shared_open = false;
  uint64_t shared_round = 0;
  const std::function<void(size_t, size_t)>* shared_work = nullptr;
  size_t shared_count = 0;
  std::atomic<size_t> shared_next{0};  // the first item no one has taken
  std::atomic<int> shared_inside{0};   // bands working on it

  // Widened texture copies that waiting draws still read, their texture
  // having been widened afresh into other storage meanwhile; spare once
  // the draws are shaded, for the next widening to take (the caller's).
  std::vector<std::vector<uint32_t>> retired_texels;
  std::vector<std::vector<uint32_t>> spare_texels;

  // Written by each band, read once the round is over.
  RasterCounters counters[kMaxBands];
  std::chrono::steady_clock::time_point band_end[kMaxBands];
};

}  // namespace d3d8::raster

namespace d3d8 {

// Starts a waiting draw on the device under `states` (whose texture, when
// the draw reads one, is `texture`), shading first what another device has
// waiting. The caller fills in the draw's vertices and triangles, then
// hands it to the drawing threads (publish_queued_draw).
raster::AssembledDraw& queue_draw(DeviceState& device, const raster::DrawStates& states,
                                  IDirect3DBaseTexture8* texture);
void publish_queued_draw(DeviceState& device);

// Runs work(first, end) over items [0, count) of the draw being built, in
// chunks, on the calling thread and on any drawing thread that waits for
// draws meanwhile; every item has been worked on, and what the work wrote
// is visible here, when it returns. For building a large draw (its
// vertices and triangles), which the bands would otherwise wait for on one
// core.
void share_out(DeviceState& device, size_t count, const std::function<void(size_t first, size_t end)>& work);

// Queues a clear of the device's target (Clear's arguments), after the
// draws waiting.
void queue_clear(DeviceState& device, DWORD flags, D3DCOLOR colour, float z);

// Whether the device has draws waiting.
bool has_queued_draws(const DeviceState& device);

// Waits for the drawing threads to shade every draw waiting on the
// device; its target then holds every pixel drawn so far. With `copy_to`
// (a picture of the target's size and format), each band also copies its
// rows there once shaded: true when it did, false when nothing waited (and
// nothing was copied).
bool finish_queued_draws(DeviceState& device, const win32::Frame* copy_to = nullptr);

// The same for whichever device has draws waiting, if any.
void finish_waiting_draws();

// Called before `data` is widened afresh while draws may wait: the widened
// copy they read moves aside, to be kept until they are shaded, and the
// new widening goes into other storage. Nothing waits for the drawing
// threads here, unless the kept copies would pass kMaxRetiredTexels: then
// the waiting draws are shaded first.
void keep_texels_for_waiting_draws(TextureData& data);

}  // namespace d3d8
