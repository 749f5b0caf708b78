// PNG files for `tuuli clip`: frames out (extract) and frames in (encode).
#pragma once

#include <string>
#include <vector>

namespace tools {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // row by row, R G B
};

// A PNG, BMP or TGA file as 8-bit RGB. False with a message in `error` when
// the file cannot be read or is not such an image.
bool read_rgb_image(const std::string& path, RgbImage* image, std::string* error);

bool write_rgb_png(const std::string& path, const RgbImage& image);

// R5G6B5 pixels widened to 8 bits a channel (the top bits repeated below).
RgbImage rgb565_to_image(const uint16_t* pixels, int width, int height);

}  // namespace tools
