#include "platform/d3d8/draw_queue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_local.h"
#include "platform/d3d8/clipper.h"
#include "platform/d3d8/drawing_threads.h"
#include "platform/d3d8/triangle_shader.h"

namespace d3d8::raster {

void balance_bands(int bands, const int* top, const double* seconds, int* new_top) {
  // Each band keeps this many rows at least, so a band whose work went to
  // nothing still measures something next time.
  constexpr int kMinRows = 4;
  double total = 0;
  for (int b = 0; b < bands; ++b) total += seconds[b];
  const int height = top[bands];
  new_top[0] = 0;
  new_top[bands] = height;
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
    new_top[k] = std::clamp(moved, new_top[k - 1] + kMinRows, height - (bands - k) * kMinRows);
  }
}

}  // namespace d3d8::raster

namespace d3d8 {

namespace {

// The one device whose draws wait, if any: each device draws into its own
// target, and the calls that need pixels ask their own device, so only
// another device's draw has to find this one.
DeviceState* waiting_device = nullptr;

// Marks a flag that threads share; true for the one thread that marked it
// first. (The compilers' builtin: the web build's library has no
// std::atomic_ref.)
bool first_to_mark(uint8_t& flag) { return __atomic_exchange_n(&flag, uint8_t{1}, __ATOMIC_RELAXED) == 0; }

// Set-up triangles of one band, shaded as they come, cut to its rows.
class BandSink {
 public:
  BandSink(const raster::DrawQueue& queue, int band, RasterCounters& counted)
      : top_(queue.band_top[band]), bottom_(queue.band_top[band + 1]), counted_(counted) {}

  // The draw whose triangles come next, under its shader.
  void use(raster::TriangleShader* shader, raster::QueuedDraw& draw) {
    shader_ = shader;
    counted_flags_ = draw.counted.data();
    sequence_ = 0;
  }

  // Whether a triangle with these corners can reach the band: snapping
  // moves a corner by less than a pixel. Every band asks for every
  // triangle in the same order, which numbers them alike.
  bool reaches(const raster::ScreenVertex& a, const raster::ScreenVertex& b, const raster::ScreenVertex& c) {
    ++sequence_;
    const double low = std::min({a.y, b.y, c.y}), high = std::max({a.y, b.y, c.y});
    return !(high < top_ - 1 || low > bottom_ + 1);
  }
  raster::Triangle& next() { return triangle_; }
  void keep() {
    raster::Triangle& t = triangle_;
    if (t.y_end <= top_ || t.y_begin >= bottom_) return;
    if (t.y_begin >= top_ && t.y_end <= bottom_) {
      raster::count(counted_, shader_->shade(t));
      return;
    }
    t.y_begin = std::max(t.y_begin, top_);
    t.y_end = std::min(t.y_end, bottom_);
    const raster::TriangleShader::Shaded shaded = shader_->shade(t);
    // Counted once, by whichever of its bands first covers a pixel.
    if (shaded.path != raster::TriangleShader::Path::none && first_to_mark(counted_flags_[sequence_ - 1])) {
      raster::count(counted_, shaded);
    }
  }
  size_t sequence() const { return sequence_; }

  // The draw's triangles in order. One whose corners need no clipping and
  // lie well away from the band is numbered, as reaches() would have, and
  // passed over without reading its vertices: every band meets every
  // triangle, and most lie in the others' rows.
  void draw(raster::TriangleDrawer<BandSink>& drawer, const raster::AssembledDraw& draw) {
    const uint32_t* corner = draw.corners.data();
    const int32_t* row = draw.rows.data();
    const size_t triangles = draw.triangles();
    for (size_t i = 0; i < triangles; ++i, corner += 3) {
      const int32_t a = row[corner[0]], b = row[corner[1]], c = row[corner[2]];
      if (a != raster::kClippedRow && b != raster::kClippedRow && c != raster::kClippedRow) {
        // Each row is the floor of its y, so y < row + 1: the same test as
        // reaches(), on bounds a row wider.
        if (std::max({a, b, c}) + 1 < top_ - 1 || std::min({a, b, c}) > bottom_ + 1) {
          ++sequence_;
          continue;
        }
      }
      drawer.draw(draw, i, i + 1);
    }
  }

