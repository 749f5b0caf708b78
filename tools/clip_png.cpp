// stb_image and stb_image_write, compiled here with internal linkage so that
// no other part of the program that uses them can clash with this copy.
#include "tools/clip_png.h"

#include <cstdint>

#include "platform/win32/frame.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
// Only the formats `tuuli clip encode` takes: no other decoder is reachable
// from a file.
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
// Clip frames are at most 256 pixels wide; anything far larger is refused
// before stb_image allocates for it.
#define STBI_MAX_DIMENSIONS 4096
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wshadow=local"
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace tools {

bool read_rgb_image(const std::string& path, RgbImage* image, std::string* error) {
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
  if (pixels == nullptr) {
    *error = std::string("cannot read image: ") + stbi_failure_reason();
    return false;
  }
  image->width = width;
  image->height = height;
  image->rgb.assign(pixels, pixels + static_cast<size_t>(width) * height * 3);
  stbi_image_free(pixels);
  return true;
}

bool write_rgb_png(const std::string& path, const RgbImage& image) {
  return stbi_write_png(path.c_str(), image.width, image.height, 3, image.rgb.data(),
                        image.width * 3) != 0;
}

RgbImage rgb565_to_image(const uint16_t* pixels, int width, int height) {
  RgbImage image;
  image.width = width;
  image.height = height;
  image.rgb.resize(static_cast<size_t>(width) * height * 3);
  const win32::Frame frame{pixels, width, height, width * 2, win32::PixelFormat::r5g6b5};
  win32::frame_to_rgb888(frame, image.rgb.data());
  return image;
}

}  // namespace tools
