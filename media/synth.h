// The soundtrack's building blocks: voices that add one note into a stereo
// buffer, and the effects the mix runs through. Everything is in double
// precision with a fixed order of operations, so every machine renders the
// same samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

inline constexpr int kSampleRate = 44100;

// Single precision in storage: a song's worth of buses in double would take
// most of a gigabyte. Voices still compute in double.
struct StereoBuffer {
  explicit StereoBuffer(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
  size_t frames() const { return left.size(); }
  void release() {
    std::vector<float>().swap(left);
    std::vector<float>().swap(right);
  }
  std::vector<float> left;
  std::vector<float> right;
};

// Equal-tempered pitch of a MIDI note number (69 = A 440 Hz).
double note_frequency(double note);

// A state-variable low-pass/band-pass filter, topology-preserving form
// (Zavalishin, "The Art of VA Filter Design", ch. 4), stable at any cutoff.
class Svf {
 public:
  void set(double cutoff_hz, double resonance);  // resonance 0..~0.95
  double low_pass(double in);
  double band_pass() const { return band_; }
  double high_pass() const { return high_; }

 private:
  double g_ = 0.1, k_ = 1.4, s1_ = 0, s2_ = 0, band_ = 0, high_ = 0;
};

// A Freeverb-style room (Jezar's comb and all-pass layout).
class Reverb {
 public:
  Reverb(double room, double damping);
  void process(double in_left, double in_right, double& out_left, double& out_right);

 private:
  struct Comb {
    std::vector<double> line;
    size_t pos = 0;
    double store = 0;
  };
  struct AllPass {
    std::vector<double> line;
    size_t pos = 0;
  };
  double feedback_, damping_;
  std::vector<Comb> combs_[2];
  std::vector<AllPass> allpasses_[2];
};

// Voices: each adds one event into `out` from sample `start`, scaled by
// `gain`, panned by `pan` (-1 left .. 1 right). Events may run past the
// buffer's end; what falls outside is dropped.
void add_kick(StereoBuffer& out, size_t start, double gain);
void add_snare(StereoBuffer& out, size_t start, double gain, uint32_t seed);
void add_hat(StereoBuffer& out, size_t start, double gain, bool open, double pan, uint32_t seed);
void add_crash(StereoBuffer& out, size_t start, double gain, uint32_t seed);
// Filtered noise rising in pitch and level over `length` samples.
void add_riser(StereoBuffer& out, size_t start, size_t length, double gain, uint32_t seed);
void add_bass(StereoBuffer& out, size_t start, size_t length, double note, double gain,
              double brightness);
void add_pad(StereoBuffer& out, size_t start, size_t length, double note, double gain,
             double brightness);
void add_pluck(StereoBuffer& out, size_t start, size_t length, double note, double gain,
               double pan, double brightness);
void add_lead(StereoBuffer& out, size_t start, size_t length, double note, double gain,
              double glide_from);

}  // namespace media
