// The six calls: one stream at a time, decoded whole when it is created,
// rendered by the chosen output. Every failure answers as the library would
// (FALSE or a zero handle) and says nothing.
#include "platform/bass/bass.h"

#include <atomic>
#include <memory>

#include "platform/bass/bass_local.h"
#include "platform/bass/byte_source.h"

namespace bass {

namespace {

// Written by use_output before the demo runs; read by BASS_Init. Null: the
// silent output.
std::atomic<Output*> chosen{nullptr};

thread_local bool audio_thread = false;

// Handles of streams and syncs share one counter and are never 0, so a stale
// handle from a freed or replaced stream matches nothing.
DWORD take_handle(Player& p) {
  if (p.next_serial == 0) p.next_serial = 1;
  return p.next_serial++;
}

Stream* find_stream(Player& p, DWORD handle) {
  if (!p.stream || handle == 0 || p.stream->handle != handle) return nullptr;
  return p.stream.get();
}

const char* source_name(BOOL memory, const void* file) {
  if (memory) return "music in memory";
  return file != nullptr ? static_cast<const char*>(file) : "(no file name)";
}

std::unique_ptr<ByteSource> open_source(BOOL memory, const void* file, DWORD offset, DWORD length) {
  if (file == nullptr) return nullptr;
  // As the library does, a memory stream takes `length` bytes at `file` and
  // no offset.
  if (memory) {
    if (length == 0) return nullptr;
    return std::make_unique<MemorySource>(static_cast<const uint8_t*>(file), length);
  }
  return FileSource::open(static_cast<const char*>(file), offset, length);
}

}  // namespace

void use_output(Output& output) { chosen = &output; }
Output& chosen_output() {
  Output* output = chosen;
  return output != nullptr ? *output : silent_output();
}

bool on_audio_thread() { return audio_thread; }
void set_on_audio_thread(bool on) { audio_thread = on; }

Player& player() {
  // Never destroyed: the demo ends without BASS_Free, and SDL's audio thread
  // may still run the callback while static objects are torn down.
  static Player* const instance = new Player;
  return *instance;
}

DueSyncs Stream::collect_syncs(uint32_t ends) {
  DueSyncs due;
  if (ends == 0) return due;
  due.syncs = syncs;
  due.channel = handle;
  due.ends = ends;
  for (Sync& sync : syncs) {
    if (sync.one_time) sync = Sync{};
  }
  return due;
}

void DueSyncs::fire() const {
  for (const Sync& sync : syncs) {
    if (sync.handle == 0 || sync.proc == nullptr) continue;
    uint32_t times = sync.one_time ? 1 : ends;
    for (uint32_t i = 0; i < times; ++i) sync.proc(sync.handle, channel, 0);
  }
}

}  // namespace bass

using bass::Player;
using bass::Stream;

BOOL BASS_Init(int device, DWORD frequency, DWORD, HWND) {
  Player& p = bass::player();
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    if (p.output != nullptr) return FALSE;
  }
  if (device < -1) return FALSE;
  // Device 0 is the library's "no sound" device: everything works, nothing is
  // heard, whatever output was chosen.
  bass::Output& output = device == 0 ? bass::silent_output() : bass::chosen_output();
  if (!output.open(device, frequency)) return FALSE;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.output = &output;
  }
  // The output runs from here on, silent until a stream plays.
  output.start();
  return TRUE;
}

HSTREAM BASS_StreamCreateFile(BOOL memory, const void* file, DWORD offset, DWORD length, DWORD flags) {
  Player& p = bass::player();
  bass::Output* output;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    output = p.output;
    if (output == nullptr) return 0;
  }
  std::unique_ptr<bass::ByteSource> source = bass::open_source(memory, file, offset, length);
  if (!source) {
    bass::debug_log("%s: cannot be read", bass::source_name(memory, file));
    return 0;
  }
  // Decoded here, outside the lock, while the output keeps playing whatever
  // it played.
  auto stream = std::make_unique<Stream>();
  if (!output->decode(*source, &stream->pcm)) {
    bass::debug_log("%s: not played", bass::source_name(memory, file));
    return 0;
  }
  bass::debug_log("music: %zu frames at %d Hz, %d channels", stream->pcm.frames(),
                  stream->pcm.rate_hz, stream->pcm.channels);
  stream->loop_flag_at_creation = (flags & BASS_SAMPLE_LOOP) != 0;
  std::lock_guard<std::mutex> lock(p.mutex);
  if (p.output != output) return 0;
  stream->handle = bass::take_handle(p);
  // One stream at a time: a new one takes the place of the old.
  p.stream = std::move(stream);
  return p.stream->handle;
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD, SYNCPROC* proc) {
  Player& p = bass::player();
  std::lock_guard<std::mutex> lock(p.mutex);
  Stream* stream = bass::find_stream(p, handle);
  if (stream == nullptr || proc == nullptr) return 0;
  // Only the end of the stream is ever reached by this library's streams.
  if ((type & ~(bass::kSyncMixtime | bass::kSyncOnetime)) != BASS_SYNC_END) return 0;
  for (bass::Sync& sync : stream->syncs) {
    if (sync.handle != 0) continue;
    sync.handle = bass::take_handle(p);
    sync.proc = proc;
    sync.one_time = (type & bass::kSyncOnetime) != 0;
    return sync.handle;
  }
  return 0;
}

BOOL BASS_Start() {
  Player& p = bass::player();
  bass::Output* output;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    output = p.output;
    if (output == nullptr) return FALSE;
  }
  output->start();
  return TRUE;
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags) {
  Player& p = bass::player();
  std::lock_guard<std::mutex> lock(p.mutex);
  Stream* stream = bass::find_stream(p, handle);
  if (stream == nullptr) return FALSE;
  bool loop = (flags & BASS_SAMPLE_LOOP) != 0 || stream->loop_flag_at_creation;
  bool restart = flush || !stream->cursor.playing();
  if (restart) {
    stream->cursor.restart(loop);
  } else {
    stream->cursor.set_loop(loop);
  }
  p.output->play(restart, loop);
  return TRUE;
}

BOOL BASS_Free() {
  Player& p = bass::player();
  if (bass::on_audio_thread()) return FALSE;
  bass::Output* output;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    output = p.output;
    if (output == nullptr) return FALSE;
  }
  output->close();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.stream.reset();
  p.output = nullptr;
  return TRUE;
}
