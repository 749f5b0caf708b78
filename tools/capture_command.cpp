// tuuli capture: the demo to video, headless, on a virtual clock.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/bass/output.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/headless.h"
#include "shell/shell.h"
#include "tools/background_writer.h"
#include "tools/capture_outputs.h"
#include "tools/command.h"
#include "tools/frame_copy.h"
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
  int scale = 1;
  int colour_bits = 16;
  CanvasSize canvas;
  double from_seconds = 0.0;
  double to_seconds = -1.0;  // negative: to the demo's end
};

// The frames a capture writes: those whose demo time t (in whole
// milliseconds, as the clock counts) has from_ms <= t < to_ms. Frames
// before are drawn, as the demo's state depends on them, but not written.
struct TimeRange {
  int64_t from_ms = 0;
  int64_t to_ms = std::numeric_limits<int64_t>::max();

  static int64_t ms_of(float demo_time) { return std::llround(static_cast<double>(demo_time) * 100.0); }
  bool contains(int64_t ms) const { return ms >= from_ms && ms < to_ms; }
  bool bounded() const { return to_ms != std::numeric_limits<int64_t>::max(); }
};

// Demo-time midpoints of the entries: the contact sheet shows the picture
// halfway through each one (entry 13 until the demo's end at 1000).
float entry_middle(int entry) {
  float start = entry == 0 ? 0.0f : shell::Timeline[entry - 1].endTime;
  float end = entry == shell::kTimelineLength - 1 ? 1000.0f : shell::Timeline[entry].endTime;
  return (start + end) / 2;
}

// The bar spans the frames to be written; before them it stays empty and
// says how far the demo still has to go.
class Progress {
 public:
  Progress(bool enabled, const TimeRange& range)
      : enabled_(enabled && isatty(STDERR_FILENO)), range_(range) {}
  void update(uint64_t frame, float demo_time) {
    if (!enabled_ || frame % 15 != 0) return;
    const double seconds = demo_time / 10.0;
    // The demo ends at demo time 1000, 100 s.
    const double end_s = range_.bounded() ? std::min(100.0, range_.to_ms / 1000.0) : 100.0;
    const double from_s = range_.from_ms / 1000.0;
    const double done = end_s > from_s ? (seconds - from_s) / (end_s - from_s) : 1.0;
    const int filled = static_cast<int>(std::clamp(done, 0.0, 1.0) * 40);
    std::fprintf(stderr, "\r[%-40s] %5.1f s  frame %llu%s", std::string(filled, '#').c_str(),
                 seconds, static_cast<unsigned long long>(frame),
                 seconds < from_s ? "  (before the range)" : "                   ");
    std::fflush(stderr);
  }
  void done() {
    if (enabled_) std::fprintf(stderr, "\n");
  }

 private:
  bool enabled_;
  TimeRange range_;
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
  TimeRange range;
  range.from_ms = std::llround(o.from_seconds * 1000.0);
  if (o.to_seconds >= 0) range.to_ms = std::llround(o.to_seconds * 1000.0);
  Progress progress(!o.quiet, range);
  using Clock = std::chrono::steady_clock;
  auto started = Clock::now();
  auto last = started;
  std::vector<double> entry_seconds(shell::kTimelineLength, 0.0);
  std::vector<uint64_t> entry_frames(shell::kTimelineLength, 0);
  bool need_rgb = !frames_dir.empty() || !sheet_path.empty();
  uint64_t written = 0;
  bool past_range = false;
  std::string refusal;  // set on the demo's thread when a frame cannot be written
  // Only the output thread touches these from here on.
  std::vector<uint8_t> rgb, canvas_rgb;
  FramePool frame_pool;
  BackgroundWriter writer(8);
  // The buffer the device presents into, the demo's thread's until a
  // presented picture in it is handed to the output thread.
  std::optional<FrameCopy> lent;

