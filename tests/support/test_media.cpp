#include "tests/support/test_media.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace test_support {

namespace {

std::string make_temp_dir(const char* stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / stem).string() + "XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
  return pattern;
}

void write_media(const std::string&) {}

}  // namespace

const std::string& test_media_dir() {
  static const std::string dir = [] {
    std::string d = make_temp_dir("tuuli-media-");
    write_media(d);
    return d;
  }();
  return dir;
}

std::string copy_of_test_media() {
  std::string d = make_temp_dir("tuuli-media-copy-");
  std::filesystem::copy(test_media_dir(), d, std::filesystem::copy_options::recursive);
  return d;
}

}  // namespace test_support
