#include "tests/support/test_media.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "codec/clip_encoder.h"
#include "media/media.h"
#include "mesh/mesh_writer.h"

namespace test_support {

namespace {

namespace fs = std::filesystem;

// The directories this process made, removed when it ends: every test
// program makes its own media, and /tmp would otherwise keep one copy per
// test run. Only by the process that made them: a death test's forked
// child that exits normally runs the same destructors.
struct MadeDirs {
  pid_t owner = getpid();
  std::vector<std::string> dirs;
  ~MadeDirs() {
    if (getpid() != owner) return;
    std::error_code ignored;
    for (const std::string& d : dirs) fs::remove_all(d, ignored);
  }
};

std::string make_temp_dir(const char* stem) {
  static MadeDirs made;
  std::string pattern = (fs::temp_directory_path() / stem).string() + "XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
  made.dirs.push_back(pattern);
  return pattern;
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// A clip whose frames are told apart at a glance: a diagonal gradient in the
// clip's own hue, with a bright bar whose place is the frame number.
std::vector<uint8_t> make_clip(int width, int frames, int hue) {
  std::vector<codec::RgbFrame> rgb_frames;
  for (int f = 0; f < frames; ++f) {
    codec::RgbFrame frame;
    frame.width = width;
    frame.height = width;
    frame.rgb.resize(static_cast<size_t>(width) * width * 3);
    for (int y = 0; y < width; ++y) {
      for (int x = 0; x < width; ++x) {
        int shade = (x + y) * 255 / (2 * width - 2);
        bool bar = (x * frames / width) == f;
        uint8_t* p = &frame.rgb[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = static_cast<uint8_t>(bar ? 255 : (hue == 0 ? shade : shade / 3));
        p[1] = static_cast<uint8_t>(bar ? 255 : (hue == 1 ? shade : shade / 3));
        p[2] = static_cast<uint8_t>(bar ? 255 : (hue == 2 ? shade : shade / 3));
      }
    }
    rgb_frames.push_back(std::move(frame));
  }
  return codec::encode_clip(rgb_frames, codec::EncoderOptions{}, nullptr);
}

// A coarse sphere of radius 100, texture coordinates by longitude and latitude.
mesh::MeshData make_sphere() {
  mesh::MeshData m;
  const int rings = 6, segments = 8;
  for (int r = 0; r <= rings; ++r) {
    double theta = M_PI * r / rings;
    for (int s = 0; s <= segments; ++s) {
      double phi = 2 * M_PI * s / segments;
      m.positions.push_back({static_cast<float>(100 * std::sin(theta) * std::cos(phi)),
                             static_cast<float>(100 * std::cos(theta)),
                             static_cast<float>(100 * std::sin(theta) * std::sin(phi))});
      m.tex_coords.push_back({static_cast<float>(s) / segments, static_cast<float>(r) / rings});
    }
  }
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      auto a = static_cast<uint16_t>(r * (segments + 1) + s);
      auto b = static_cast<uint16_t>(a + segments + 1);
      m.triangles.push_back({a, b, static_cast<uint16_t>(a + 1)});
      m.triangles.push_back({static_cast<uint16_t>(a + 1), b, static_cast<uint16_t>(b + 1)});
    }
  }
  return m;
}

// A 100 by 100 wave surface in the x-z plane.
mesh::MeshData make_wave() {
  mesh::MeshData m;
  const int n = 6;
  for (int z = 0; z <= n; ++z) {
    for (int x = 0; x <= n; ++x) {
      float fx = -50.0f + 100.0f * x / n, fz = -50.0f + 100.0f * z / n;
      m.positions.push_back({fx, static_cast<float>(5 * std::sin(fx / 10) * std::cos(fz / 10)), fz});
      m.tex_coords.push_back({static_cast<float>(x) / n, static_cast<float>(z) / n});
    }
  }
  for (int z = 0; z < n; ++z) {
    for (int x = 0; x < n; ++x) {
      auto a = static_cast<uint16_t>(z * (n + 1) + x);
      auto b = static_cast<uint16_t>(a + n + 1);
      m.triangles.push_back({a, b, static_cast<uint16_t>(a + 1)});
      m.triangles.push_back({static_cast<uint16_t>(a + 1), b, static_cast<uint16_t>(b + 1)});
    }
  }
  return m;
}

media::Image make_image(int size, uint8_t r, uint8_t g, uint8_t b) {
  media::Image image;
  image.width = size;
  image.height = size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      bool check = ((x / 4) + (y / 4)) % 2 == 0;
      image.rgb.push_back(check ? r : static_cast<uint8_t>(r / 2));
      image.rgb.push_back(check ? g : static_cast<uint8_t>(g / 2));
      image.rgb.push_back(check ? b : static_cast<uint8_t>(b / 2));
    }
  }
  return image;
}

void write_media(const std::string& dir) {
  fs::path root(dir);
  struct Clip {
    const char* name;
    int width, frames, hue;
  };
  // televiso is shorter than the headless scene's index gets, so its
  // out-of-range path is exercised too.
  const Clip clips[] = {{"rasmu", 128, 4, 0},  {"televiso", 256, 8, 1}, {"kolpo", 256, 6, 2},
                        {"liekki", 128, 5, 0}, {"hp", 256, 4, 1},       {"raivo", 256, 4, 2},
                        {"monitor", 128, 3, 1}};
  for (const Clip& c : clips) {
    write_file(root / "data" / (std::string(c.name) + ".dat"), make_clip(c.width, c.frames, c.hue));
  }
  write_file(root / "obu" / "pallukka.obu", mesh::write_mesh_file(make_sphere()));
  write_file(root / "obu" / "aalto2.obu", mesh::write_mesh_file(make_wave()));
  write_file(root / "gfx" / "taivas2.bmp", media::encode_bmp(make_image(32, 90, 140, 220)));
  write_file(root / "gfx" / "media.bmp", media::encode_bmp(make_image(32, 200, 60, 60)));
  write_file(root / "gfx" / "media2.bmp", media::encode_bmp(make_image(32, 60, 200, 60)));
  write_file(root / "gfx" / "media3.bmp", media::encode_bmp(make_image(32, 60, 60, 200)));
  write_file(root / "gfx" / "media4.bmp", media::encode_bmp(make_image(32, 200, 200, 60)));
  write_file(root / "data" / "headless.tga", media::encode_tga(make_image(32, 128, 128, 128)));
}

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
  fs::copy(test_media_dir(), d, fs::copy_options::recursive);
  return d;
}

}  // namespace test_support