  win32::HeadlessOptions headless;
  headless.fps = o.fps;
  // The demo is closed like a window once the range is over, or when the
  // outputs cannot go on: it would otherwise draw to its end for nothing.
  headless.close_when = [&](uint64_t) { return past_range || !refusal.empty() || writer.failed(); };
  // The device finishes each picture straight into a pooled buffer, each
  // drawing thread its own rows, instead of the demo's thread copying it.
  headless.lend_buffer = [&](const win32::Frame& shape, win32::Frame& buffer) {
    if (!refusal.empty() || !canvas_refusal(o.canvas, shape.width, shape.height).empty()) return false;
    const win32::Frame* had = lent ? &lent->picture : nullptr;
    if (had == nullptr || had->width != shape.width || had->height != shape.height || had->format != shape.format) {
      if (lent) frame_pool.give(std::move(*lent));
      lent = frame_pool.lend(shape, o.canvas);
    }
    buffer = lent->picture;
    return true;
  };
  headless.on_present = [&](const win32::Frame& frame, uint64_t n) {
    FrameLogEntry record = frame_log_entry(n);
    int entry = record.entry;
    auto now = Clock::now();
    entry_seconds[entry] += std::chrono::duration<double>(now - last).count();
    entry_frames[entry] += 1;
    last = now;
    progress.update(n, shell::DemoTime);
    const int64_t ms = TimeRange::ms_of(record.demo_time);
    if (ms >= range.to_ms) past_range = true;
    if (!refusal.empty()) return;
    refusal = canvas_refusal(o.canvas, frame.width, frame.height);
    if (!refusal.empty()) return;

    std::vector<int16_t> samples;
    size_t count = 0;
    if (!wav_path.empty()) {
      // The music started just before the clock: after frame n it has played
      // (n + 1) / fps seconds. The pull runs here, on the demo's thread,
      // because the music's end syncs run inside it; it runs for frames
      // outside the range too, which keeps the music in step with them.
      if (n == 0) {
        bass::StreamFormat music = bass::stream_format();
        have_format = music.rate_hz > 0 && music.channels > 0;
        if (have_format) format = music;
      }
      uint64_t target = (n + 1) * static_cast<uint64_t>(format.rate_hz) / o.fps;
      count = static_cast<size_t>(target - samples_out);
      samples.assign(count * format.channels, 0);
      if (have_format) bass::pull_samples(samples.data(), count);
      samples_out = target;
    }
    if (!range.contains(ms)) return;
    ++written;

    bool place_in_sheet = !sheet_path.empty() && !placed[entry];
    if (place_in_sheet) placed[entry] = shell::DemoTime >= entry_middle(entry);
    FrameCopy copy;
    if (lent && frame.pixels == lent->picture.pixels) {
      copy = std::move(*lent);
      lent.reset();
    } else {
      copy = frame_pool.take(frame, o.canvas);
    }
    if (!wav_path.empty() && !wav) {
      wav = std::make_unique<WavWriter>(wav_path, format.rate_hz, format.channels);
    }
    writer.post([&, n, entry, record, place_in_sheet, count, copy = std::move(copy),
                 samples = std::move(samples)]() mutable {
      const win32::Frame& picture = copy.picture;
      const win32::Frame& canvas = copy.canvas;
      if (need_rgb) {
        rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
        win32::frame_to_rgb888(picture, rgb.data());
      }
      if (y4m) y4m->write(canvas);
      if (ffmpeg) ffmpeg->write(canvas);
      if (!frames_dir.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%05llu.png", static_cast<unsigned long long>(n));
        const bool has_canvas = canvas.width != picture.width || canvas.height != picture.height;
        if (has_canvas) {
          canvas_rgb.resize(static_cast<size_t>(canvas.width) * canvas.height * 3);
          win32::frame_to_rgb888(canvas, canvas_rgb.data());
        }
        write_png(frames_dir + name, has_canvas ? canvas_rgb : rgb, canvas.width, canvas.height);
      }
      if (place_in_sheet) sheet.place(entry, rgb.data(), picture.width, picture.height);
      if (log != nullptr) {
        std::string line = frame_log_line(record, frame_sha256_hex(picture));
        std::fprintf(log, "%s\n", line.c_str());
      }
      if (wav) wav->write(samples.data(), count);
      frame_pool.give(std::move(copy));
    });
  };
  // The device reads these when the demo creates it.
  d3d8::target_options.scale = o.scale;
  d3d8::target_options.colour_bits = o.colour_bits;
  win32::HeadlessBackend backend(headless);
  win32::use_backend(&backend);
  int exit_code = shell::DemoMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
  win32::use_backend(nullptr);
  progress.done();
  writer.finish();
  double wall = std::chrono::duration<double>(Clock::now() - started).count();

