#include "platform/d3d8/draw_queue.h"

#include <algorithm>
#include <cmath>
#include <atomic>
#include <chrono>
#include <memory>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_local.h"
#include "platform/d3d8/drawing_threads.h"
#include "platform/d3d8/triangle_shader.h"

namespace d3d8::raster {

void balance_bands(int bands, const int* top, const double* seconds, int* new_top) {
  // Each band keeps this many rows at least, so a band whose work went to
  // nothing still measures something next time.
  constexpr int kMinRows = 4;
  double total = 0;
  for (int b = 0; b < bands; ++b) total += seconds[b];
  new_top[0] = 0;
  new_top[bands] = kBackBufferHeight;
  if (bands == 1 || !(total > 0)) {
    std::copy(top + 1, top + bands, new_top + 1);
    return;
  }
  // Walk the old bands' work row by row to each even share's border.
  int b = 0;
  double before = 0;  // the work of the old bands above band b
  for (int k = 1; k < bands; ++k) {
    const double share = total * k / bands;
    while (b + 1 < bands && before + seconds[b] < share) before += seconds[b++];
    const int rows = top[b + 1] - top[b];
    const double into = seconds[b] > 0 ? (share - before) / seconds[b] * rows : 0;
    const double target = top[b] + into;
    const int moved = static_cast<int>(std::lround((top[k] + target) / 2));
    new_top[k] = std::clamp(moved, new_top[k - 1] + kMinRows, kBackBufferHeight - (bands - k) * kMinRows);
  }
}

}  // namespace d3d8::raster

