#include <cmath>

#include "media/det_math.h"
#include "media/noise.h"
#include "media/synth.h"

namespace media {

namespace {

constexpr double kDt = 1.0 / kSampleRate;

void put(StereoBuffer& out, size_t i, double left, double right) {
  if (i >= out.frames()) return;
  out.left[i] = static_cast<float>(out.left[i] + left);
  out.right[i] = static_cast<float>(out.right[i] + right);
}

// Constant-power pan: -1 left, 0 centre, 1 right.
void pan_gains(double pan, double& left, double& right) {
  double angle = (clamp01((pan + 1.0) * 0.5)) * kPi * 0.5;
  left = det_cos(angle);
  right = det_sin(angle);
}

// Band-limited step correction for the saw (polyBLEP, Välimäki 2007): keeps
// the bright voices from folding their harmonics back as hiss.
double poly_blep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

struct Saw {
  double phase = 0.0;
  double next(double frequency) {
    double dt = frequency * kDt;
    double value = 2.0 * phase - 1.0 - poly_blep(phase, dt);
    phase += dt;
    if (phase >= 1.0) phase -= 1.0;
    return value;
  }
};

// Decay coefficient per sample for a time constant in seconds.
double decay_per_sample(double seconds) { return det_exp(-kDt / seconds); }

// Linear attack and release around a held note.
double gate(size_t i, size_t length, double attack_s, double release_s) {
  double t = i * kDt;
  double a = attack_s > 0.0 ? clamp01(t / attack_s) : 1.0;
  double held = length * kDt;
  double r = t <= held ? 1.0 : clamp01(1.0 - (t - held) / release_s);
  return a * r;
}

}  // namespace

void add_kick(StereoBuffer& out, size_t start, double gain) {
  const size_t length = static_cast<size_t>(0.45 * kSampleRate);
  double phase = 0.0, amp = 1.0, pitch = 1.0;
  const double amp_decay = decay_per_sample(0.16), pitch_decay = decay_per_sample(0.03);
  for (size_t i = 0; i < length; ++i) {
    double frequency = 46.0 + 120.0 * pitch;
    phase += frequency * kDt;
    if (phase >= 1.0) phase -= 1.0;
    double attack = clamp01(i / 44.0);
    double value = det_sin(kTwoPi * phase) * amp * attack;
    value = det_tanh(value * 1.6) * 0.9;
    put(out, start + i, value * gain, value * gain);
    amp *= amp_decay;
    pitch *= pitch_decay;
  }
}

void add_snare(StereoBuffer& out, size_t start, double gain, uint32_t seed) {
  const size_t length = static_cast<size_t>(0.3 * kSampleRate);
  Random noise(seed);
  Svf body;
  body.set(3200.0, 0.2);
  double tone_phase = 0.0, tone_amp = 1.0, noise_amp = 1.0;
  const double tone_decay = decay_per_sample(0.06), noise_decay = decay_per_sample(0.11);
  for (size_t i = 0; i < length; ++i) {
    tone_phase += 190.0 * kDt;
    double tone = (det_sin(kTwoPi * tone_phase) + 0.5 * det_sin(kTwoPi * tone_phase * 1.73)) * tone_amp;
    body.low_pass(noise.next_signed());
    double hiss = (body.high_pass() * 0.7 + body.band_pass()) * noise_amp;
    double value = (0.45 * tone + 0.8 * hiss) * gain;
    put(out, start + i, value, value);
    tone_amp *= tone_decay;
    noise_amp *= noise_decay;
  }
}

void add_hat(StereoBuffer& out, size_t start, double gain, bool open, double pan, uint32_t seed) {
  const double decay_s = open ? 0.18 : 0.03;
  const size_t length = static_cast<size_t>(decay_s * 6.0 * kSampleRate);
  Random noise(seed);
  Svf filter;
  filter.set(8500.0, 0.3);
  double amp = 1.0;
  const double decay = decay_per_sample(decay_s);
  double left, right;
  pan_gains(pan, left, right);
  for (size_t i = 0; i < length; ++i) {
    filter.low_pass(noise.next_signed());
    double value = filter.high_pass() * amp * gain;
    put(out, start + i, value * left, value * right);
    amp *= decay;
  }
}

void add_crash(StereoBuffer& out, size_t start, double gain, uint32_t seed) {
  const size_t length = static_cast<size_t>(2.5 * kSampleRate);
  Random noise_l(seed), noise_r(seed + 1);
  Svf fl, fr;
  fl.set(5000.0, 0.1);
  fr.set(5200.0, 0.1);
  double amp = 1.0;
  const double decay = decay_per_sample(0.7);
  for (size_t i = 0; i < length; ++i) {
    fl.low_pass(noise_l.next_signed());
    fr.low_pass(noise_r.next_signed());
    double attack = clamp01(i / 200.0);
    put(out, start + i, (fl.high_pass() + 0.4 * fl.band_pass()) * amp * attack * gain,
        (fr.high_pass() + 0.4 * fr.band_pass()) * amp * attack * gain);
    amp *= decay;
  }
}

void add_riser(StereoBuffer& out, size_t start, size_t length, double gain, uint32_t seed) {
  Random noise_l(seed), noise_r(seed + 7);
  Svf fl, fr;
  for (size_t i = 0; i < length; ++i) {
    double t = static_cast<double>(i) / length;
    if (i % 32 == 0) {
      double cutoff = 300.0 * det_pow(30.0, t);
      fl.set(cutoff, 0.6);
      fr.set(cutoff * 1.05, 0.6);
    }
    fl.low_pass(noise_l.next_signed());
    fr.low_pass(noise_r.next_signed());
    double level = t * t * gain;
    put(out, start + i, fl.band_pass() * level, fr.band_pass() * level);
  }
}

void add_bass(StereoBuffer& out, size_t start, size_t length, double note, double gain,
              double brightness) {
  const double release_s = 0.03;
  const size_t total = length + static_cast<size_t>(release_s * kSampleRate);
  const double frequency = note_frequency(note);
  Saw saw;
  double sub_phase = 0.0, env = 1.0;
  const double env_decay = decay_per_sample(0.15);
  Svf filter;
  for (size_t i = 0; i < total; ++i) {
    if (i % 16 == 0) filter.set(120.0 + frequency * 2.0 + brightness * 2400.0 * env, 0.35);
    sub_phase += frequency * 0.5 * kDt;
    if (sub_phase >= 1.0) sub_phase -= 1.0;
    double raw = saw.next(frequency) * 0.7 + det_sin(kTwoPi * sub_phase) * 0.6;
    double value = filter.low_pass(raw) * gate(i, length, 0.004, release_s) * gain;
    put(out, start + i, value, value);
    env *= env_decay;
  }
}

void add_pad(StereoBuffer& out, size_t start, size_t length, double note, double gain,
             double brightness) {
  const double release_s = 0.9;
  const size_t total = length + static_cast<size_t>(release_s * kSampleRate);
  // Three detuned saws a side (cents), slightly different on each side.
  const double detune_left[3] = {-11.0, 0.0, 7.0};
  const double detune_right[3] = {-6.0, 2.0, 12.0};
  Saw left[3], right[3];
  double fl_hz[3], fr_hz[3];
  for (int k = 0; k < 3; ++k) {
    fl_hz[k] = note_frequency(note + detune_left[k] / 100.0);
    fr_hz[k] = note_frequency(note + detune_right[k] / 100.0);
    // Start the oscillators apart so the chorus does not begin in phase.
    left[k].phase = 0.13 + 0.29 * k;
    right[k].phase = 0.61 + 0.17 * k;
  }
  Svf filter_l, filter_r;
  const double cutoff = 500.0 + brightness * 3500.0;
  filter_l.set(cutoff, 0.15);
  filter_r.set(cutoff, 0.15);
  for (size_t i = 0; i < total; ++i) {
    double sl = 0.0, sr = 0.0;
    for (int k = 0; k < 3; ++k) {
      sl += left[k].next(fl_hz[k]);
      sr += right[k].next(fr_hz[k]);
    }
    double env = gate(i, length, 0.35, release_s) * gain / 3.0;
    put(out, start + i, filter_l.low_pass(sl) * env, filter_r.low_pass(sr) * env);
  }
}

void add_pluck(StereoBuffer& out, size_t start, size_t length, double note, double gain,
               double pan, double brightness) {
  const size_t total = length + static_cast<size_t>(0.05 * kSampleRate);
  const double frequency = note_frequency(note);
  Saw a, b;
  b.phase = 0.5;
  Svf filter;
  double env = 1.0, amp = 1.0;
  const double env_decay = decay_per_sample(0.07), amp_decay = decay_per_sample(0.22);
  double left, right;
  pan_gains(pan, left, right);
  for (size_t i = 0; i < total; ++i) {
    if (i % 16 == 0) filter.set(300.0 + brightness * 6000.0 * env, 0.4);
    // Two saws half a cycle apart make a pulse: hollow, like a square.
    double raw = a.next(frequency) - b.next(frequency * 1.003);
    double value = filter.low_pass(raw) * amp * gate(i, length, 0.002, 0.05) * gain;
    put(out, start + i, value * left, value * right);
    env *= env_decay;
    amp *= amp_decay;
  }
}

void add_lead(StereoBuffer& out, size_t start, size_t length, double note, double gain,
              double glide_from) {
  const double release_s = 0.12;
  const size_t total = length + static_cast<size_t>(release_s * kSampleRate);
  Saw a, b, c;
  b.phase = 0.3;
  c.phase = 0.7;
  Svf filter_l, filter_r;
  filter_l.set(3400.0, 0.25);
  filter_r.set(3400.0, 0.25);
  double vibrato_phase = 0.0;
  for (size_t i = 0; i < total; ++i) {
    double t = i * kDt;
    double glide = clamp01(t / 0.05);
    double pitch = glide_from + (note - glide_from) * glide;
    vibrato_phase += 5.5 * kDt;
    double vibrato = 0.12 * clamp01((t - 0.2) / 0.3) * det_sin(kTwoPi * vibrato_phase);
    double f = note_frequency(pitch + vibrato);
    double sa = a.next(f * 0.997), sb = b.next(f * 1.003), sc = c.next(f * 2.0);
    double env = gate(i, length, 0.01, release_s) * gain;
    put(out, start + i, filter_l.low_pass(sa + 0.3 * sc) * env, filter_r.low_pass(sb + 0.3 * sc) * env);
  }
}

}  // namespace media