  if (y4m) y4m->close();
  if (wav) wav->close();
  if (log != nullptr) std::fclose(log);
  uint64_t frames = backend.presented();
  std::string failure;
  int failure_code = 1;
  if (!refusal.empty()) {
    failure = refusal;
    failure_code = 2;
  } else if (frames == 0) {
    failure = "the demo did not start in " + dir + " (see the message above)";
    // The demo itself ends with 0 after a failed start, as the original did;
    // a capture that recorded nothing has failed.
    if (exit_code != 0) failure_code = exit_code;
  } else if (written == 0) {
    char text[160];
    std::snprintf(text, sizeof text, "no frame of the %.2f s drawn lies in the range from %.2f s",
                  static_cast<double>(frames) / o.fps, o.from_seconds);
    failure = text;
  }
  if (!failure.empty()) {
    if (!work_dir.empty()) fs::remove_all(work_dir, ec);
    std::fprintf(stderr, "capture: %s\n", failure.c_str());
    return failure_code;
  }
  if (!sheet_path.empty()) sheet.write(sheet_path);
  if (ffmpeg) {
    ffmpeg->finish(wav_path);
    fs::remove_all(work_dir, ec);
  }

  // How fast the demo ran: every frame it drew counts, written or not.
  double drawn = static_cast<double>(frames) / o.fps;
  double duration = static_cast<double>(written) / o.fps;
  std::string span;
  if (range.from_ms != 0 || range.bounded()) {
    char text[96];
    std::snprintf(text, sizeof text, " (from %.2f s; %.2f s drawn)", range.from_ms / 1000.0, drawn);
    span = text;
  }
  std::printf("captured %llu frames, %.2f s of demo%s at %d fps in %.2f s: %.1fx real time%s\n",
              static_cast<unsigned long long>(written), duration, span.c_str(), o.fps, wall,
              drawn / wall, wav && !have_format ? " (no music: silent sound track)" : "");
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
  c->add_option("--scale", options->scale,
                 "draw at N times 640x480 (the picture of every output is that size)")
      ->capture_default_str()
      ->check(CLI::Range(1, d3d8::kMaxScale));
  c->add_option("--colour", options->colour_bits, "colour depth the demo draws in: 16 or 32 bits")
      ->capture_default_str()
      ->check(CLI::IsMember({16, 32}));
  c->add_option_function<std::string>(
         "--canvas",
         [options](const std::string& text) {
           std::string error;
           if (!parse_canvas(text, options->canvas, error)) throw CLI::ValidationError("--canvas", error);
         },
         "place the picture centred on a black WxH frame in the video and PNG outputs "
         "(e.g. --scale 4 --canvas 3840x2160); even sides, at least the picture's size")
      ->type_name("WxH");
  c->add_option("--from", options->from_seconds,
                "write from this second of the demo on (e.g. 12.5); the demo still runs from "
                "its start")
      ->check(CLI::NonNegativeNumber);
  c->add_option("--to", options->to_seconds,
                "stop at this second of the demo (default: its end); the sound is cut to the "
                "same range")
      ->check(CLI::PositiveNumber);
  c->add_flag("--quiet", options->quiet, "no progress bar");
  c->callback([options] {
    if (options->to_seconds >= 0 && options->to_seconds <= options->from_seconds) {
      std::fprintf(stderr, "tuuli capture: --to %g must come after --from %g\n", options->to_seconds,
                   options->from_seconds);
      set_exit_code(2);
      return;
    }
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