namespace d3d8 {

namespace {

// The one device whose draws wait, if any: each device draws into its own
// target, and the calls that need pixels ask their own device, so only
// another device's draw has to find this one.
DeviceState* waiting_device = nullptr;

// Cuts the waiting draws into chunks, in order.
void plan_chunks(raster::DrawQueue& queue) {
  queue.chunk_count = 0;
  for (size_t d = 0; d < queue.draw_count; ++d) {
    const size_t triangles = queue.draws[d].assembled.triangles();
    for (size_t first = 0; first < triangles; first += raster::kChunkTriangles) {
      if (queue.chunks.size() == queue.chunk_count) queue.chunks.emplace_back();
      raster::SetUpChunk& c = queue.chunks[queue.chunk_count++];
      c.draw = static_cast<uint32_t>(d);
      c.first = first;
      c.end = std::min(triangles, first + raster::kChunkTriangles);
      c.bands = queue.bands;
      c.band_top = queue.band_top;
      c.used = 0;
      for (std::vector<uint32_t>& band : c.in_band) band.clear();
    }
  }
}

void set_up_chunk(const raster::DrawQueue& queue, raster::SetUpChunk& chunk) {
  const raster::QueuedDraw& draw = queue.draws[chunk.draw];
  raster::TriangleDrawer<raster::SetUpChunk> drawer(draw.states, chunk);
  drawer.draw(draw.assembled, chunk.first, chunk.end);
}

// Marks a flag that threads share; true for the one thread that marked it
// first. (The compilers' builtin: the web build's library has no
// std::atomic_ref.)
bool first_to_mark(uint8_t& flag) { return __atomic_exchange_n(&flag, uint8_t{1}, __ATOMIC_RELAXED) == 0; }

// One band of rows: every set-up triangle that reaches it, cut to its rows,
// draw by draw, each draw under its own states.
void shade_band(DeviceState& device, raster::DrawQueue& queue, int band, int participant,
                RasterCounters& counted) {
  const int top = queue.band_top[band], bottom = queue.band_top[band + 1];
  size_t c = 0;
  while (c < queue.chunk_count) {
    const uint32_t draw = queue.chunks[c].draw;
    raster::TriangleShader shader(device, queue.draws[draw].states, participant);
    for (; c < queue.chunk_count && queue.chunks[c].draw == draw; ++c) {
      raster::SetUpChunk& chunk = queue.chunks[c];
      for (const uint32_t index : chunk.in_band[band]) {
        const raster::Triangle& t = chunk.triangles[index];
        if (t.y_begin >= top && t.y_end <= bottom) {
          raster::count(counted, shader.shade(t));
          continue;
        }
        raster::Triangle cut = t;
        cut.y_begin = std::max(t.y_begin, top);
        cut.y_end = std::min(t.y_end, bottom);
        const raster::TriangleShader::Shaded shaded = shader.shade(cut);
        // Counted once, by whichever of its bands first covers a pixel.
        if (shaded.path != raster::TriangleShader::Path::none &&
            first_to_mark(chunk.counted[index])) {
          raster::count(counted, shaded);
        }
      }
    }
    shader.finish_deferred();
  }
}

void release(raster::DrawQueue& queue) {
  for (size_t d = 0; d < queue.draw_count; ++d) {
    raster::QueuedDraw& draw = queue.draws[d];
    if (draw.texture != nullptr) draw.texture->Release();
    draw.texture = nullptr;
  }
  queue.draw_count = 0;
  queue.triangle_count = 0;
  queue.chunk_count = 0;
}

}  // namespace

raster::AssembledDraw& queue_draw(DeviceState& device, const raster::DrawStates& states,
                                  IDirect3DBaseTexture8* texture) {
  if (waiting_device != nullptr && waiting_device != &device) finish_queued_draws(*waiting_device);
  if (!device.queued_draws) device.queued_draws = std::make_shared<raster::DrawQueue>();
  raster::DrawQueue& queue = *device.queued_draws;
  if (queue.draw_count > 0) {
    queue.triangle_count += queue.draws[queue.draw_count - 1].assembled.triangles();
    if (queue.triangle_count >= raster::kMaxQueuedTriangles) finish_queued_draws(device);
  }
  if (queue.draws.size() == queue.draw_count) queue.draws.emplace_back();
  raster::QueuedDraw& draw = queue.draws[queue.draw_count++];
  if (texture != nullptr) texture->AddRef();
  draw.states = states;
  draw.texture = texture;
  // The vertices are left for the caller to resize (process_vertex writes
  // every field): a warm frame then zeroes nothing.
  draw.assembled.corners.clear();
  waiting_device = &device;
  return draw.assembled;
}

bool has_queued_draws(const DeviceState& device) {
  return device.queued_draws && device.queued_draws->draw_count > 0;
}

void finish_queued_draws(DeviceState& device) {
  if (!has_queued_draws(device)) return;
  raster::DrawQueue& queue = *device.queued_draws;
  const int threads = drawing_threads();
  const int bands = std::min(threads, raster::kMaxBands);
  if (queue.bands != bands) {
    // Even bands to start from, for a new count of threads.
    queue.bands = bands;
    for (int b = 0; b <= bands; ++b) queue.band_top[b] = kBackBufferHeight * b / bands;
  }
  plan_chunks(queue);
  if (queue.chunk_count > 0) {
    std::atomic<size_t> next_chunk{0};
    raster::run_on_drawing_threads(std::min<int>(threads, static_cast<int>(queue.chunk_count)), [&](int) {
      for (size_t c = next_chunk++; c < queue.chunk_count; c = next_chunk++) set_up_chunk(queue, queue.chunks[c]);
    });
    raster::prepare_scratch(device, bands);
    RasterCounters counted[raster::kMaxBands];
    double seconds[raster::kMaxBands];
    raster::run_on_drawing_threads(bands, [&](int band) {
      const auto start = std::chrono::steady_clock::now();
      shade_band(device, queue, band, band, counted[band]);
      seconds[band] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    for (int b = 0; b < bands; ++b) raster::add_counters(counted[b]);
    int balanced[raster::kMaxBands + 1];
    raster::balance_bands(bands, queue.band_top, seconds, balanced);
    std::copy(balanced, balanced + bands + 1, queue.band_top);
  }
  release(queue);
  if (waiting_device == &device) waiting_device = nullptr;
}

}  // namespace d3d8
