// Where the music goes: an interface like the window backend's, with one
// implementation per place sound can go. Chosen before DemoMain runs; BASS_Init
// takes the output in force when it is called and keeps it until BASS_Free.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bass {

class ByteSource;
struct Pcm;

// Every call comes from the demo's thread. The player's lock is held during
// play() only; the others are called without it, so an output may take it.
class Output {
 public:
  virtual ~Output() = default;

  // BASS_Init with device -1 (the default) or n >= 1 (device 0, the library's
  // silent device, never reaches an output). False when no sound can be had:
  // BASS_Init then fails.
  virtual bool open(int device, uint32_t frequency_hz) = 0;

  // BASS_StreamCreateFile: all of `source`, decoded before the call returns.
  // Outputs that render through the player's cursor decode into `pcm`; one
  // that plays the music itself (the browser) may leave `pcm` empty. False
  // when this is not music the output can play: no stream is created and the
  // demo stays silent.
  virtual bool decode(ByteSource& source, Pcm* pcm) = 0;

  // BASS_Start.
  virtual void start() {}

  // BASS_StreamPlay on the current stream: from its start when `restart`,
  // otherwise on from where it is; round and round when `loop`.
  virtual void play(bool restart, bool loop) {
    (void)restart;
    (void)loop;
  }

  // BASS_Free, before the stream is forgotten: nothing plays afterwards.
  virtual void close() {}
};

// Decodes and opens nothing; every call succeeds as far as it can (tests).
Output& silent_output();
// Opens nothing; the samples are taken with pull_samples (captures).
Output& pull_output();
// The default sound device through SDL2 (tuulikannel, tuuli play). Native
// builds only.
Output& device_output();

// Installs the output the next BASS_Init takes. The default is silent_output().
void use_output(Output& output);

// The music's own rate and channel count (1 or 2); both 0 while there is no
// stream. A capture writes its sound in this format.
struct StreamFormat {
  int rate_hz = 0;
  int channels = 0;
};
StreamFormat stream_format();

// pull_output() only: renders the next `frames` frames of the stream into
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
