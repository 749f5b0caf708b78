#include "tools/media_folder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "media/media.h"
#include "platform/win32/win32.h"

// Set by tools/CMakeLists.txt from the install prefix chosen at configure time.
#ifndef TUULI_INSTALLED_MEDIA_DIR
#error "TUULI_INSTALLED_MEDIA_DIR must name the installed pack's folder"
#endif

namespace tools {

namespace fs = std::filesystem;

bool holds_demo_files(const std::string& dir) {
  for (const media::PackItem& item : media::pack_items()) {
    if (item.kind == media::ItemKind::kMusic) continue;
    std::error_code ec;
    std::string path = win32::map_path((dir + "/" + item.path).c_str());
    if (!fs::is_regular_file(path, ec)) return false;
  }
  return true;
}

std::vector<std::string> installed_pack_candidates() {
  std::vector<std::string> candidates;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path beside = (exe.parent_path() / ".." / "share" / "tuulikannel" / "media").lexically_normal();
    candidates.push_back(beside.string());
  }
  std::string configured = TUULI_INSTALLED_MEDIA_DIR;
  if (candidates.empty() || candidates.front() != configured) candidates.push_back(configured);
  return candidates;
}

std::string default_media_folder(const char* command) {
  std::error_code ec;
  fs::path here = fs::current_path(ec);
  std::string here_name = ec ? "." : here.string();
  if (holds_demo_files(".")) {
    std::fprintf(stderr, "%s: media from the current folder %s\n", command, here_name.c_str());
    return ".";
  }
  std::vector<std::string> candidates = installed_pack_candidates();
  for (const std::string& dir : candidates) {
    if (holds_demo_files(dir)) {
      std::fprintf(stderr,
                   "%s: media from the installed pack %s (the current folder lacks the demo's "
                   "files)\n",
                   command, dir.c_str());
      return dir;
    }
  }
  std::string looked;
  for (const std::string& dir : candidates) looked += (looked.empty() ? "" : ", ") + dir;
  std::fprintf(stderr,
               "%s: no media in the current folder %s and no installed pack (looked in %s); "
               "make one with `tuuli media make DIR` and pass --dir DIR\n",
               command, here_name.c_str(), looked.c_str());
  return ".";
}

}  // namespace tools