 private:
  const int top_, bottom_;
  RasterCounters& counted_;
  uint8_t* counted_flags_ = nullptr;
  raster::TriangleShader* shader_ = nullptr;
  raster::Triangle triangle_;
  size_t sequence_ = 0;
};

// Items of shared work at a time: a few tens of microseconds of vertices,
// so a band that joins late still finds some, and taking one is rare.
constexpr size_t kSharedChunk = 512;

// Takes chunks of the shared work until none is left.
void take_shared(raster::DrawQueue& queue) {
  const std::function<void(size_t, size_t)>& work = *queue.shared_work;
  const size_t count = queue.shared_count;
  for (;;) {
    const size_t first = queue.shared_next.fetch_add(kSharedChunk, std::memory_order_relaxed);
    if (first >= count) return;
    work(first, std::min(first + kSharedChunk, count));
  }
}

// One band of rows, on its drawing thread: every draw as it becomes ready,
// its triangles that reach the band set up and cut to its rows, each draw
// under its own states, until the queue closes.
void shade_band(DeviceState& device, raster::DrawQueue& queue, int band) {
  // Counted here and stored once: the bands' counters share cache lines,
  // which a count per triangle would pass from core to core.
  RasterCounters counted;
  BandSink sink(queue, band, counted);
  size_t d = 0;
  uint64_t shared_seen = 0;
  for (;;) {
    size_t ready;
    {
      std::unique_lock<std::mutex> lock(queue.mutex);
      auto sharing = [&] { return queue.shared_open && queue.shared_round != shared_seen; };
      queue.more.wait(lock, [&] { return queue.ready > d || queue.closing || sharing(); });
      if (sharing()) {
        // First, as the caller waits for it to build the next draw.
        shared_seen = queue.shared_round;
        queue.shared_inside.fetch_add(1, std::memory_order_relaxed);
        lock.unlock();
        take_shared(queue);
        queue.shared_inside.fetch_sub(1, std::memory_order_release);
        continue;
      }
      ready = queue.ready;
      if (d == ready) break;  // closing, and every draw shaded
    }
    for (; d < ready; ++d) {
      raster::QueuedDraw& draw = queue.draw(d);
      if (draw.clear) {
        clear_rows(device, draw.clear_flags, draw.clear_colour, draw.clear_z, queue.band_top[band],
                   queue.band_top[band + 1]);
        continue;
      }
      if (draw.assembled.corners.empty()) continue;
      raster::TriangleShader shader(device, draw.states, band);
      sink.use(&shader, draw);
      raster::TriangleDrawer<BandSink> drawer(draw.states, sink);
      sink.draw(drawer, draw.assembled);
      shader.finish_deferred();
      if (band == 0) draw.met = sink.sequence();
    }
  }
  // Closing: copy_to, set with it, is seen.
  if (queue.copy_to != nullptr) {
    copy_rows(device, *queue.copy_to, queue.band_top[band], queue.band_top[band + 1]);
  }
  queue.counters[band] = counted;
  queue.band_end[band] = std::chrono::steady_clock::now();
}

// Starts the drawing threads on an empty queue, one band each.
void start_bands(DeviceState& device, raster::DrawQueue& queue) {
  const int bands = std::min(drawing_threads(), raster::kMaxBands);
  if (queue.bands != bands || queue.band_top[bands] != device.height) {
    // Even bands to start from, for a new count of threads.
    queue.bands = bands;
    for (int b = 0; b <= bands; ++b) queue.band_top[b] = device.height * b / bands;
  }
  raster::prepare_scratch(device, bands);
  queue.ready = 0;
  queue.closing = false;
  queue.running = true;
  // Bands 1 .. bands - 1 start now on the pool; band 0 is the caller's,
  // shaded when it finishes the queue. So there are as many drawing
  // threads as cores, the caller among them: one more (band 0 on the pool
  // too) made a two-core capture slower, its wake-ups costing more than
  // the overlap gave.
  queue.work = [&device, &queue](int participant) { shade_band(device, queue, participant + 1); };
  raster::start_on_drawing_threads(bands - 1, queue.work);
}

void release(raster::DrawQueue& queue) {
  for (size_t d = 0; d < queue.draw_count; ++d) {
    raster::QueuedDraw& draw = queue.draw(d);
    std::fill(draw.counted.begin(), draw.counted.begin() + static_cast<std::ptrdiff_t>(draw.met), uint8_t{0});
    draw.met = 0;
    if (draw.texture != nullptr) draw.texture->Release();
    draw.texture = nullptr;
  }
  queue.draw_count = 0;
  queue.triangle_count = 0;
  for (std::vector<uint32_t>& texels : queue.retired_texels) {
    if (queue.spare_texels.size() < raster::kMaxSpareTexels) queue.spare_texels.push_back(std::move(texels));
  }
  queue.retired_texels.clear();
}

}  // namespace

raster::AssembledDraw& queue_draw(DeviceState& device, const raster::DrawStates& states,
                                  IDirect3DBaseTexture8* texture) {
  if (waiting_device != nullptr && waiting_device != &device) finish_queued_draws(*waiting_device);
  if (!device.queued_draws) device.queued_draws = std::make_shared<raster::DrawQueue>();
  raster::DrawQueue& queue = *device.queued_draws;
  if (queue.draw_count > 0) {
    queue.triangle_count += queue.draw(queue.draw_count - 1).assembled.triangles();
    if (queue.triangle_count >= raster::kMaxQueuedTriangles ||
        queue.draw_count == raster::kDrawsPerBlock * raster::kMaxDrawBlocks) {
      finish_queued_draws(device);
    }
  }
  std::unique_ptr<raster::QueuedDraw[]>& block = queue.blocks[queue.draw_count / raster::kDrawsPerBlock];
  if (!block) block = std::make_unique<raster::QueuedDraw[]>(raster::kDrawsPerBlock);
  raster::QueuedDraw& draw = queue.draw(queue.draw_count++);
  if (texture != nullptr) texture->AddRef();
  draw.states = states;
  draw.texture = texture;
  draw.clear = false;
  // The vertices are left for the caller to resize (process_vertex writes
  // every field): a warm frame then zeroes nothing.
  draw.assembled.corners.clear();
  waiting_device = &device;
  return draw.assembled;
}

void publish_queued_draw(DeviceState& device) {
  raster::DrawQueue& queue = *device.queued_draws;
  raster::QueuedDraw& draw = queue.draw(queue.draw_count - 1);
  // Room for every triangle clipping can make of the assembled ones; the
  // flags past the last draw's are still zero.
  const size_t most = draw.assembled.triangles() * (raster::kMaxPolygon - 2);
  if (draw.counted.size() < most) draw.counted.resize(most);
  if (!queue.running) start_bands(device, queue);
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.ready = queue.draw_count;
  }
  queue.more.notify_all();
}

