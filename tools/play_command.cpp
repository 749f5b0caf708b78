// tuuli play: the demo in a window, with the options a viewer expects.
#include <filesystem>

#include "platform/bass/output.h"
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
};

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
  int exit_code;
  {
    win32::SdlWindowBackend window(window_options);
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
  c->callback([options] { set_exit_code(run_play(*options)); });
});

}  // namespace

}  // namespace tools
