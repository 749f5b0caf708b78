// Inside the audio layer: the one player the six calls drive, shared by the
// main thread (the calls) and whoever renders (the SDL audio thread, or the
// caller of pull_samples).
#pragma once

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

  HSTREAM handle = 0;
  bool loop_flag_at_creation = false;
  Pcm pcm;
  LoopCursor cursor;
  std::array<Sync, kMaxSyncs> syncs{};

  // Notes `ends` passes through the end; one-time syncs are retired here.
  DueSyncs collect_syncs(uint32_t ends);
};

// Every field is guarded by `mutex`. Written by the BASS_ calls on the main
// thread; the renderer (audio thread or puller) only moves `stream->cursor`
// and retires one-time syncs.
struct Player {
  std::mutex mutex;
  // Taken from use_output at BASS_Init; null while not initialised.
  Output* output = nullptr;
  std::unique_ptr<Stream> stream;
  uint32_t next_serial = 1;
};

Player& player();

// The output chosen by use_output, read by BASS_Init.
Output& chosen_output();

// Output::decode of the outputs that render through the player's cursor
// (silent, pull, device): libmpg123, saying why not with TUULI_AUDIO_DEBUG.
bool decode_for_cursor(ByteSource& source, Pcm* pcm);

// True on SDL's audio thread while it calls the end syncs: closing the
// device from there would wait for the thread itself. Set by whoever fires
// syncs from the audio thread.
bool on_audio_thread();
void set_on_audio_thread(bool on);

// Messages on stderr only when TUULI_AUDIO_DEBUG is set: the demo itself is
// silent about its sound.
bool debug_enabled();
void debug_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace bass
