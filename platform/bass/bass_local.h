// Inside the audio layer: the one player the six calls drive, shared by the
// main thread (the calls) and whoever renders (the SDL audio thread, or the
// caller of pull_samples).
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/bass/bass.h"
#include "platform/bass/loop_cursor.h"
#include "platform/bass/mp3_decoder.h"
#include "platform/bass/output.h"

namespace bass {

// Few are ever set (the demo sets one); a fixed table lets the audio thread
// copy it without allocating.
constexpr size_t kMaxSyncs = 8;

// The BASS_SYNC_ flags that may accompany a sync type.
constexpr DWORD kSyncMixtime = 0x40000000;
constexpr DWORD kSyncOnetime = 0x80000000;

struct Sync {
  HSYNC handle = 0;  // 0: a free slot
  SYNCPROC* proc = nullptr;
  bool one_time = false;
};

// The end syncs due after a render, called once the lock is let go so that a
// sync procedure may call the library again.
struct DueSyncs {
  std::array<Sync, kMaxSyncs> syncs{};
  HSTREAM channel = 0;
  uint32_t ends = 0;

  void fire() const;
};

struct Stream {
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream();

  HSTREAM handle = 0;
  bool loop_flag_at_creation = false;
  Pcm pcm;
  LoopCursor cursor;
  std::array<Sync, kMaxSyncs> syncs{};
  // Device output only: the music in its own format in, the device's out.
  // Fed continuously across the loop seam so its resampler never restarts.
  SDL_AudioStream* converter = nullptr;

  // Notes `ends` passes through the end; one-time syncs are retired here.
  DueSyncs collect_syncs(uint32_t ends);
};

// Every field is guarded by `mutex`. Written by the BASS_ calls on the main
// thread; the renderer (audio thread or puller) only moves `stream->cursor`
// and `stream->converter` and retires one-time syncs.
struct Player {
  std::mutex mutex;
  Output output = Output::none;  // taken from use_output at BASS_Init
  bool initialised = false;
  // Device output: the opened device and the format SDL gave us.
  SDL_AudioDeviceID device = 0;
  SDL_AudioSpec device_format{};
  std::unique_ptr<Stream> stream;
  uint32_t next_serial = 1;
};

Player& player();

// The output chosen by use_output, read by BASS_Init.
Output chosen_output();

// Device output (device_output.cpp). None of these may be called with
// `mutex` held: SDL runs the callback, which takes `mutex`, under its own
// device lock, and these wait for that lock.
//
// Initialises SDL's audio and opens device `device` (the library's
// numbering: -1 the default, n from 1 on SDL's (n-1)th) paused, its
// callback rendering player(). Returns 0, with nothing left open, when there
// is no such device.
SDL_AudioDeviceID open_device(int device, DWORD frequency_hz, SDL_AudioSpec* obtained);
void start_device(SDL_AudioDeviceID device);
// Stops the audio thread, closes the device and lets SDL's audio go.
void close_device(SDL_AudioDeviceID device);
// True on SDL's audio thread while it calls the end syncs: closing the
// device from there would wait for the thread itself.
bool on_audio_thread();
// A converter from the music's format to the device's, or null.
SDL_AudioStream* make_converter(const Pcm& pcm, const SDL_AudioSpec& device_format);

// Messages on stderr only when TUULI_AUDIO_DEBUG is set: the demo itself is
// silent about its sound.
bool debug_enabled();
void debug_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace bass
