// The soundtrack's score and arrangement: which voices play what, bar by
// bar, following the demo's scene changes.
#pragma once

#include <vector>

#include "media/synth.h"

namespace media {

// 150 beats per minute puts a bar at exactly 1.6 s, and every scene change
// of the demo (1.6, 8.0, 14.4 ... 89.6 s) on a bar or half-bar line.
inline constexpr int kBeatsPerMinute = 150;
inline constexpr size_t kSixteenthFrames = kSampleRate * 60 / kBeatsPerMinute / 4;  // 4410
inline constexpr size_t kBarFrames = kSixteenthFrames * 16;                          // 1.6 s
inline constexpr int kSongBars = 64;                                                 // 102.4 s
inline constexpr size_t kSongFrames = kBarFrames * kSongBars;

// Separate groups so the mix can treat them apart: reverb and echo sends,
// and ducking under the kick.
struct SongBuses {
  explicit SongBuses(size_t frames)
      : drums(frames), bass(frames), pads(frames), arp(frames), lead(frames), effects(frames) {}
  StereoBuffer drums, bass, pads, arp, lead, effects;
  std::vector<size_t> kicks;  // start frame of every kick, for the ducking
};

// Plays the whole score into buses of at least kSongFrames frames; notes
// that ring past the end land in the extra frames, which the mix folds back
// onto the start so the track loops.
void play_song(SongBuses& buses);

}  // namespace media
