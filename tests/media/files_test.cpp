// The pack's files in the formats the demo's loaders read: bitmaps and Targa
// images decode (here through stb_image, an independent reader) to the
// pictures that were made, and the meshes are laid out as the mesh reader
// addresses them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "media/media.h"
#include "mesh/mesh.h"

namespace {

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

float f32_at(const std::vector<uint8_t>& b, size_t at) {
  uint32_t bits = u32_at(b, at);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

struct ImageCase {
  const char* name;
  bool targa;
  int size;
};

class PackImage : public testing::TestWithParam<ImageCase> {};

TEST_P(PackImage, FileDecodesToTheRenderedPictureRightWayUp) {
  const ImageCase& c = GetParam();
  media::Image image = media::render_image(c.name);
  ASSERT_EQ(image.width, c.size);
  ASSERT_EQ(image.height, c.size);
  std::vector<uint8_t> file = c.targa ? media::encode_tga(image) : media::encode_bmp(image);
  if (c.targa) {
    EXPECT_EQ(file[2], 2);    // uncompressed true colour
    EXPECT_EQ(file[16], 24);  // bits per pixel
  } else {
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(u32_at(file, 2), file.size());
    EXPECT_EQ(file[28], 24);
    EXPECT_EQ(u32_at(file, 30), 0u);  // BI_RGB
  }
  int w = 0, h = 0, channels = 0;
  stbi_uc* decoded = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &channels, 3);
  ASSERT_NE(decoded, nullptr) << stbi_failure_reason();
  std::vector<uint8_t> pixels(decoded, decoded + static_cast<size_t>(w) * h * 3);
  stbi_image_free(decoded);
  EXPECT_EQ(w, image.width);
  EXPECT_EQ(h, image.height);
  EXPECT_EQ(channels, 3);
  EXPECT_TRUE(pixels == image.rgb) << "channel order, row order or row padding differs";
}

INSTANTIATE_TEST_SUITE_P(Pack, PackImage,
                         testing::Values(ImageCase{"taivas2", false, 256}, ImageCase{"media", false, 512},
                                         ImageCase{"media2", false, 512}, ImageCase{"media3", false, 512},
                                         ImageCase{"media4", false, 512}, ImageCase{"headless", true, 256}),
                         [](const testing::TestParamInfo<ImageCase>& param) { return std::string(param.param.name); });

TEST(ImageFiles, OddWidthRowsArePaddedToFourBytes) {
  media::Image image{3, 2, std::vector<uint8_t>(3 * 2 * 3)};
  for (size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> file = media::encode_bmp(image);
  EXPECT_EQ(file.size(), 54u + 2 * 12);
  int w, h, n;
  stbi_uc* decoded = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 3);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(0, std::memcmp(decoded, image.rgb.data(), image.rgb.size()));
  stbi_image_free(decoded);
}

TEST(ImageFiles, PixelsThatDoNotMatchTheSizeAreRefused) {
  const media::Image bad[] = {{4, 4, std::vector<uint8_t>(4 * 4 * 3 - 1)},
                              {0, 4, {}},
                              {-2, 2, std::vector<uint8_t>(12)},
                              {70000, 1, std::vector<uint8_t>(210000)}};
  for (const media::Image& image : bad) {
    EXPECT_THROW(media::encode_bmp(image), std::invalid_argument);
    EXPECT_THROW(media::encode_tga(image), std::invalid_argument);
  }
}

// Overlays that the scenes add over the video must have a black ground, or
// they grey out the whole picture; the 2x-multiplied head must sit around
// mid-grey, or it blacks the video out (or burns it white).
TEST(PackImages, AddedOverlaysHaveABlackGroundAndTheHeadIsNearNeutral) {
  for (const char* name : {"media2", "media3", "media4"}) {
    media::Image image = media::render_image(name);
    size_t dark = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
      if (image.rgb[i] < 12 && image.rgb[i + 1] < 12 && image.rgb[i + 2] < 12) ++dark;
    }
    EXPECT_GT(dark * 3, image.rgb.size() / 2) << name << ": under half of it is black";
  }
  media::Image head = media::render_image("headless");
  double sum = 0;
  for (uint8_t v : head.rgb) sum += v;
  double mean = sum / head.rgb.size();
  EXPECT_GT(mean, 95.0);
  EXPECT_LT(mean, 165.0);
}

// Seam test: a picture that tiles differs across its wrap-around edge about
// as much as between any two neighbouring columns or rows.
double edge_step(const std::vector<uint8_t>& rgb, int size, bool columns, int a, int b) {
  double sum = 0;
  for (int i = 0; i < size; ++i) {
    for (int c = 0; c < 3; ++c) {
      size_t pa = columns ? (static_cast<size_t>(i) * size + a) * 3 + c : (static_cast<size_t>(a) * size + i) * 3 + c;
      size_t pb = columns ? (static_cast<size_t>(i) * size + b) * 3 + c : (static_cast<size_t>(b) * size + i) * 3 + c;
      sum += std::fabs(static_cast<double>(rgb[pa]) - rgb[pb]);
    }
  }
  return sum / (size * 3);
}

