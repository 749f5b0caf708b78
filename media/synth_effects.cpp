#include <cmath>

#include "media/det_math.h"
#include "media/synth.h"

namespace media {

double note_frequency(double note) { return 440.0 * det_pow(2.0, (note - 69.0) / 12.0); }

void Svf::set(double cutoff_hz, double resonance) {
  double limited = cutoff_hz < 20.0 ? 20.0 : (cutoff_hz > 18000.0 ? 18000.0 : cutoff_hz);
  double w = kPi * limited / kSampleRate;
  g_ = det_sin(w) / det_cos(w);
  k_ = 2.0 - 2.0 * (resonance < 0.0 ? 0.0 : (resonance > 0.97 ? 0.97 : resonance));
}

double Svf::low_pass(double in) {
  double v1 = (s1_ + g_ * (in - s2_)) / (1.0 + g_ * (g_ + k_));
  double v2 = s2_ + g_ * v1;
  s1_ = 2.0 * v1 - s1_;
  s2_ = 2.0 * v2 - s2_;
  band_ = v1;
  high_ = in - k_ * v1 - v2;
  return v2;
}

namespace {

// Freeverb's tunings at 44.1 kHz; the right channel's lines are 23 samples
// longer, which decorrelates the two sides.
constexpr int kCombLengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllPassLengths[] = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;

}  // namespace

Reverb::Reverb(double room, double damping) : feedback_(room), damping_(damping) {
  for (int side = 0; side < 2; ++side) {
    for (int length : kCombLengths) {
      combs_[side].push_back(Comb{std::vector<double>(static_cast<size_t>(length + side * kStereoSpread), 0.0)});
    }
    for (int length : kAllPassLengths) {
      allpasses_[side].push_back(AllPass{std::vector<double>(static_cast<size_t>(length + side * kStereoSpread), 0.0)});
    }
  }
}

void Reverb::process(double in_left, double in_right, double& out_left, double& out_right) {
  double input = (in_left + in_right) * 0.015;
  double out[2] = {0.0, 0.0};
  for (int side = 0; side < 2; ++side) {
    double sum = 0.0;
    for (Comb& c : combs_[side]) {
      double y = c.line[c.pos];
      c.store = y * (1.0 - damping_) + c.store * damping_;
      c.line[c.pos] = input + c.store * feedback_;
      if (++c.pos == c.line.size()) c.pos = 0;
      sum += y;
    }
    for (AllPass& a : allpasses_[side]) {
      double buffered = a.line[a.pos];
      double y = buffered - sum;
      a.line[a.pos] = sum + buffered * 0.5;
      if (++a.pos == a.line.size()) a.pos = 0;
      sum = y;
    }
    out[side] = sum;
  }
  out_left = out[0];
  out_right = out[1];
}

}  // namespace media
