// tuuli capture: the demo to video, headless, on a virtual clock.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/bass/output.h"
#include "platform/win32/headless.h"
#include "shell/shell.h"
#include "tools/background_writer.h"
#include "tools/capture_outputs.h"
#include "tools/command.h"
#include "tools/frame_log.h"
#include "tools/media_folder.h"

namespace tools {

namespace {

namespace fs = std::filesystem;

struct CaptureOptions {
  std::string dir;  // empty: the current folder or the installed pack
  int fps = 60;
  std::vector<std::string> outputs;
  std::string frames_dir;
  std::string log_path;
  std::string contact_sheet;
  bool quiet = false;
};

// Demo-time midpoints of the entries: the contact sheet shows the picture
// halfway through each one (entry 13 until the demo's end at 1000).
float entry_middle(int entry) {
  float start = entry == 0 ? 0.0f : shell::Timeline[entry - 1].endTime;
  float end = entry == shell::kTimelineLength - 1 ? 1000.0f : shell::Timeline[entry].endTime;
  return (start + end) / 2;
}

class Progress {
 public:
  explicit Progress(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO)) {}
  void update(uint64_t frame, float demo_time) {
    if (!enabled_ || frame % 15 != 0) return;
    int filled = static_cast<int>(std::min(1.0f, demo_time / 1000.0f) * 40);
    std::fprintf(stderr, "\r[%-40s] %5.1f s  frame %llu", std::string(filled, '#').c_str(),
                 demo_time / 10.0f, static_cast<unsigned long long>(frame));
    std::fflush(stderr);
  }
  void done() {
    if (enabled_) std::fprintf(stderr, "\n");
  }

 private:
  bool enabled_;
};

// Frame buffers on their way to the output thread and back: a fresh 600 KB
// buffer a frame would be zeroed, and often faulted in by the kernel, every
// time. Taken on the demo's thread, given back on the output thread.
class FramePool {
 public:
  std::vector<uint16_t> take(size_t pixels) {
    std::vector<uint16_t> frame;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!free_.empty()) {
        frame = std::move(free_.back());
        free_.pop_back();
      }
    }
    frame.resize(pixels);
    return frame;
  }
  void give(std::vector<uint16_t>&& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(frame));
  }

 private:
  std::mutex mutex_;
  std::vector<std::vector<uint16_t>> free_;
};

