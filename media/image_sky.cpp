// taivas2: blue sky with drifting clouds. The orbiter scenes repeat it four
// and eight times across their meshes, so it tiles seamlessly and has no
// top-to-bottom gradient that would band when repeated.
#include "media/images.h"
#include "media/noise.h"

namespace media {

Image render_sky() {
  constexpr int kSize = 256;
  Canvas canvas(kSize, kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      double u = (x + 0.5) / kSize * 4.0, v = (y + 0.5) / kSize * 4.0;
      double tone = tile_fbm2(31, u * 0.5, v * 0.5, 2, 2, 2);
      Colour sky = mix(rgb255(40, 95, 190), rgb255(120, 170, 235), tone);
      double n = tile_fbm2(37, u, v, 4, 4, 6, 0.55);
      double cloud = smoothstep(0.48, 0.72, n);
      // Lit from above: thicker cloud a little further down casts shade.
      double below = tile_fbm2(37, u + 0.03, v + 0.06, 4, 4, 6, 0.55);
      double shade = clamp01(0.85 + (n - below) * 4.0);
      Colour white = mix(rgb255(170, 180, 200), rgb255(255, 255, 255), shade);
      canvas.at(x, y) = mix(sky, white, cloud);
    }
  }
  return canvas.to_image();
}

}  // namespace media
