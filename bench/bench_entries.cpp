// What the demo itself draws: one frame from the middle of each timeline
// entry, recorded from the demo running headless on the default media pack
// and drawn again through the device (raster.entryNN_ms,
// raster.slowest_entry_ms), on one thread and on every drawing thread
// (raster.mt.*). Only drawing is timed: the frame's clears and
// draw calls, with the clip frames already decoded into its textures.
//   bench_entries [MEDIA_DIR]   (default: the build's media-pack)
// TUULI_BENCH_ENTRIES=6,10,12 draws only those entries (for a profiler);
// TUULI_BENCH_THREADS=mt only every drawing thread, =1 only one;
// TUULI_BENCH_REPEATS=N times each entry is drawn (30).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_device.h"
#include "bench/bench_util.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/draw_recording.h"
#include "platform/win32/headless.h"
#include "shell/shell.h"

namespace {

// Halfway through an entry (entry 13 until the demo's end at 1000).
float entry_middle(int entry) {
  const float start = entry == 0 ? 0.0f : shell::Timeline[entry - 1].endTime;
  const float end = entry == shell::kTimelineLength - 1 ? 1000.0f : shell::Timeline[entry].endTime;
  return (start + end) / 2;
}

// The entries TUULI_BENCH_ENTRIES names, or every one.
std::set<int> chosen_entries() {
  std::set<int> chosen;
  const char* list = std::getenv("TUULI_BENCH_ENTRIES");
  std::istringstream in(list != nullptr ? list : "");
  for (std::string item; std::getline(in, item, ',');) {
    if (!item.empty()) chosen.insert(std::atoi(item.c_str()));
  }
  if (chosen.empty()) {
    for (int e = 0; e < shell::kTimelineLength; ++e) chosen.insert(e);
  }
  return chosen;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path media = argc > 1 ? fs::path(argv[1])
                                  : fs::canonical("/proc/self/exe").parent_path().parent_path() / "media-pack";
  if (!fs::exists(media / "data")) {
    std::fprintf(stderr, "bench_entries: no media in %s (make them with: tuuli media make DIR)\n",
                 media.c_str());
    return 1;
  }
  if (chdir(media.c_str()) != 0) return 1;

  // Every frame is recorded; the first one of each entry past its middle is kept.
  std::vector<d3d8::FrameRecording> kept(shell::kTimelineLength);
  std::vector<bool> taken(shell::kTimelineLength, false);
  d3d8::FrameRecording current;
  d3d8::draw_recording = &current;
  win32::HeadlessOptions headless;
  headless.fps = 10;
  headless.print_message_boxes = true;
  headless.on_present = [&](const win32::Frame&, uint64_t) {
    const int entry = shell::TimelineIndex;
    if (entry >= 0 && entry < shell::kTimelineLength && !taken[entry] && shell::DemoTime >= entry_middle(entry)) {
      taken[entry] = true;
      kept[entry] = std::move(current);
    }
    current = {};
  };
  win32::HeadlessBackend backend(headless);
  win32::use_backend(&backend);
  shell::DemoMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
  d3d8::draw_recording = nullptr;

  IDirect3DDevice8* device = bench::make_device("bench_entries");
  if (device == nullptr) return 1;
  const std::set<int> chosen = chosen_entries();
  const char* repeats_text = std::getenv("TUULI_BENCH_REPEATS");
  const int repeats = std::max(1, repeats_text != nullptr ? std::atoi(repeats_text) : 30);
  const char* only = std::getenv("TUULI_BENCH_THREADS");
  const std::string only_threads = only != nullptr ? only : "";
  // One thread, then every drawing thread (raster.mt.*).
  for (const int threads : {1, 0}) {
    if ((threads == 1 && only_threads == "mt") || (threads == 0 && only_threads == "1")) continue;
    d3d8::raster_options.threads = threads;
    const char* prefix = threads == 1 ? "raster." : "raster.mt.";
    double slowest = 0;
    for (int e = 0; e < shell::kTimelineLength; ++e) {
      if (!taken[e] || chosen.count(e) == 0) continue;
      d3d8::prepare_replay(kept[e]);
      // EndScene writes what waits for the drawing threads.
      const double seconds = bench::median_seconds(repeats, [&] {
        device->BeginScene();
        d3d8::replay(device, kept[e]);
        device->EndScene();
      });
      if (threads == 1 && std::getenv("TUULI_BENCH_VERBOSE") != nullptr) {
        const d3d8::RasterCounters before = d3d8::raster_counters;
        device->BeginScene();
        d3d8::replay(device, kept[e]);
        device->EndScene();
        const d3d8::RasterCounters& c = d3d8::raster_counters;
        std::fprintf(stderr, "entry %d: %zu calls, triangles: %llu layer, %llu simd (%llu narrow), %llu reference\n",
                     e, kept[e].calls.size(), (unsigned long long)(c.layer_triangles - before.layer_triangles),
                     (unsigned long long)(c.simd_triangles - before.simd_triangles),
                     (unsigned long long)(c.narrow_triangles - before.narrow_triangles),
                     (unsigned long long)(c.reference_triangles - before.reference_triangles));
      }
      char name[64];
      std::snprintf(name, sizeof name, "%sentry%02d_ms", prefix, e);
      bench::report(name, seconds * 1e3, "ms");
      slowest = std::max(slowest, seconds);
    }
    bench::report((std::string(prefix) + "slowest_entry_ms").c_str(), slowest * 1e3, "ms");
  }
  d3d8::raster_options = {};
  device->Release();
  win32::use_backend(nullptr);
  return 0;
}
