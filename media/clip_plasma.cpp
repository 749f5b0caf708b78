// rasmu: the classic sine plasma, with a palette that cycles once per loop.
#include "media/clips.h"

namespace media {

std::vector<codec::RgbFrame> render_plasma(int width, int count) {
  // Dark valleys: the clip is added over another one, so it must not wash
  // the picture out to white.
  const std::vector<Colour> palette = {
      rgb255(0, 0, 0),     rgb255(0, 0, 0),      rgb255(40, 0, 60),  rgb255(90, 20, 110),
      rgb255(30, 70, 150), rgb255(20, 140, 150), rgb255(10, 30, 40), rgb255(0, 0, 0)};
  return render_frames(width, count, 1, [&](int, double phase) -> FrameShader {
    double p = kTwoPi * phase;  // only whole multiples of p: periodic over the loop
    double cx = 0.5 + 0.3 * det_cos(p), cy = 0.5 + 0.3 * det_sin(2.0 * p);
    return [&, p, cx, cy](double px, double py) {
      double u = px / width, v = py / width;
      double value = det_sin(u * 9.0 + p) + det_sin(v * 7.0 - 2.0 * p) +
                     det_sin((u + v) * 6.0 + p) +
                     det_sin(std::sqrt((u - cx) * (u - cx) + (v - cy) * (v - cy)) * 14.0 - p);
      double index = fract(value * 0.125 + 0.5 + p / kTwoPi);
      return ramp(palette, index);
    };
  });
}

}  // namespace media