void share_out(DeviceState& device, size_t count, const std::function<void(size_t, size_t)>& work) {
  raster::DrawQueue& queue = *device.queued_draws;
  if (!queue.running) start_bands(device, queue);
  queue.shared_work = &work;
  queue.shared_count = count;
  queue.shared_next.store(0, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.shared_open = true;
    ++queue.shared_round;
  }
  queue.more.notify_all();
  take_shared(queue);
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.shared_open = false;
  }
  // The bands that joined hold the last chunks, each a few microseconds
  // from done.
  while (queue.shared_inside.load(std::memory_order_acquire) != 0) std::this_thread::yield();
}

void queue_clear(DeviceState& device, DWORD flags, D3DCOLOR colour, float z) {
  queue_draw(device, raster::DrawStates{}, nullptr);
  raster::QueuedDraw& draw = device.queued_draws->draw(device.queued_draws->draw_count - 1);
  draw.clear = true;
  draw.clear_flags = flags;
  draw.clear_colour = colour;
  draw.clear_z = z;
  publish_queued_draw(device);
}

bool has_queued_draws(const DeviceState& device) {
  return device.queued_draws && device.queued_draws->draw_count > 0;
}

bool finish_queued_draws(DeviceState& device, const win32::Frame* copy_to) {
  if (!has_queued_draws(device)) return false;
  raster::DrawQueue& queue = *device.queued_draws;
  bool copied = false;
  if (queue.running) {
    const auto finish_start = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::mutex> lock(queue.mutex);
      queue.closing = true;
      queue.copy_to = copy_to;
    }
    queue.more.notify_all();
    shade_band(device, queue, 0);
    raster::wait_for_drawing_threads();
    queue.running = false;
    copied = copy_to != nullptr;
    queue.copy_to = nullptr;
    for (int b = 0; b < queue.bands; ++b) raster::add_counters(queue.counters[b]);
    int balanced[raster::kMaxBands + 1];
    // What each band still had to do once the picture was needed: the
    // pool's bands work while the draws come, the caller's only then, so
    // the borders move until all end together.
    double after_finish[raster::kMaxBands] = {};
    for (int b = 0; b < queue.bands; ++b) {
      after_finish[b] = std::max(0.0, std::chrono::duration<double>(queue.band_end[b] - finish_start).count());
    }
    raster::balance_bands(queue.bands, queue.band_top, after_finish, balanced);
    std::copy(balanced, balanced + queue.bands + 1, queue.band_top);
  }
  release(queue);
  if (waiting_device == &device) waiting_device = nullptr;
  return copied;
}

void finish_waiting_draws() {
  if (waiting_device != nullptr) finish_queued_draws(*waiting_device);
}

void keep_texels_for_waiting_draws(TextureData& data) {
  if (waiting_device == nullptr || data.sampler_texels.empty()) return;
  raster::DrawQueue& queue = *waiting_device->queued_draws;
  size_t retired = data.sampler_texels.size();
  for (const std::vector<uint32_t>& texels : queue.retired_texels) retired += texels.size();
  if (retired > raster::kMaxRetiredTexels) {
    finish_queued_draws(*waiting_device);
    return;
  }
  queue.retired_texels.push_back(std::move(data.sampler_texels));
  data.sampler_texels = {};
  if (!queue.spare_texels.empty()) {
    data.sampler_texels = std::move(queue.spare_texels.back());
    queue.spare_texels.pop_back();
  }
}

}  // namespace d3d8
