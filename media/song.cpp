#include "media/song.h"

#include <cstdint>

namespace media {

namespace {

enum class Part { kIntro, kCalm, kStir, kBuild, kDrop, kBreakdown, kHalf, kBreak, kGroove, kOutro };

struct Section {
  int first_bar;
  int bars;
  Part part;
};

// Bars of 1.6 s; the scene changes fall on the first bars of these sections
// (and on bar 42.5, which gets a crash of its own).
constexpr Section kSections[] = {
    {0, 1, Part::kIntro},       // title over flames
    {1, 4, Part::kCalm},        // television and flames
    {5, 4, Part::kStir},        // credits
    {9, 2, Part::kBuild},       // wind
    {11, 12, Part::kDrop},      // rotozoomers
    {23, 8, Part::kBreakdown},  // the sky sphere
    {31, 2, Part::kBuild},      // the head
    {33, 10, Part::kDrop},      // tunnel
    {43, 2, Part::kHalf},       // tunnel and plasma
    {45, 1, Part::kBreak},      // the wave surface
    {46, 8, Part::kGroove},     // interference and television
    {54, 2, Part::kBuild},      // back over the waves
    {56, 6, Part::kDrop},       // the monitor
    {62, 2, Part::kOutro},      // and back to the start
};

// A minor: Am, F, C, G, one chord a bar, from each section's first bar.
struct Chord {
  int root;      // bass note
  int tones[4];  // pad voicing
};
constexpr Chord kChords[4] = {
    {45, {57, 60, 64, 69}},  // Am
    {41, {53, 57, 60, 65}},  // F
    {48, {55, 60, 64, 67}},  // C
    {43, {55, 59, 62, 67}},  // G
};

struct Note {
  int start;   // sixteenths from the phrase start
  int length;  // sixteenths
  int pitch;
};

// The hook: four bars over the four chords, and its answer.
constexpr Note kHook[] = {
    {0, 3, 76},  {3, 3, 81},  {6, 2, 79},  {8, 4, 76},  {12, 2, 74}, {14, 2, 72},
    {16, 3, 72}, {19, 3, 77}, {22, 2, 76}, {24, 6, 72}, {30, 2, 69},
    {32, 3, 72}, {35, 3, 76}, {38, 2, 79}, {40, 4, 84}, {44, 2, 83}, {46, 2, 79},
    {48, 6, 79}, {54, 2, 76}, {56, 4, 74}, {60, 2, 71}, {62, 2, 74},
};
constexpr Note kHookAnswer[] = {
    {0, 3, 76},  {3, 3, 81},  {6, 2, 79},  {8, 4, 76},  {12, 2, 74}, {14, 2, 72},
    {16, 3, 72}, {19, 3, 77}, {22, 2, 76}, {24, 6, 72}, {30, 2, 69},
    {32, 3, 72}, {35, 3, 76}, {38, 2, 79}, {40, 3, 81}, {43, 3, 79}, {46, 2, 76},
    {48, 8, 74}, {56, 4, 76}, {60, 4, 69},
};
// The slow theme of the breakdown and the late groove.
constexpr Note kTheme[] = {
    {0, 8, 81},  {8, 4, 79},  {12, 4, 76}, {16, 8, 77}, {24, 4, 76}, {28, 4, 72},
    {32, 8, 76}, {40, 4, 79}, {44, 4, 84}, {48, 12, 83}, {60, 4, 79},
};

size_t at(int bar, int sixteenth) {
  return static_cast<size_t>(bar) * kBarFrames + static_cast<size_t>(sixteenth) * kSixteenthFrames;
}

template <size_t N>
void play_melody(SongBuses& b, int first_bar, const Note (&notes)[N], double gain, int transpose) {
  int previous = notes[0].pitch + transpose;
  for (const Note& n : notes) {
    int pitch = n.pitch + transpose;
    // Legato: a note a step away slides; a leap starts clean.
    double glide_from = (pitch - previous <= 4 && previous - pitch <= 4) ? previous : pitch;
    add_lead(b.lead, at(first_bar, n.start), static_cast<size_t>(n.length) * kSixteenthFrames - 300,
             pitch, gain, glide_from);
    previous = pitch;
  }
}

void kick(SongBuses& b, size_t frame, double gain) {
  add_kick(b.drums, frame, gain);
  b.kicks.push_back(frame);
}

uint32_t seed_of(int bar, int step) { return static_cast<uint32_t>(bar * 97 + step * 13 + 5); }

// One bar of drums in a given style.
void drums(SongBuses& b, int bar, Part part, bool fill, bool last_bar_of_section) {
  for (int s = 0; s < 16; ++s) {
    size_t f = at(bar, s);
    uint32_t seed = seed_of(bar, s);
    switch (part) {
      case Part::kDrop:
      case Part::kGroove: {
        bool drop = part == Part::kDrop;
        if (s == 0 || s == 8 || s == 10 || (drop && s == 4 && bar % 2 == 1)) kick(b, f, 0.95);
        if (s == 4 || s == 12) add_snare(b.drums, f, 0.55, seed);
        if (fill && s >= 13) add_snare(b.drums, f, 0.25 + 0.08 * (s - 13), seed + 3);
        if (s % 2 == 0) add_hat(b.drums, f, s % 4 == 2 ? 0.3 : 0.18, drop && s % 4 == 2, 0.3, seed);
        else if (!drop) add_hat(b.drums, f, 0.09, false, -0.3, seed);
        break;
      }
      case Part::kStir:
      case Part::kHalf:
        // Half time: the snare only on the third beat.
        if (s == 0 || s == 10) kick(b, f, 0.85);
        if (s == 8) add_snare(b.drums, f, 0.5, seed);
        if (s % 2 == 0) add_hat(b.drums, f, 0.1, false, 0.3, seed);
        if (part == Part::kHalf && s % 2 == 1) add_hat(b.drums, f, 0.05, false, -0.4, seed);
        if (fill && last_bar_of_section && s >= 12) add_snare(b.drums, f, 0.3, seed + 1);
        break;
      case Part::kBreakdown:
        // Only ticking hats in the second half, to lead back in.
        if (bar >= 27 && s % 2 == 0) add_hat(b.drums, f, 0.05 + 0.01 * (bar - 27), false, 0.4, seed);
        break;
      case Part::kCalm:
        if (s % 4 == 2) add_hat(b.drums, f, 0.06, false, 0.35, seed);
        break;
      default:
        break;
    }
  }
}

// Snare roll over the section, tightening from eighths to thirty-seconds.
void build_roll(SongBuses& b, int first_bar, int bars) {
  size_t start = at(first_bar, 0), length = static_cast<size_t>(bars) * kBarFrames;
  size_t frame = start;
  int n = 0;
  while (frame < start + length) {
    double t = static_cast<double>(frame - start) / length;
    add_snare(b.drums, frame, 0.12 + 0.4 * t, static_cast<uint32_t>(1000 + n));
    size_t step = t < 0.5 ? 2 * kSixteenthFrames : (t < 0.8 ? kSixteenthFrames : kSixteenthFrames / 2);
    frame += step;
    ++n;
  }
  add_riser(b.effects, start, length, 0.5, static_cast<uint32_t>(first_bar));
}

void bass_bar(SongBuses& b, int bar, const Chord& chord, Part part) {
  switch (part) {
    case Part::kCalm:
    case Part::kBreakdown:
      add_bass(b.bass, at(bar, 0), 15 * kSixteenthFrames, chord.root, 0.5, 0.15);
      break;
    case Part::kStir:
    case Part::kHalf:
      for (int q = 0; q < 4; ++q) {
        add_bass(b.bass, at(bar, q * 4), 3 * kSixteenthFrames, chord.root + (q == 3 ? 12 : 0), 0.5, 0.3);
      }
      break;
    case Part::kDrop:
    case Part::kGroove: {
      // Driving eighths with octave jumps.
      static const int kOffsets[8] = {0, 0, 12, 0, 0, 12, 7, 12};
      for (int e = 0; e < 8; ++e) {
        add_bass(b.bass, at(bar, e * 2), 2 * kSixteenthFrames - 400, chord.root + kOffsets[e], 0.5,
                 part == Part::kDrop ? 0.55 : 0.4);
      }
      break;
    }
    case Part::kBuild:
      for (int e = 0; e < 8; ++e) {
        add_bass(b.bass, at(bar, e * 2), 2 * kSixteenthFrames - 400, chord.root, 0.4, 0.2 + 0.05 * e);
      }
      break;
    default:
      break;
  }
}

void arp_bar(SongBuses& b, int bar, const Chord& chord, double gain, double brightness) {
  static const int kPattern[16] = {0, 1, 2, 3, 2, 1, 2, 3, 0, 1, 2, 3, 2, 3, 1, 2};
  for (int s = 0; s < 16; ++s) {
    int tone = chord.tones[kPattern[s]] + 12;
    double pan = (s % 2 == 0) ? -0.45 : 0.45;
    add_pluck(b.arp, at(bar, s), kSixteenthFrames - 200, tone, gain, pan, brightness);
  }
}

}  // namespace

void play_song(SongBuses& b) {
  for (const Section& section : kSections) {
    for (int i = 0; i < section.bars; ++i) {
      int bar = section.first_bar + i;
      const Chord& chord = kChords[i % 4];
      bool phrase_end = i % 4 == 3;
      bool section_end = i == section.bars - 1;
      Part part = section.part;

      // Pads hold the chord everywhere but the drops, where they sit back.
      double pad_gain = part == Part::kDrop ? 0.12 : (part == Part::kBreak ? 0.2 : 0.16);
      double pad_bright = part == Part::kBreakdown || part == Part::kOutro ? 0.25 : 0.45;
      for (int tone : chord.tones) add_pad(b.pads, at(bar, 0), kBarFrames, tone, pad_gain, pad_bright);

      if (part == Part::kBuild) {
        bass_bar(b, bar, chord, part);
        arp_bar(b, bar, chord, 0.05 + 0.03 * i, 0.3 + 0.3 * i);
      } else if (part != Part::kIntro && part != Part::kOutro && part != Part::kBreak) {
        bass_bar(b, bar, chord, part);
        drums(b, bar, part, phrase_end || section_end, section_end);
        if (part != Part::kCalm) arp_bar(b, bar, chord, part == Part::kDrop ? 0.06 : 0.08, 0.5);
      }
    }
    if (section.part == Part::kBuild) build_roll(b, section.first_bar, section.bars);
    if (section.part == Part::kIntro) {
      add_riser(b.effects, at(0, 0), kBarFrames, 0.3, 77);
    }
  }

  // Melodies over the phrases.
  play_melody(b, 11, kHook, 0.11, 0);
  play_melody(b, 15, kHookAnswer, 0.11, 0);
  play_melody(b, 19, kHook, 0.11, 0);
  play_melody(b, 23, kTheme, 0.08, 0);
  play_melody(b, 27, kTheme, 0.09, 0);
  play_melody(b, 33, kHook, 0.11, 0);
  play_melody(b, 37, kHookAnswer, 0.11, 0);
  play_melody(b, 33, kHook, 0.05, -12);  // an octave below for weight in the second drop
  play_melody(b, 37, kHookAnswer, 0.05, -12);
  play_melody(b, 46, kTheme, 0.09, 0);
  play_melody(b, 50, kTheme, 0.09, 0);
  play_melody(b, 50, kTheme, 0.04, -12);
  play_melody(b, 56, kHook, 0.12, 0);
  // The answer runs on over the outro and comes to rest on A as the track
  // loops back to its first bar.
  play_melody(b, 60, kHookAnswer, 0.1, 0);

  // Crashes on every scene change.
  const double kSceneChanges[] = {1, 5, 9, 11, 15, 23, 31, 33, 42.5, 45, 46, 54, 56};
  for (double bar : kSceneChanges) {
    size_t frame = static_cast<size_t>(bar * 2.0) * (kBarFrames / 2);
    add_crash(b.effects, frame, 0.22, static_cast<uint32_t>(bar * 10.0));
  }
}

}  // namespace media
