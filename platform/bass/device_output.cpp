// The music on the sound device: SDL2 pulls from its own thread, and we feed
// the decoded music through an SDL_AudioStream that converts it to the
// device's rate, format and channel count.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "platform/bass/bass_local.h"

namespace bass {

namespace {

// About 23 ms at 44.1 kHz: short enough for the end syncs to fire close to
// the moment the end is played, long enough not to wake the thread often.
constexpr Uint16 kDeviceBufferFrames = 1024;
// What one step puts into the converter.
constexpr size_t kFeedFrames = 1024;
constexpr int kDefaultRateHz = 44100;
constexpr DWORD kMinRateHz = 8000;
constexpr DWORD kMaxRateHz = 192000;

thread_local bool audio_thread = false;

// Runs on SDL's audio thread.
void SDLCALL render_to_device(void* userdata, Uint8* out, int len) {
  Player& p = *static_cast<Player*>(userdata);
  DueSyncs due;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    int got = 0;
    Stream* stream = p.stream.get();
    if (stream != nullptr && stream->converter != nullptr) {
      SDL_AudioStream* converter = stream->converter;
      const size_t frame_bytes = sizeof(int16_t) * static_cast<size_t>(stream->pcm.channels);
      uint32_t ends = 0;
      while (stream->cursor.playing() && SDL_AudioStreamAvailable(converter) < len) {
        LoopCursor::Span span = stream->cursor.advance(stream->pcm, kFeedFrames);
        if (span.frames > 0 &&
            SDL_AudioStreamPut(converter, span.samples, static_cast<int>(span.frames * frame_bytes)) != 0) {
          stream->cursor.stop();
          break;
        }
        if (span.reached_end) {
          ++ends;
          // A single pass: let the resampler give up what it holds back.
          if (!stream->cursor.playing()) SDL_AudioStreamFlush(converter);
        }
      }
      got = std::max(0, SDL_AudioStreamGet(converter, out, len));
      due = stream->collect_syncs(ends);
    }
    if (got < len) std::memset(out + got, p.device_format.silence, static_cast<size_t>(len - got));
  }
  audio_thread = true;
  due.fire();
  audio_thread = false;
}

void silent_alsa_handler(const char*, int, const char*, int, const char*, ...) {}

// With no sound card, ALSA writes its failures straight to stderr before SDL
// can report them. SDL loads libasound itself; if it is there, silence it
// (the handler is process-wide, so this reaches SDL's copy too).
void quiet_alsa() {
  if (debug_enabled()) return;
  void* alsa = ::dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
  if (alsa == nullptr) alsa = ::dlopen("libasound.so.2", RTLD_LAZY);
  if (alsa == nullptr) return;
  using SetHandler = int (*)(decltype(&silent_alsa_handler));
  auto set_handler = reinterpret_cast<SetHandler>(::dlsym(alsa, "snd_lib_error_set_handler"));
  if (set_handler != nullptr) set_handler(silent_alsa_handler);
  // Kept loaded: the handler must outlive every ALSA call SDL makes.
}

}  // namespace

SDL_AudioDeviceID open_device(int device, DWORD frequency_hz, SDL_AudioSpec* obtained) {
  quiet_alsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    debug_log("no audio: %s", SDL_GetError());
    return 0;
  }
  const char* name = nullptr;  // SDL's default device
  if (device >= 1) {
    name = SDL_GetAudioDeviceName(device - 1, 0);
    if (name == nullptr) {
      debug_log("no audio device %d", device);
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return 0;
    }
  }
  SDL_AudioSpec wanted{};
  wanted.freq = frequency_hz >= kMinRateHz && frequency_hz <= kMaxRateHz
                    ? static_cast<int>(frequency_hz)
                    : kDefaultRateHz;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = kDeviceBufferFrames;
  wanted.callback = render_to_device;
  wanted.userdata = &player();
  // Whatever the device prefers: the converter bridges the difference.
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, 0, &wanted, obtained, SDL_AUDIO_ALLOW_ANY_CHANGE);
  if (id == 0) {
    debug_log("audio device not opened: %s", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  debug_log("audio device: %d Hz, format 0x%x, %d channels, %d frames a buffer",
            obtained->freq, obtained->format, obtained->channels, obtained->samples);
  return id;
}

void start_device(SDL_AudioDeviceID device) {
  if (device != 0) SDL_PauseAudioDevice(device, 0);
}

void close_device(SDL_AudioDeviceID device) {
  if (device == 0) return;
  SDL_CloseAudioDevice(device);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool on_audio_thread() { return audio_thread; }

SDL_AudioStream* make_converter(const Pcm& pcm, const SDL_AudioSpec& device_format) {
  SDL_AudioStream* converter =
      SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(pcm.channels), pcm.rate_hz,
                         device_format.format, device_format.channels, device_format.freq);
  if (converter == nullptr) debug_log("no converter to the device's format: %s", SDL_GetError());
  return converter;
}

}  // namespace bass