int run_capture(const CaptureOptions& o) {
  std::unique_ptr<Y4mWriter> y4m;
  std::unique_ptr<WavWriter> wav;
  std::unique_ptr<FfmpegVideo> ffmpeg;
  std::string y4m_path, wav_path, video_path;
  for (const std::string& out : o.outputs) {
    std::string ext = fs::path(out).extension().string();
    if (ext == ".y4m") {
      y4m_path = fs::absolute(out).string();
    } else if (ext == ".wav") {
      wav_path = fs::absolute(out).string();
    } else if (ext == ".mkv" || ext == ".mp4") {
      video_path = fs::absolute(out).string();
    } else {
      std::fprintf(stderr, "capture: %s: the output's extension must be .y4m, .wav, .mkv or .mp4\n",
                   out.c_str());
      return 2;
    }
  }
  if (!video_path.empty() && !ffmpeg_available()) {
    std::fprintf(stderr, "capture: writing %s needs ffmpeg, which is not installed "
                 "(apt-get install ffmpeg), or write .y4m and .wav instead\n", video_path.c_str());
    return 2;
  }
  std::string frames_dir = o.frames_dir.empty() ? "" : fs::absolute(o.frames_dir).string();
  std::string log_path = o.log_path.empty() ? "" : fs::absolute(o.log_path).string();
  std::string sheet_path = o.contact_sheet.empty() ? "" : fs::absolute(o.contact_sheet).string();
  if (!frames_dir.empty()) fs::create_directories(frames_dir);

  std::string work_dir;
  if (!video_path.empty()) {
    work_dir = (fs::temp_directory_path() / ("tuuli-capture-" + std::to_string(getpid()))).string();
    fs::create_directories(work_dir);
    ffmpeg = std::make_unique<FfmpegVideo>(video_path, o.fps, work_dir);
    if (wav_path.empty()) wav_path = work_dir + "/sound.wav";
  }
  if (!y4m_path.empty()) y4m = std::make_unique<Y4mWriter>(y4m_path, o.fps);
  std::FILE* log = nullptr;
  if (!log_path.empty()) {
    log = std::fopen(log_path.c_str(), "w");
    if (log == nullptr) throw std::runtime_error("cannot write " + log_path);
  }
  ContactSheet sheet(shell::kTimelineLength);
  std::vector<bool> placed(shell::kTimelineLength, false);

  std::string dir = o.dir.empty() ? default_media_folder("capture") : o.dir;
  std::error_code ec;
  fs::current_path(dir, ec);
  if (ec) {
    std::fprintf(stderr, "capture: cannot enter the media folder %s: %s\n", dir.c_str(),
                 ec.message().c_str());
    return 2;
  }

  bass::use_output(bass::pull_output());
  bass::StreamFormat format{44100, 2};
  bool have_format = false;
  uint64_t samples_out = 0;
  Progress progress(!o.quiet);
  using Clock = std::chrono::steady_clock;
  auto started = Clock::now();
  auto last = started;
  std::vector<double> entry_seconds(shell::kTimelineLength, 0.0);
  std::vector<uint64_t> entry_frames(shell::kTimelineLength, 0);
  bool need_rgb = !frames_dir.empty() || !sheet_path.empty();
  // Only the output thread touches these from here on.
  std::vector<uint8_t> rgb;
  FramePool frame_pool;
  BackgroundWriter writer(8);

  win32::HeadlessOptions headless;
  headless.fps = o.fps;
  headless.on_present = [&](const win32::Frame& frame, uint64_t n) {
    FrameLogEntry record = frame_log_entry(n);
    int entry = record.entry;
    bool place_in_sheet = !sheet_path.empty() && !placed[entry];
    if (place_in_sheet) placed[entry] = shell::DemoTime >= entry_middle(entry);
    std::vector<uint16_t> pixels = frame_pool.take(static_cast<size_t>(frame.width) * frame.height);
    for (int y = 0; y < frame.height; ++y) {
      std::copy_n(frame.row565(y), frame.width,
                  pixels.begin() + static_cast<size_t>(y) * frame.width);
    }
    std::vector<int16_t> samples;
    size_t count = 0;
    if (!wav_path.empty()) {
      // The music started just before the clock: after frame n it has played
      // (n + 1) / fps seconds. The pull runs here, on the demo's thread,
      // because the music's end syncs run inside it.
      if (!wav) {
        bass::StreamFormat music = bass::stream_format();
        have_format = music.rate_hz > 0 && music.channels > 0;
        if (have_format) format = music;
        wav = std::make_unique<WavWriter>(wav_path, format.rate_hz, format.channels);
      }
      uint64_t target = (n + 1) * static_cast<uint64_t>(format.rate_hz) / o.fps;
      count = static_cast<size_t>(target - samples_out);
      samples.assign(count * format.channels, 0);
      if (have_format) bass::pull_samples(samples.data(), count);
      samples_out = target;
    }
    writer.post([&, n, entry, record, place_in_sheet, count, pixels = std::move(pixels),
                 samples = std::move(samples)]() mutable {
      if (need_rgb) rgb565_to_rgb888(pixels.data(), kCaptureWidth, rgb);
      if (y4m) y4m->write(pixels.data());
      if (ffmpeg) ffmpeg->write(pixels.data());
      if (!frames_dir.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%05llu.png", static_cast<unsigned long long>(n));
        write_png(frames_dir + name, rgb, kCaptureWidth, kCaptureHeight);
      }
      if (place_in_sheet) sheet.place(entry, rgb);
      if (log != nullptr) {
        std::string line =
            frame_log_line(record, sha256_hex(pixels.data(), pixels.size() * 2));
        std::fprintf(log, "%s\n", line.c_str());
      }
      if (wav) wav->write(samples.data(), count);
      frame_pool.give(std::move(pixels));
    });
    auto now = Clock::now();
    entry_seconds[entry] += std::chrono::duration<double>(now - last).count();
    entry_frames[entry] += 1;
    last = now;
    progress.update(n, shell::DemoTime);
  };
  win32::HeadlessBackend backend(headless);
  win32::use_backend(&backend);
  int exit_code = shell::DemoMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
  progress.done();
  writer.finish();
  double wall = std::chrono::duration<double>(Clock::now() - started).count();

  if (y4m) y4m->close();
  if (wav) wav->close();
  if (log != nullptr) std::fclose(log);
  if (!sheet_path.empty()) sheet.write(sheet_path);
  if (ffmpeg) {
    if (!wav) {
      // Nothing was presented: still give ffmpeg a well-formed, empty sound.
      WavWriter empty(wav_path, format.rate_hz, format.channels);
      empty.close();
    }
    ffmpeg->finish(wav_path);
    fs::remove_all(work_dir, ec);
  }

  uint64_t frames = backend.presented();
  if (frames == 0) {
    std::fprintf(stderr, "capture: the demo did not start in %s (see the message above)\n",
                 dir.c_str());
    // The demo itself ends with 0 after a failed start, as the original did;
    // a capture that recorded nothing has failed.
    return exit_code != 0 ? exit_code : 1;
  }
  double duration = static_cast<double>(frames) / o.fps;
  std::printf("captured %llu frames, %.2f s of demo at %d fps in %.2f s: %.1fx real time%s\n",
              static_cast<unsigned long long>(frames), duration, o.fps, wall, duration / wall,
              wav && !have_format ? " (no music: silent sound track)" : "");
  for (int e = 0; e < shell::kTimelineLength; ++e) {
    if (entry_frames[e] == 0) continue;
    std::printf("  entry %2d: %5llu frames, %8.1f frames/s\n", e,
                static_cast<unsigned long long>(entry_frames[e]),
                static_cast<double>(entry_frames[e]) / std::max(entry_seconds[e], 1e-9));
  }
  return exit_code;
}

const bool registered = register_command(10, [](CLI::App& app) {
  auto options = std::make_shared<CaptureOptions>();
  CLI::App* c = app.add_subcommand(
      "capture",
      "Run the demo headless on a virtual clock until it ends by itself, and record it. "
      "Outputs by extension: .y4m (video), .wav (sound), .mkv or .mp4 (both, through ffmpeg).");
  c->add_option("--dir", options->dir,
                 "the media folder the demo runs in (default: the current folder when it holds "
                 "the demo's files, else the installed pack)")
      ->check(CLI::ExistingDirectory);
  c->add_option("--fps", options->fps, "virtual frames per second")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  c->add_option("--out", options->outputs, "an output file (.y4m, .wav, .mkv, .mp4); repeatable");
  c->add_option("--frames", options->frames_dir, "write every frame as a PNG into this folder");
  c->add_option("--log", options->log_path, "write one JSON line per presented frame");
  c->add_option("--contact-sheet", options->contact_sheet,
                "write one picture per timeline entry, in a grid, as a PNG");
  c->add_flag("--quiet", options->quiet, "no progress bar");
  c->callback([options] {
    try {
      set_exit_code(run_capture(*options));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "capture: %s\n", e.what());
      set_exit_code(2);
    }
  });
});

}  // namespace

}  // namespace tools
