#include "platform/d3d8/draw_queue.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_local.h"
#include "platform/d3d8/drawing_threads.h"
#include "platform/d3d8/triangle_shader.h"

namespace d3d8 {

namespace {

// The one device whose draws wait, if any: the draws of two devices go
// into one target each, and the calls that need pixels ask their own
// device, so only another device's draw has to find this one.
DeviceState* waiting_device = nullptr;

// One band of rows: every waiting triangle that reaches it, cut to its rows,
// draw by draw, each draw under its own states.
void shade_band(DeviceState& device, raster::DrawQueue& queue, int band, int participant,
                RasterCounters& counted) {
  const int top = band * raster::kBandRows, bottom = top + raster::kBandRows;
  const std::vector<uint32_t>& reaching = queue.in_band[band];
  size_t i = 0;
  while (i < reaching.size()) {
    const uint32_t draw = queue.draw_of[reaching[i]];
    raster::TriangleShader shader(device, queue.draws[draw].states, participant);
    for (; i < reaching.size() && queue.draw_of[reaching[i]] == draw; ++i) {
      const uint32_t index = reaching[i];
      const raster::Triangle& t = queue.triangles[index];
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
          std::atomic_ref<uint8_t>(queue.counted[index]).exchange(1, std::memory_order_relaxed) == 0) {
        raster::count(counted, shaded);
      }
    }
    shader.finish_deferred();
  }
}

void release_and_clear(raster::DrawQueue& queue) {
  for (raster::QueuedDraw& d : queue.draws) {
    if (d.texture != nullptr) d.texture->Release();
  }
  queue.draws.clear();
  queue.triangles.clear();
  queue.draw_of.clear();
  queue.counted.clear();
  for (std::vector<uint32_t>& band : queue.in_band) band.clear();
}

}  // namespace

raster::DrawQueue& queue_draw(DeviceState& device, const raster::DrawStates& states,
                              IDirect3DBaseTexture8* texture) {
  if (waiting_device != nullptr && waiting_device != &device) finish_queued_draws(*waiting_device);
  if (!device.queued_draws) device.queued_draws = std::make_shared<raster::DrawQueue>();
  raster::DrawQueue& queue = *device.queued_draws;
  if (queue.full()) finish_queued_draws(device);
  if (texture != nullptr) texture->AddRef();
  queue.draws.push_back({states, texture});
  waiting_device = &device;
  return queue;
}

bool has_queued_draws(const DeviceState& device) {
  return device.queued_draws && !device.queued_draws->draws.empty();
}

void finish_queued_draws(DeviceState& device) {
  if (!has_queued_draws(device)) return;
  raster::DrawQueue& queue = *device.queued_draws;
  if (!queue.triangles.empty()) {
    const int participants = std::min(drawing_threads(), raster::kBands);
    raster::prepare_scratch(device, participants);
    std::vector<RasterCounters> counted(participants);
    std::atomic<int> next_band{0};
    raster::run_on_drawing_threads(participants, [&](int participant) {
      for (int band = next_band++; band < raster::kBands; band = next_band++) {
        shade_band(device, queue, band, participant, counted[participant]);
      }
    });
    for (const RasterCounters& c : counted) raster::add_counters(c);
  }
  release_and_clear(queue);
  if (waiting_device == &device) waiting_device = nullptr;
}

}  // namespace d3d8
