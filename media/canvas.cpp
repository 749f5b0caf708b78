#include "media/canvas.h"

#include <algorithm>

namespace media {

Colour ramp(const std::vector<Colour>& stops, double t) {
  if (stops.empty()) return {};
  if (stops.size() == 1) return stops[0];
  double position = clamp01(t) * static_cast<double>(stops.size() - 1);
  size_t index = static_cast<size_t>(position);
  if (index >= stops.size() - 1) return stops.back();
  return mix(stops[index], stops[index + 1], position - static_cast<double>(index));
}

Canvas::Canvas(int width, int height, Colour fill)
    : width_(width), height_(height),
      pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), fill) {}

void Canvas::blend(int x, int y, Colour c, double alpha) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Colour& p = at(x, y);
  p = mix(p, c, clamp01(alpha));
}

void Canvas::add(int x, int y, Colour c, double amount) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Colour& p = at(x, y);
  p = p + c * amount;
}

namespace {

uint8_t to_byte(double v) {
  double scaled = std::floor(v * 255.0 + 0.5);
  return static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0));
}

std::vector<uint8_t> to_bytes(const std::vector<Colour>& pixels) {
  std::vector<uint8_t> bytes;
  bytes.reserve(pixels.size() * 3);
  for (const Colour& c : pixels) {
    bytes.push_back(to_byte(c.r));
    bytes.push_back(to_byte(c.g));
    bytes.push_back(to_byte(c.b));
  }
  return bytes;
}

}  // namespace

Image Canvas::to_image() const { return Image{width_, height_, to_bytes(pixels_)}; }

codec::RgbFrame Canvas::to_frame() const {
  codec::RgbFrame frame;
  frame.width = width_;
  frame.height = height_;
  frame.rgb = to_bytes(pixels_);
  return frame;
}

double sd_round_box(double x, double y, double cx, double cy, double half_w, double half_h,
                    double radius) {
  double qx = std::fabs(x - cx) - half_w + radius;
  double qy = std::fabs(y - cy) - half_h + radius;
  double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

double sd_segment(double x, double y, double ax, double ay, double bx, double by) {
  double pax = x - ax, pay = y - ay, bax = bx - ax, bay = by - ay;
  double length2 = bax * bax + bay * bay;
  double h = length2 > 0.0 ? clamp01((pax * bax + pay * bay) / length2) : 0.0;
  double dx = pax - bax * h, dy = pay - bay * h;
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace media
