// vemo.mp3's samples: the score played into buses, mixed through echo and
// reverb with the kick ducking the rest, folded into a seamless loop.
#include <algorithm>
#include <cmath>

#include "media/det_math.h"
#include "media/media.h"
#include "media/song.h"

namespace media {

namespace {

// Notes and reverb ringing past the last bar, folded back onto the start.
constexpr size_t kTailFrames = 4 * kSampleRate;

// Echo of three sixteenths, bouncing between the sides.
void ping_pong(const StereoBuffer& in, StereoBuffer& out, double feedback, double level) {
  const size_t delay = 3 * kSixteenthFrames;
  std::vector<double> line_l(delay, 0.0), line_r(delay, 0.0);
  size_t pos = 0;
  for (size_t i = 0; i < in.frames(); ++i) {
    double dl = line_l[pos], dr = line_r[pos];
    line_l[pos] = (static_cast<double>(in.left[i]) + in.right[i]) * 0.5 + dr * feedback;
    line_r[pos] = dl * feedback;
    if (++pos == delay) pos = 0;
    out.left[i] = static_cast<float>(out.left[i] + dl * level);
    out.right[i] = static_cast<float>(out.right[i] + dr * level);
  }
}

// How much the kick pushes the other instruments down at each frame.
std::vector<double> ducking(const std::vector<size_t>& kicks, size_t frames) {
  std::vector<double> gain(frames, 1.0);
  const size_t length = static_cast<size_t>(0.3 * kSampleRate);
  std::vector<double> shape(length);
  for (size_t i = 0; i < length; ++i) {
    double t = static_cast<double>(i) / kSampleRate;
    shape[i] = 1.0 - 0.55 * det_exp(-t / 0.09) * clamp01(t / 0.004 + 0.3);
  }
  for (size_t k : kicks) {
    for (size_t i = 0; i < length && k + i < frames; ++i) gain[k + i] = std::min(gain[k + i], shape[i]);
  }
  return gain;
}

}  // namespace

Soundtrack render_soundtrack() {
  const size_t frames = kSongFrames + kTailFrames;
  SongBuses buses(frames);
  play_song(buses);
  std::sort(buses.kicks.begin(), buses.kicks.end());
  std::vector<double> duck = ducking(buses.kicks, frames);

  // The mix, reverb send and echo send are written over three of the buses
  // (each frame is read before it is overwritten); the rest are released.
  StereoBuffer& mix = buses.drums;
  StereoBuffer& send = buses.bass;
  StereoBuffer& echo_send = buses.pads;
  for (size_t i = 0; i < frames; ++i) {
    const double d = duck[i];
    double m[2] = {0, 0}, rv[2] = {0, 0}, ec[2] = {0, 0};
    auto bus = [&](const StereoBuffer& b, double reverb, double echo, double ducked) {
      double g = ducked > 0.0 ? lerp(1.0, d, ducked) : 1.0;
      double l = b.left[i] * g, r = b.right[i] * g;
      m[0] += l;
      m[1] += r;
      rv[0] += l * reverb;
      rv[1] += r * reverb;
      ec[0] += l * echo;
      ec[1] += r * echo;
    };
    bus(buses.drums, 0.12, 0.0, 0.0);
    bus(buses.bass, 0.0, 0.0, 0.8);
    bus(buses.pads, 0.6, 0.0, 1.0);
    bus(buses.arp, 0.35, 0.5, 0.7);
    bus(buses.lead, 0.4, 0.35, 0.3);
    bus(buses.effects, 0.5, 0.0, 0.0);
    mix.left[i] = static_cast<float>(m[0]);
    mix.right[i] = static_cast<float>(m[1]);
    send.left[i] = static_cast<float>(rv[0]);
    send.right[i] = static_cast<float>(rv[1]);
    echo_send.left[i] = static_cast<float>(ec[0]);
    echo_send.right[i] = static_cast<float>(ec[1]);
  }
  buses.arp.release();
  buses.lead.release();
  buses.effects.release();
  ping_pong(echo_send, mix, 0.45, 0.55);
  ping_pong(echo_send, send, 0.45, 0.3);
  Reverb room(0.86, 0.35);
  for (size_t i = 0; i < frames; ++i) {
    double l, r;
    room.process(send.left[i], send.right[i], l, r);
    mix.left[i] = static_cast<float>(mix.left[i] + l);
    mix.right[i] = static_cast<float>(mix.right[i] + r);
  }

  // Fold the tail onto the start: the loop point is then inaudible.
  for (size_t i = 0; i < kTailFrames; ++i) {
    mix.left[i] = mix.left[i] + mix.left[kSongFrames + i];
    mix.right[i] = mix.right[i] + mix.right[kSongFrames + i];
  }

  // Master: normalise to -1 dBFS of the soft-clipped peak.
  double peak = 1e-9;
  for (size_t i = 0; i < kSongFrames; ++i) {
    peak = std::max(peak, static_cast<double>(std::max(std::fabs(mix.left[i]), std::fabs(mix.right[i]))));
  }
  const double drive = 1.4 / peak;  // a little into the soft clip
  const double ceiling = 0.891 / det_tanh(1.4);
  Soundtrack track;
  track.samples.reserve(kSongFrames * 2);
  for (size_t i = 0; i < kSongFrames; ++i) {
    for (double v : {static_cast<double>(mix.left[i]), static_cast<double>(mix.right[i])}) {
      double shaped = det_tanh(v * drive) * ceiling * 32767.0;
      track.samples.push_back(static_cast<int16_t>(std::clamp(std::floor(shaped + 0.5), -32767.0, 32767.0)));
    }
  }
  return track;
}

}  // namespace media
