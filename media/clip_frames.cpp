#include <stdexcept>

#include "media/clips.h"

namespace media {

std::vector<codec::RgbFrame> render_frames(
    int width, int count, int supersample,
    const std::function<FrameShader(int index, double phase)>& make_shader) {
  if (width <= 0 || count <= 0 || supersample <= 0) {
    throw std::invalid_argument("clip size, frame count and supersampling must be positive");
  }
  std::vector<codec::RgbFrame> frames;
  frames.reserve(static_cast<size_t>(count));
  const double weight = 1.0 / (supersample * supersample);
  for (int index = 0; index < count; ++index) {
    FrameShader shader = make_shader(index, static_cast<double>(index) / count);
    Canvas canvas(width, width);
    for (int y = 0; y < width; ++y) {
      for (int x = 0; x < width; ++x) {
        Colour sum;
        for (int sy = 0; sy < supersample; ++sy) {
          for (int sx = 0; sx < supersample; ++sx) {
            sum = sum + shader(x + (sx + 0.5) / supersample, y + (sy + 0.5) / supersample);
          }
        }
        canvas.at(x, y) = sum * weight;
      }
    }
    frames.push_back(canvas.to_frame());
  }
  return frames;
}

}  // namespace media