void expect_tiles(const std::vector<uint8_t>& rgb, int size, const char* what) {
  for (bool columns : {true, false}) {
    double typical = 0;
    for (int i = 0; i + 1 < size; ++i) typical = std::max(typical, edge_step(rgb, size, columns, i, i + 1));
    EXPECT_LE(edge_step(rgb, size, columns, size - 1, 0), typical * 1.05)
        << what << (columns ? ": left and right edges" : ": top and bottom edges") << " do not meet";
  }
}

TEST(PackImages, SkyTilesBecauseTheMeshesRepeatIt) {
  media::Image sky = media::render_image("taivas2");
  expect_tiles(sky.rgb, sky.width, "taivas2");
}

TEST(PackImages, KolpoTilesBecauseTheMeshesWrapIt) {
  auto frames = media::render_clip("kolpo");
  for (size_t i : {size_t{0}, frames.size() / 2}) expect_tiles(frames[i].rgb, frames[i].width, "kolpo");
}

TEST(PackImages, UnknownNamesAreRefused) {
  EXPECT_THROW(media::render_image("media5"), std::invalid_argument);
  EXPECT_THROW(media::render_clip("rasmu.dat"), std::invalid_argument);
}

// The mesh file as the reader addresses it: three counts, then positions,
// triangles, texture coordinates, face and vertex normals.
struct MeshCase {
  const char* name;
  mesh::MeshData (*make)();
};

class PackMesh : public testing::TestWithParam<MeshCase> {};

TEST_P(PackMesh, FileHoldsTheGeometryWhereTheReaderLooks) {
  mesh::MeshData m = GetParam().make();
  ASSERT_EQ(m.tex_coords.size(), m.positions.size());
  std::vector<uint8_t> file = mesh::write_mesh_file(m);
  ASSERT_GE(file.size(), 12u);
  uint32_t v = u32_at(file, 0), t = u32_at(file, 4), n = u32_at(file, 8);
  EXPECT_EQ(v, m.positions.size());
  EXPECT_EQ(t, m.triangles.size());
  EXPECT_EQ(n, m.positions.size());
  size_t tail = (12 + 12 * size_t{v} + 6 * size_t{t}) / 4 * 4;
  EXPECT_EQ(file.size(), tail + 8 * size_t{n} + 12 * size_t{t} + 12 * size_t{v});
  for (uint32_t i = 0; i < v; i += 97) {
    EXPECT_EQ(f32_at(file, 12 + 12 * i), m.positions[i].x);
    EXPECT_EQ(f32_at(file, tail + 8 * i), m.tex_coords[i].u);
  }
  // An odd triangle count would make the last index share bytes with the
  // tail, which the reader may reject.
  EXPECT_EQ(t % 2, 0u);
  for (const auto& tri : m.triangles) {
    for (uint16_t i : tri) ASSERT_LT(i, v);
    EXPECT_TRUE(tri[0] != tri[1] && tri[1] != tri[2] && tri[0] != tri[2]);
  }
  for (const auto& uv : m.tex_coords) {
    EXPECT_TRUE(uv.u >= 0.0f && uv.u <= 1.0f && uv.v >= 0.0f && uv.v <= 1.0f);
  }
}

// The demo's own reader accepts the file and reads back the same geometry.
TEST_P(PackMesh, TheMeshReaderAcceptsItAndReadsItBack) {
  mesh::MeshData made = GetParam().make();
  std::vector<uint8_t> file = mesh::write_mesh_file(made);
  std::string detail;
  ASSERT_EQ(mesh::check_mesh_file(file.data(), file.size(), nullptr, &detail), mesh::MeshFileError::kNone)
      << detail;
  mesh::MeshData read = mesh::read_mesh_file(file.data(), file.size());
  ASSERT_EQ(read.positions.size(), made.positions.size());
  ASSERT_EQ(read.triangles, made.triangles);
  for (size_t i = 0; i < made.positions.size(); ++i) {
    EXPECT_EQ(read.positions[i].y, made.positions[i].y);
    EXPECT_EQ(read.tex_coords[i].v, made.tex_coords[i].v);
  }
}

INSTANTIATE_TEST_SUITE_P(Pack, PackMesh,
                         testing::Values(MeshCase{"pallukka", media::make_sphere_mesh},
                                         MeshCase{"aalto2", media::make_wave_mesh}),
                         [](const testing::TestParamInfo<MeshCase>& param) { return std::string(param.param.name); });

TEST(PackMeshes, SphereHasRadius100AndWaveSpans100By100) {
  for (const auto& p : media::make_sphere_mesh().positions) {
    EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), 100.0, 0.01);
  }
  float min_x = 1e9f, max_x = -1e9f, min_z = 1e9f, max_z = -1e9f, max_abs_y = 0;
  for (const auto& p : media::make_wave_mesh().positions) {
    min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
    min_z = std::min(min_z, p.z), max_z = std::max(max_z, p.z);
    max_abs_y = std::max(max_abs_y, std::fabs(p.y));
  }
  EXPECT_FLOAT_EQ(max_x - min_x, 100.0f);
  EXPECT_FLOAT_EQ(max_z - min_z, 100.0f);
  // Waves, but low: the eye passes close above the surface.
  EXPECT_GT(max_abs_y, 2.0f);
  EXPECT_LT(max_abs_y, 15.0f);
}

}  // namespace
