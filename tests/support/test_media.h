// A media folder for whole-demo runs, made once per test program by the
// project's own writers: small clips, meshes, images and no music.
#pragma once

#include <string>

namespace test_support {

// The folder, created on first use under the system's temporary directory.
const std::string& test_media_dir();

// A fresh copy of the test media in a new temporary folder, for tests that
// remove or damage files.
std::string copy_of_test_media();

}  // namespace test_support
