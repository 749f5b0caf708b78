// Windows-style relative paths on a case-sensitive file system.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace win32 {

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The entry of `directory` whose name equals `name` but for ASCII case, or "".
std::string find_ignoring_case(const std::string& directory, const std::string& name) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return "";
  std::string found;
  while (dirent* entry = ::readdir(dir)) {
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
      // Several entries may differ only in case; take the first by name so
      // the choice does not depend on directory order.
      if (found.empty() || found > entry->d_name) found = entry->d_name;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

std::string map_path(const char* windows_path) {
  std::string path = windows_path ? windows_path : "";
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.empty() || exists(path)) return path;

  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  std::string resolved = path[0] == '/' ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.empty() || part == ".") continue;
    std::string candidate = resolved.empty() || resolved == "/" ? resolved + part
                                                                 : resolved + "/" + part;
    if (part != ".." && !exists(candidate)) {
      std::string match = find_ignoring_case(resolved, part);
      if (match.empty()) return path;  // absent: keep the plain mapping
      candidate = resolved.empty() || resolved == "/" ? resolved + match : resolved + "/" + match;
    }
    resolved = candidate;
  }
  return resolved;
}

std::FILE* open_file(const char* windows_path, const char* mode) {
  std::string path = map_path(windows_path);
  if (path.empty()) return nullptr;
  struct stat st;
  // Only plain files: a folder opens under Linux but cannot be read, and a
  // pipe or device would block the start-up or never end.
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return nullptr;
  return std::fopen(path.c_str(), mode);
}

}  // namespace win32
