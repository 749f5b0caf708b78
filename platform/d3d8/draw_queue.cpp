#include "platform/d3d8/draw_queue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <memory>

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
  BandSink(raster::DrawQueue& queue, int band, RasterCounters& counted)
      : counted_flags_(queue.counted.data()),
        top_(queue.band_top[band]),
        bottom_(queue.band_top[band + 1]),
        counted_(counted) {}

  void use(raster::TriangleShader* shader) { shader_ = shader; }

  // Whether a triangle with these corners can reach the band: snapping
  // moves a corner by less than a pixel. Every thread asks for every
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

 private:
  uint8_t* counted_flags_;
  const int top_, bottom_;
  RasterCounters& counted_;
  raster::TriangleShader* shader_ = nullptr;
  raster::Triangle triangle_;
  size_t sequence_ = 0;
};

// One band of rows: every waiting triangle that reaches it, set up and cut
// to its rows, draw by draw, each draw under its own states. Returns how
// many triangles were met.
size_t shade_band(DeviceState& device, raster::DrawQueue& queue, int band, RasterCounters& counted) {
  BandSink sink(queue, band, counted);
  for (size_t d = 0; d < queue.draw_count; ++d) {
    const raster::QueuedDraw& draw = queue.draws[d];
    if (draw.assembled.corners.empty()) continue;
    raster::TriangleShader shader(device, draw.states, band);
    sink.use(&shader);
    raster::TriangleDrawer<BandSink> drawer(draw.states, sink);
    drawer.draw(draw.assembled, 0, draw.assembled.triangles());
    shader.finish_deferred();
  }
  return sink.sequence();
}

void release(raster::DrawQueue& queue) {
  for (size_t d = 0; d < queue.draw_count; ++d) {
    raster::QueuedDraw& draw = queue.draws[d];
    if (draw.texture != nullptr) draw.texture->Release();
    draw.texture = nullptr;
  }
  queue.draw_count = 0;
  queue.triangle_count = 0;
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
  if (queue.bands != bands || queue.band_top[bands] != device.height) {
    // Even bands to start from, for a new count of threads.
    queue.bands = bands;
    for (int b = 0; b <= bands; ++b) queue.band_top[b] = device.height * b / bands;
  }
  // Room for every triangle clipping can make of the assembled ones.
  size_t most = 0;
  for (size_t d = 0; d < queue.draw_count; ++d) most += queue.draws[d].assembled.triangles();
  most *= raster::kMaxPolygon - 2;
  if (queue.counted.size() < most) queue.counted.resize(most);
  raster::prepare_scratch(device, bands);
  RasterCounters counted[raster::kMaxBands];
  double seconds[raster::kMaxBands];
  size_t met = 0;
  raster::run_on_drawing_threads(bands, [&](int band) {
    const auto start = std::chrono::steady_clock::now();
    const size_t n = shade_band(device, queue, band, counted[band]);
    if (band == 0) met = n;
    seconds[band] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  });
  for (int b = 0; b < bands; ++b) raster::add_counters(counted[b]);
  std::fill(queue.counted.begin(), queue.counted.begin() + static_cast<std::ptrdiff_t>(met), uint8_t{0});
  int balanced[raster::kMaxBands + 1];
  raster::balance_bands(bands, queue.band_top, seconds, balanced);
  std::copy(balanced, balanced + bands + 1, queue.band_top);
  release(queue);
  if (waiting_device == &device) waiting_device = nullptr;
}

}  // namespace d3d8
