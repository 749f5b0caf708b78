// tuuli media: makes the default media pack, or any part of it.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "media/media.h"
#include "tools/command.h"

namespace tools {

namespace {

namespace fs = std::filesystem;

struct MediaOptions {
  std::string dir;
  std::vector<std::string> only;
  std::string preview_dir;
  bool quiet = false;
};

bool selected(const media::PackItem& item, const std::vector<std::string>& only) {
  if (only.empty()) return true;
  for (const std::string& want : only) {
    if (want == item.name || want == media::kind_name(item.kind) ||
        want == std::string(media::kind_name(item.kind)) + "s") {
      return true;
    }
  }
  return false;
}

// Unknown --only words are refused before any work starts.
std::string check_only(const std::vector<std::string>& only) {
  for (const std::string& want : only) {
    bool known = false;
    for (const media::PackItem& item : media::pack_items()) {
      if (selected(item, {want})) known = true;
    }
    if (!known) return want;
  }
  return {};
}

// Writes beside the target and renames, so an interrupted run never leaves
// a truncated file that the demo would then try to play.
void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) throw std::runtime_error("cannot create " + path.parent_path().string() + ": " + ec.message());
  fs::path temporary = path;
  temporary += ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + temporary.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      fs::remove(temporary, ec);
      throw std::runtime_error("cannot write " + temporary.string() + " (disk full?)");
    }
  }
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw std::runtime_error("cannot rename into " + path.string() + ": " + ec.message());
  }
}

void write_preview(const fs::path& dir, const std::string& name, const media::Image& image) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  fs::path path = dir / (name + ".png");
  if (ec || !media::write_png(path.string(), image)) {
    throw std::runtime_error("cannot write preview " + path.string());
  }
}

std::vector<uint8_t> make_one(const media::PackItem& item, const MediaOptions& options,
                              media::PreviewSet& previews) {
  if (options.preview_dir.empty()) return media::make_item(item);
  const fs::path dir = options.preview_dir;
  // With previews, render once, look, then encode what was looked at.
  if (item.kind == media::ItemKind::kClip) {
    auto frames = media::render_clip(item.name);
    for (size_t i = 0; i < frames.size(); i += (frames.size() + 3) / 4) {
      std::string number = std::to_string(i);
      number.insert(0, number.size() < 3 ? 3 - number.size() : 0, '0');
      write_preview(dir, std::string("clip_") + item.name + "_" + number, media::frame_image(frames[i]));
    }
    auto bytes = media::encode_clip_file(frames);
    previews.clips[item.name] = std::move(frames);
    return bytes;
  }
  if (item.kind == media::ItemKind::kImage) {
    media::Image image = media::render_image(item.name);
    write_preview(dir, std::string("image_") + item.name, image);
    auto bytes = std::string(item.name) == "headless" ? media::encode_tga(image) : media::encode_bmp(image);
    previews.images[item.name] = std::move(image);
    return bytes;
  }
  return media::make_item(item);
}

int run_make(const MediaOptions& options) {
  if (std::string bad = check_only(options.only); !bad.empty()) {
    std::fprintf(stderr, "tuuli media make: --only %s names no file or kind of the pack (see tuuli media list)\n",
                 bad.c_str());
    return 2;
  }
  const fs::path root = options.dir;
  std::vector<const media::PackItem*> work;
  for (const media::PackItem& item : media::pack_items()) {
    if (selected(item, options.only)) work.push_back(&item);
  }
  media::PreviewSet previews;
  auto started = std::chrono::steady_clock::now();
  size_t total_bytes = 0;
  for (size_t i = 0; i < work.size(); ++i) {
    const media::PackItem& item = *work[i];
    auto t0 = std::chrono::steady_clock::now();
    std::vector<uint8_t> bytes;
    try {
      bytes = make_one(item, options, previews);
      write_file(root / item.path, bytes);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tuuli media make: %s: %s\n", item.path, e.what());
      return 1;
    }
    total_bytes += bytes.size();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!options.quiet) {
      std::printf("[%2zu/%zu] %-20s %-5s %9zu bytes %6.2f s\n", i + 1, work.size(), item.path,
                  media::kind_name(item.kind), bytes.size(), seconds);
      std::fflush(stdout);
    }
  }
  if (!options.preview_dir.empty()) {
    try {
      for (const auto& [name, image] : media::scene_previews(previews)) {
        write_preview(options.preview_dir, "scene_" + name, image);
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tuuli media make: %s\n", e.what());
      return 1;
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!options.quiet) {
    std::printf("media pack: %zu files, %zu bytes in %s, %.1f s\n", work.size(), total_bytes,
                root.string().c_str(), seconds);
  }
  return 0;
}

void add_media_command(CLI::App& app) {
  auto options = std::make_shared<MediaOptions>();
  CLI::App* media_cmd = app.add_subcommand("media", "Make the default media pack: every clip, mesh, image "
                                                    "and the soundtrack the demo reads, from code");
  media_cmd->require_subcommand(1);

  CLI::App* make = media_cmd->add_subcommand(
      "make",
      "Write the pack into DIR with the demo's file names (data/*.dat, data/headless.tga, obu/*.obu, "
      "gfx/*.bmp, vemo.mp3). Same bytes on every run. Play it with: cd DIR && tuulikannel");
  make->add_option("DIR", options->dir, "Folder to write the pack into (created if missing)")->required();
  make->add_option("--only", options->only,
                   "Make only these files or kinds: a name (rasmu, pallukka, media2, vemo...) or a kind "
                   "(clips, meshes, images, music); repeatable")
      ->take_all();
  make->add_option("--preview", options->preview_dir,
                   "Also write PNG previews of clip frames, images and the layer scenes into this folder");
  make->add_flag("-q,--quiet", options->quiet, "No progress lines");
  make->callback([options] { set_exit_code(run_make(*options)); });

  CLI::App* list = media_cmd->add_subcommand("list", "List the files of the pack with their kinds");
  list->callback([] {
    for (const media::PackItem& item : media::pack_items()) {
      std::printf("%-10s %-6s %s\n", item.name, media::kind_name(item.kind), item.path);
    }
    set_exit_code(0);
  });
}

const bool registered = register_command(40, add_media_command);

}  // namespace

}  // namespace tools
