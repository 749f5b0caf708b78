// monitor: a beige computer monitor on a desk, its green screen scrolling a
// boot log beside a spinning wireframe cube and a scope trace.
#include <algorithm>
#include <array>

#include "media/clips.h"
#include "media/font.h"

namespace media {

namespace {

const char* const kLogLines[] = {
    "TUULIKANNEL OS 2.0", "READY.",        "> load clips",   "rasmu ..... ok",
    "televiso .. ok",     "kolpo ..... ok", "liekki .... ok", "> init huffman",
    "fast table 1024",    "> luma grid",   "8x8 ok",         "> mov ax,13h",
    "> int 10h",          "> play vemo",   "wind: 150 bpm",  "> run demo",
};
constexpr int kLogLineCount = static_cast<int>(sizeof(kLogLines) / sizeof(kLogLines[0]));

// The log as one strip of text that repeats after its last line.
struct LogStrip {
  int width = 0;
  int line_height = 0;
  std::vector<TextMask> lines;
  int height() const { return line_height * kLogLineCount; }
  double sample(double x, double y) const {
    double wrapped = y - std::floor(y / height()) * height();
    int line = static_cast<int>(wrapped) / line_height;
    double within = wrapped - static_cast<double>(line) * line_height;
    // Bilinear in the line's mask.
    const TextMask& m = lines[static_cast<size_t>(line)];
    double fx = x - 0.5, fy = within - 0.5;
    int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    double ax = fx - x0, ay = fy - y0;
    double top = m.at(x0, y0) + (m.at(x0 + 1, y0) - m.at(x0, y0)) * ax;
    double bottom = m.at(x0, y0 + 1) + (m.at(x0 + 1, y0 + 1) - m.at(x0, y0 + 1)) * ax;
    return top + (bottom - top) * ay;
  }
};

}  // namespace

std::vector<codec::RgbFrame> render_monitor(int width, int count) {
  const ScreenMap screen{width, width};
  const double soft = screen.texel();
  // Text is laid out in texels: one texel is 640/(0.9 width) screen units
  // wide and 480/(0.9 width) high, so glyphs are squeezed by 3/4 to look
  // right once stretched.
  const double texel_scale = width / 256.0;
  Font mono("DejaVuSansMono-Bold.ttf");
  LogStrip log;
  log.line_height = static_cast<int>(std::floor(10.0 * texel_scale));
  for (const char* line : kLogLines) {
    log.lines.push_back(mono.render(line, 9.0 * texel_scale, 0.75));
  }
  const Colour phosphor = rgb255(110, 255, 140);

  return render_frames(width, count, 1, [&, soft](int index, double phase) -> FrameShader {
    double p = kTwoPi * phase;
    double scroll = phase * log.height();  // the whole log once per loop
    bool cursor_on = (index / 8) % 2 == 0;
    // The cube's corners, turned about two axes by whole turns per loop.
    std::array<std::array<double, 2>, 8> corner{};
    double ya = p, xa = 2.0 * p;
    for (int i = 0; i < 8; ++i) {
      double vx = (i & 1) ? 1 : -1, vy = (i & 2) ? 1 : -1, vz = (i & 4) ? 1 : -1;
      double rx = vx * det_cos(ya) + vz * det_sin(ya), rz = -vx * det_sin(ya) + vz * det_cos(ya);
      double ry = vy * det_cos(xa) - rz * det_sin(xa);
      rz = vy * det_sin(xa) + rz * det_cos(xa);
      double perspective = 3.2 / (rz + 4.5);
      corner[static_cast<size_t>(i)] = {0.56 + 0.2 * rx * perspective, -0.35 + 0.26 * ry * perspective};
    }
    return [&, soft, scroll, cursor_on, corner, p](double px, double py) {
      double x = screen.x(px), y = screen.y(py);
      Colour c = mix(rgb255(55, 62, 70), rgb255(95, 105, 110), clamp01(y / 420.0));
      if (y > 425.0) c = mix(rgb255(140, 100, 65), rgb255(90, 62, 40), clamp01((y - 425.0) / 55.0));
      // Stand, casing, recess.
      double stand = std::min(sd_round_box(x, y, 320, 405, 60, 18, 4), sd_round_box(x, y, 320, 428, 135, 9, 6));
      c = mix(c, rgb255(170, 162, 140), cover(stand, soft));
      double casing = sd_round_box(x, y, 320, 212, 228, 182, 24);
      if (casing < soft) {
        Colour beige = rgb255(205, 196, 172) * (1.08 - 0.25 * clamp01((y - 30.0) / 364.0));
        beige = mix(beige, beige * 0.8, cover(casing + 4.0, soft) * (1.0 - cover(casing + 7.0, soft)));
        c = mix(c, beige, cover(casing, soft));
      }
      // Vents, badge and power light under the screen.
      if (x > 380 && x < 470 && y > 362 && y < 378 && fract(x / 9.0) < 0.45) c = c * 0.7;
      c = mix(c, rgb255(80, 78, 70), cover(sd_round_box(x, y, 190, 370, 42, 8, 3), soft));
      double led = sd_circle(x, y, 512, 370, 6);
      c = mix(c, rgb255(60, 255, 90), cover(led, soft));
      c = c + rgb255(20, 90, 30) * det_exp(-(led + 6.0) * (led + 6.0) / 150.0);
      double recess = sd_round_box(x, y, 320, 200, 188, 144, 22);
      c = mix(c, rgb255(60, 58, 52), cover(recess, soft));
      double tube = sd_round_box(x, y, 320, 200, 174, 130, 16);
      if (tube < soft) {
        double lx = (x - 320.0) / 174.0, ly = (y - 200.0) / 130.0;
        Colour picture = rgb255(6, 22, 12);
        double glow = 0.0;
        // Scrolling log on the left two thirds.
        // The log's top-left corner sits at screen (151, 76).
        double tx = px - (151.0 / 640.0) * 0.9 * width;
        double ty = py - (76.0 / 480.0) * 0.9 * width + scroll;
        if (lx < 0.3 && ly > -0.92 && ly < 0.92) glow += 0.9 * log.sample(tx, ty);
        // Blinking cursor on the bottom line.
        if (cursor_on && lx > -0.9 && lx < -0.84 && ly > 0.78 && ly < 0.9) glow += 0.9;
        // Wireframe cube.
        static const int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                          {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        double edge = 1e9;
        for (const auto& e : kEdges) {
          const auto& a = corner[static_cast<size_t>(e[0])];
          const auto& b = corner[static_cast<size_t>(e[1])];
          edge = std::min(edge, sd_segment(lx, ly * 0.75, a[0], a[1] * 0.75, b[0], b[1] * 0.75));
        }
        glow += cover(edge - 0.008, 0.012) + 0.35 * det_exp(-edge * edge * 2500.0);
        // Scope trace bottom right, four cycles drifting by whole periods.
        if (lx > 0.38 && lx < 0.95 && ly > 0.25 && ly < 0.9) {
          double wave = 0.57 + 0.15 * det_sin(lx * 22.0 - 4.0 * p) * det_cos(lx * 5.0 + p);
          double d = std::fabs(ly - wave);
          glow += cover(d - 0.01, 0.02) + 0.3 * det_exp(-d * d * 800.0);
          if (std::fabs(fract(lx * 10.0) - 0.5) > 0.47 || std::fabs(fract(ly * 8.0) - 0.5) > 0.46) glow += 0.12;
        }
        picture = picture + phosphor * clamp01(glow);
        double row = fract(py * 0.5);
        picture = picture * ((row < 0.5 ? 1.0 : 0.85) * (1.0 - 0.35 * det_pow(lx * lx + ly * ly + 1e-9, 1.6)));
        picture = picture + grey(0.07 * smoothstep(0.3, 1.0, -(lx + ly) * 0.7));
        c = mix(c, picture, cover(tube, soft));
      }
      return c;
    };
  });
}

}  // namespace media
