// tuuli play: the demo in a window, with the options a viewer expects.
#include <filesystem>
#include <string>

#include "platform/bass/output.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/letterbox.h"
#include "platform/win32/sdl_window.h"
#include "shell/shell.h"
#include "tools/command.h"
#include "tools/media_folder.h"

namespace tools {

namespace {

struct PlayOptions {
  std::string dir;  // empty: the current folder or the installed pack
  bool windowed = false;
  bool vsync = false;
  std::string scale = "1";  // 1..kMaxScale, or "fit"
  int colour_bits = 16;
  std::string filter = "linear";
};

// The mode the demo asks the device for; --scale multiplies it.
constexpr int kModeWidth = 640;
constexpr int kModeHeight = 480;

int run_play(const PlayOptions& o) {
  std::string dir = o.dir.empty() ? default_media_folder("play") : o.dir;
  std::error_code ec;
  std::filesystem::current_path(dir, ec);
  if (ec) {
    std::fprintf(stderr, "play: cannot enter the media folder %s: %s\n", dir.c_str(),
                 ec.message().c_str());
    return 2;
  }
  win32::SdlWindowOptions window_options;
  window_options.windowed = o.windowed;
  window_options.vsync = o.vsync;
  window_options.linear_filter = o.filter == "linear";
  window_options.whole_multiples = true;
  int exit_code;
  {
    win32::SdlWindowBackend window(window_options);
    int scale = 1;
    if (o.scale == "fit") {
      int width = 0, height = 0;
      // Without a display the demo's own start-up says so, as without --scale.
      if (window.output_size(width, height)) {
        scale = win32::fit_scale(width, height, kModeWidth, kModeHeight, d3d8::kMaxScale);
      }
    } else {
      scale = std::stoi(o.scale);
    }
    // The device reads these when the demo creates it.
    d3d8::target_options.scale = scale;
    d3d8::target_options.colour_bits = o.colour_bits;
    win32::use_backend(&window);
    bass::use_output(bass::device_output());
    exit_code = shell::DemoMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
    win32::use_backend(nullptr);
  }
  return exit_code;
}

const bool registered = register_command(20, [](CLI::App& app) {
  auto options = std::make_shared<PlayOptions>();
  CLI::App* c = app.add_subcommand("play", "Play the demo in a window, with sound.");
  c->add_option("--dir", options->dir,
                 "the media folder the demo runs in (default: the current folder when it holds "
                 "the demo's files, else the installed pack)")
      ->check(CLI::ExistingDirectory);
  c->add_flag("--windowed", options->windowed, "a window instead of the whole screen");
  c->add_flag("--vsync", options->vsync, "wait for the display's retrace between frames");
  c->add_option("--scale", options->scale,
                "draw at N times 640x480 (1 to " + std::to_string(d3d8::kMaxScale) +
                    "), or 'fit': the largest that fits the screen (or the window)")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            if (value == "fit") return "";
            for (int n = 1; n <= d3d8::kMaxScale; ++n) {
              if (value == std::to_string(n)) return "";
            }
            return value + " is neither fit nor a scale from 1 to " + std::to_string(d3d8::kMaxScale);
          },
          "N|fit"));
  c->add_option("--colour", options->colour_bits, "colour depth the demo draws in: 16 or 32 bits")
      ->capture_default_str()
      ->check(CLI::IsMember({16, 32}));
  c->add_option("--filter", options->filter,
                "how a picture larger than the window is shrunk: linear or nearest (one that fits "
                "is shown at a whole multiple, sharp)")
      ->capture_default_str()
      ->check(CLI::IsMember({"linear", "nearest"}));
  c->callback([options] { set_exit_code(run_play(*options)); });
});

}  // namespace

}  // namespace tools
