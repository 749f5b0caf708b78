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

// Written by use_output before the demo runs; read by BASS_Init.
std::atomic<Output> chosen{Output::none};

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

void use_output(Output output) { chosen = output; }
Output chosen_output() { return chosen; }

Player& player() {
  // Never destroyed: the demo ends without BASS_Free, and SDL's audio thread
  // may still run the callback while static objects are torn down.
  static Player* const instance = new Player;
  return *instance;
}

Stream::~Stream() {
  if (converter != nullptr) SDL_FreeAudioStream(converter);
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
    if (p.initialised) return FALSE;
  }
  if (device < -1) return FALSE;
  bass::Output output = bass::chosen_output();
  // Device 0 is the library's "no sound" device: everything works, nothing is heard.
  if (output == bass::Output::device && device == 0) output = bass::Output::none;
  SDL_AudioDeviceID id = 0;
  SDL_AudioSpec obtained{};
  if (output == bass::Output::device) {
    id = bass::open_device(device, frequency, &obtained);
    if (id == 0) return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.initialised = true;
    p.output = output;
    p.device = id;
    p.device_format = obtained;
  }
  // The output runs from here on, silent until a stream plays.
  bass::start_device(id);
  return TRUE;
}

HSTREAM BASS_StreamCreateFile(BOOL memory, const void* file, DWORD offset, DWORD length, DWORD flags) {
  Player& p = bass::player();
  bass::Output output;
  SDL_AudioSpec device_format;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    if (!p.initialised) return 0;
    output = p.output;
    device_format = p.device_format;
  }
  std::unique_ptr<bass::ByteSource> source = bass::open_source(memory, file, offset, length);
  if (!source) {
    bass::debug_log("%s: cannot be read", bass::source_name(memory, file));
    return 0;
  }
  // Decoded here, outside the lock, while the output keeps playing whatever
  // it played.
  auto stream = std::make_unique<Stream>();
  bass::DecodeError error = bass::decode_mp3(*source, &stream->pcm);
  if (error != bass::DecodeError::none) {
    bass::debug_log("%s: %s", bass::source_name(memory, file), bass::describe(error));
    return 0;
  }
  bass::debug_log("music: %zu frames at %d Hz, %d channels", stream->pcm.frames(),
                  stream->pcm.rate_hz, stream->pcm.channels);
  stream->loop_flag_at_creation = (flags & BASS_SAMPLE_LOOP) != 0;
  if (output == bass::Output::device) {
    stream->converter = bass::make_converter(stream->pcm, device_format);
    if (stream->converter == nullptr) return 0;
  }
  std::lock_guard<std::mutex> lock(p.mutex);
  if (!p.initialised) return 0;
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
  SDL_AudioDeviceID device;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    if (!p.initialised) return FALSE;
    device = p.device;
  }
  bass::start_device(device);
  return TRUE;
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags) {
  Player& p = bass::player();
  std::lock_guard<std::mutex> lock(p.mutex);
  Stream* stream = bass::find_stream(p, handle);
  if (stream == nullptr) return FALSE;
  bool loop = (flags & BASS_SAMPLE_LOOP) != 0 || stream->loop_flag_at_creation;
  if (flush || !stream->cursor.playing()) {
    stream->cursor.restart(loop);
    if (stream->converter != nullptr) SDL_AudioStreamClear(stream->converter);
  } else {
    stream->cursor.set_loop(loop);
  }
  return TRUE;
}

BOOL BASS_Free() {
  Player& p = bass::player();
  if (bass::on_audio_thread()) return FALSE;
  SDL_AudioDeviceID device;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    if (!p.initialised) return FALSE;
    device = p.device;
    p.device = 0;
  }
  // Waits for the audio thread to leave the callback; it takes the lock.
  bass::close_device(device);
  std::lock_guard<std::mutex> lock(p.mutex);
  p.stream.reset();
  p.initialised = false;
  p.output = bass::Output::none;
  p.device_format = SDL_AudioSpec{};
  return TRUE;
}
