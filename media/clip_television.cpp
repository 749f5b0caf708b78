// televiso: an old television set on a shelf, flicking through three
// channels. The clip is both a base picture and a 2x multiplier over other
// clips, so the room around the set stays in the middle greys: other video
// shows through it, brightest through the screen.
#include <algorithm>

#include "media/clips.h"
#include "media/noise.h"

namespace media {

namespace {

constexpr int kChannelFrames = 16;

// Test card: colour bars with a bright band rolling down.
Colour colour_bars(double x, double y, double q) {
  static const Colour kTop[7] = {grey(0.78),           rgb255(200, 200, 20), rgb255(20, 200, 200),
                                 rgb255(20, 200, 20),  rgb255(200, 20, 200), rgb255(200, 20, 20),
                                 rgb255(20, 20, 200)};
  static const Colour kMiddle[7] = {rgb255(20, 20, 200), grey(0.06), rgb255(200, 20, 200),
                                    grey(0.06),          rgb255(20, 200, 200), grey(0.06),
                                    grey(0.78)};
  int bar = std::clamp(static_cast<int>((x + 1.0) * 3.5), 0, 6);
  Colour c;
  if (y < 0.3) {
    c = kTop[bar];
  } else if (y < 0.45) {
    c = kMiddle[bar];
  } else {
    c = x < -0.5 ? rgb255(0, 30, 90) : x < 0.0 ? grey(0.95) : x < 0.5 ? rgb255(60, 0, 110) : grey(0.05);
  }
  double roll = -1.3 + 2.6 * q;
  return c * (1.0 + 0.35 * det_exp(-(y - roll) * (y - roll) * 40.0));
}

// A sunset over the sea with a striped sun.
Colour sunset(double x, double y, double q) {
  const double horizon = 0.2;
  if (y < horizon) {
    Colour sky = mix(rgb255(60, 20, 90), rgb255(255, 140, 60), clamp01((y + 1.0) / 1.2));
    double d = std::sqrt(x * x + (y - 0.15) * (y - 0.15));
    // Gaps through the lower sun drift down one stripe per channel loop.
    bool gap = y > -0.05 && fract((y + 0.05) * 9.0 - q) < 0.3 * clamp01((y + 0.05) * 5.0);
    double sun = gap ? 0.0 : cover(d - 0.42, 0.03);
    return mix(sky, rgb255(255, 230, 110), sun);
  }
  double depth = (y - horizon) / (1.0 - horizon);
  Colour sea = mix(rgb255(90, 40, 80), rgb255(10, 20, 60), clamp01(depth * 1.4));
  double shimmer = 0.5 + 0.5 * det_sin(y * 60.0 / (depth + 0.2) - kTwoPi * q * 2.0);
  double streak = cover(std::fabs(x) - 0.35 * (1.0 - depth * 0.5), 0.1) * shimmer;
  return mix(sea, rgb255(255, 200, 100), streak * 0.8);
}

// A ball bouncing over a scrolling chequered floor.
Colour bouncing_ball(double x, double y, double q) {
  const double horizon = -0.15;
  Colour c;
  if (y < horizon) {
    c = mix(rgb255(40, 80, 200), rgb255(170, 210, 255), clamp01((y + 1.0) / 0.85));
  } else {
    double z = 0.6 / (y - horizon + 0.02);
    double wx = x * z;
    // One whole two-square period of scrolling per channel loop.
    bool light = ((static_cast<int>(std::floor(wx * 2.0)) +
                   static_cast<int>(std::floor((z + q) * 2.0))) & 1) != 0;
    Colour floor = light ? rgb255(235, 235, 225) : rgb255(200, 40, 40);
    double fog = clamp01((z - 0.6) / 5.0);
    c = mix(floor, rgb255(170, 210, 255), fog);
  }
  double height = std::fabs(det_sin(kPi * q));  // zero at both ends of the loop
  double bx = 0.25 * det_sin(kTwoPi * q), by = 0.45 - 0.85 * height;
  double shadow = cover(std::sqrt((x - bx) * (x - bx) * 1.0 + (y - 0.62) * (y - 0.62) * 16.0) -
                            0.2 * (1.0 - 0.4 * height), 0.05);
  c = c * (1.0 - 0.5 * shadow);
  double dx = (x - bx) / 0.22, dy = (y - by) / 0.22;
  double r2 = dx * dx + dy * dy;
  if (r2 < 1.2) {
    double nz = std::sqrt(std::max(0.0, 1.0 - r2));
    double light = clamp01(-0.5 * dx - 0.6 * dy + 0.6 * nz);
    Colour ball = rgb255(40, 90, 230) * (0.3 + 0.8 * light) + grey(det_pow(light + 1e-9, 12.0) * 0.8);
    c = mix(c, ball, cover(std::sqrt(r2) - 1.0, 0.08));
  }
  return c;
}

}  // namespace

std::vector<codec::RgbFrame> render_television(int width, int count) {
  const ScreenMap screen{width, width};
  const double soft = screen.texel();
  return render_frames(width, count, 1, [&, soft](int index, double) -> FrameShader {
    int channel = (index / kChannelFrames) % 3;
    int step = index % kChannelFrames;
    double q = static_cast<double>(step) / kChannelFrames;
    bool switching = step == kChannelFrames - 1;  // static as the set changes channel
    return [&, soft, channel, q, switching, index](double px, double py) {
      double x = screen.x(px), y = screen.y(py);
      // The room: a dim wall, lit from the upper left, and a shelf.
      Colour c = mix(rgb255(70, 72, 88), rgb255(40, 42, 55), clamp01(y / 480.0));
      c = c + rgb255(40, 30, 15) * det_exp(-((x - 60) * (x - 60) + (y - 40) * (y - 40)) / 60000.0);
      c = c * (0.96 + 0.04 * det_sin(x * 0.25));
      if (y > 418.0) c = mix(rgb255(110, 70, 40), rgb255(70, 45, 25), clamp01((y - 418.0) / 60.0));
      // Rabbit-ear antenna.
      double rods = std::min(sd_segment(x, y, 320, 95, 210, 8), sd_segment(x, y, 320, 95, 440, 14));
      c = mix(c, rgb255(170, 170, 175), cover(rods - 2.0, soft));
      double tips = std::min(sd_circle(x, y, 210, 8, 5), sd_circle(x, y, 440, 14, 5));
      c = mix(c, rgb255(200, 200, 205), cover(tips, soft));
      c = mix(c, rgb255(50, 45, 45), cover(sd_circle(x, y, 320, 104, 24), soft));
      // Feet and cabinet.
      double feet = std::min(sd_round_box(x, y, 165, 416, 22, 10, 3), sd_round_box(x, y, 475, 416, 22, 10, 3));
      c = mix(c, rgb255(30, 25, 20), cover(feet, soft));
      double cabinet = sd_round_box(x, y, 320, 258, 215, 152, 30);
      if (cabinet < soft) {
        double grain = 0.88 + 0.12 * det_sin(y * 0.35 + 3.0 * det_sin(x * 0.02 + y * 0.01));
        Colour wood = rgb255(125, 75, 40) * grain * (1.15 - 0.35 * (y - 106.0) / 304.0);
        wood = wood + grey(0.12) * cover(cabinet + 5.0, soft) * (1.0 - cover(cabinet + 8.0, soft));
        c = mix(c, wood, cover(cabinet, soft));
      }
      // Control panel: two knobs and a speaker grille.
      for (int k = 0; k < 2; ++k) {
        double ky = 180.0 + 65.0 * k;
        double knob = sd_circle(x, y, 478, ky, 20);
        Colour metal = mix(rgb255(210, 205, 190), rgb255(120, 115, 105), clamp01((y - ky + 20) / 40.0));
        c = mix(c, metal, cover(knob, soft));
        double mark = sd_segment(x, y, 478, ky, 478 + 14 * det_cos(1.0 + k + channel * 1.2),
                                 ky - 14 * det_sin(1.0 + k + channel * 1.2));
        c = mix(c, grey(0.15), cover(mark - 1.5, soft) * cover(knob, soft));
      }
      if (x > 452 && x < 505 && y > 290 && y < 375) {
        c = c * (0.55 + 0.45 * smoothstep(0.3, 0.7, std::fabs(det_sin(y * kPi / 9.0))));
      }
      // Bezel, then the picture tube.
      double bezel = sd_round_box(x, y, 270, 258, 150, 125, 32);
      c = mix(c, rgb255(28, 28, 30), cover(bezel, soft));
      double tube = sd_round_box(x, y, 270, 258, 138, 113, 26);
      if (tube < soft) {
        double lx = (x - 270.0) / 138.0, ly = (y - 258.0) / 113.0;
        double bulge = 1.0 + 0.08 * (lx * lx + ly * ly);  // the curved glass
        double cx = lx * bulge, cy = ly * bulge;
        Colour picture = channel == 0 ? colour_bars(cx, cy, q)
                         : channel == 1 ? sunset(cx, cy, q)
                                        : bouncing_ball(cx, cy, q);
        if (switching) {
          double snow = hash_unit(static_cast<uint32_t>(index), static_cast<int>(px),
                                  static_cast<int>(py));
          picture = mix(picture, grey(snow), 0.75);
        }
        double row = fract(py * 0.5);  // every other texel row a little darker
        picture = picture * ((row < 0.5 ? 1.0 : 0.88) * (1.0 - 0.3 * det_pow(lx * lx + ly * ly + 1e-9, 1.5)));
        double glare = 0.09 * smoothstep(0.2, 0.9, -(lx + ly) * 0.7) ;
        picture = picture + grey(glare);
        c = mix(c, picture, cover(tube, soft));
      }
      return c;
    };
  });
}

}  // namespace media
