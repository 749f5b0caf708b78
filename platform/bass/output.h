// Where the music goes. Chosen, like the window backend, before DemoMain runs;
// BASS_Init takes the choice in force when it is called.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bass {

enum class Output {
  none,    // nothing is opened; the calls succeed as far as they can (tests)
  device,  // the default sound device through SDL2 (tuulikannel)
  pull,    // nothing is opened; the samples are taken with pull_samples (captures)
};

void use_output(Output output);

// The music's own rate and channel count (1 or 2); both 0 while there is no
// stream. A capture writes its sound in this format.
struct StreamFormat {
  int rate_hz = 0;
  int channels = 0;
};
StreamFormat stream_format();

// Output::pull only: renders the next `frames` frames of the stream into
// `interleaved` (frames * stream_format().channels values), as the device
// would have played them: from the start after BASS_StreamPlay, round and
// round when looping, silence before play and after a single pass ends.
// Returns `frames`, or 0 (writing nothing) when there is no stream or the
// output is not the pull.
//
// Runs on the calling thread, and the end syncs are called from inside it.
// The caller keeps the stream in step with its virtual clock: after t
// milliseconds of it, rate_hz * t / 1000 frames in all should have been
// pulled (compute the total, not a per-frame share, so nothing drifts).
size_t pull_samples(int16_t* interleaved, size_t frames);

}  // namespace bass
