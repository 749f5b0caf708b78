// The music on the sound device: SDL2 pulls from its own thread, and we feed
// the decoded music through an SDL_AudioStream that converts it to the
// device's rate, format and channel count.
#include <SDL.h>
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

// open(), start() and close() must not be called with the player's lock
// held: SDL runs the callback, which takes it, under its own device lock,
// and these wait for that lock.
class DeviceOutput final : public Output {
 public:
  // Initialises SDL's audio and opens device `device` (the library's
  // numbering: -1 the default, n from 1 on SDL's (n-1)th) paused, its
  // callback rendering player(). False, with nothing left open, when there
  // is no such device.
  bool open(int device, uint32_t frequency_hz) override;
  bool decode(ByteSource& source, Pcm* pcm) override;
  void start() override {
    if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
  }
  void play(bool restart, bool) override {
    if (restart && converter_ != nullptr) SDL_AudioStreamClear(converter_);
  }
  // Stops the audio thread, closes the device and lets SDL's audio go.
  void close() override;

 private:
  // Runs on SDL's audio thread.
  static void SDLCALL render(void* userdata, Uint8* out, int len);

  // Written on the demo's thread; the audio thread reads them under the
  // player's lock once the device runs.
  SDL_AudioDeviceID device_ = 0;
  SDL_AudioSpec device_format_{};
  // The music in its own format in, the device's out. Fed continuously
  // across the loop seam so its resampler never restarts. Made for the
  // music's format: used only while the stream is in that format.
  SDL_AudioStream* converter_ = nullptr;
  int converter_rate_hz_ = 0;
  int converter_channels_ = 0;
};

bool DeviceOutput::open(int device, uint32_t frequency_hz) {
  quiet_alsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    debug_log("no audio: %s", SDL_GetError());
    return false;
  }
  const char* name = nullptr;  // SDL's default device
  if (device >= 1) {
    name = SDL_GetAudioDeviceName(device - 1, 0);
    if (name == nullptr) {
      debug_log("no audio device %d", device);
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
  }
  SDL_AudioSpec wanted{};
  wanted.freq = frequency_hz >= kMinRateHz && frequency_hz <= kMaxRateHz
                    ? static_cast<int>(frequency_hz)
                    : kDefaultRateHz;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = kDeviceBufferFrames;
  wanted.callback = render;
  wanted.userdata = this;
  // Whatever the device prefers: the converter bridges the difference.
  SDL_AudioSpec obtained{};
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_ANY_CHANGE);
  if (id == 0) {
    debug_log("audio device not opened: %s", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  debug_log("audio device: %d Hz, format 0x%x, %d channels, %d frames a buffer",
            obtained.freq, obtained.format, obtained.channels, obtained.samples);
  std::lock_guard<std::mutex> lock(player().mutex);
  device_ = id;
  device_format_ = obtained;
  return true;
}

bool DeviceOutput::decode(ByteSource& source, Pcm* pcm) {
  if (!decode_for_cursor(source, pcm)) return false;
  SDL_AudioStream* converter =
      SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(pcm->channels), pcm->rate_hz,
                         device_format_.format, device_format_.channels, device_format_.freq);
  if (converter == nullptr) {
    debug_log("no converter to the device's format: %s", SDL_GetError());
    return false;
  }
  SDL_AudioStream* old = nullptr;
  {
    std::lock_guard<std::mutex> lock(player().mutex);
    old = converter_;
    converter_ = converter;
    converter_rate_hz_ = pcm->rate_hz;
    converter_channels_ = pcm->channels;
  }
  if (old != nullptr) SDL_FreeAudioStream(old);
  return true;
}

void DeviceOutput::close() {
  SDL_AudioDeviceID device;
  {
    std::lock_guard<std::mutex> lock(player().mutex);
    device = device_;
    device_ = 0;
  }
  if (device == 0) return;
  // Waits for the audio thread to leave the callback; it takes the lock.
  SDL_CloseAudioDevice(device);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  std::lock_guard<std::mutex> lock(player().mutex);
  if (converter_ != nullptr) SDL_FreeAudioStream(converter_);
  converter_ = nullptr;
  device_format_ = SDL_AudioSpec{};
}

void SDLCALL DeviceOutput::render(void* userdata, Uint8* out, int len) {
  DeviceOutput& self = *static_cast<DeviceOutput*>(userdata);
  Player& p = player();
  DueSyncs due;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    int got = 0;
    Stream* stream = p.stream.get();
    SDL_AudioStream* converter = self.converter_;
    if (stream != nullptr && converter != nullptr && stream->pcm.rate_hz == self.converter_rate_hz_ &&
        stream->pcm.channels == self.converter_channels_) {
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
    if (got < len) std::memset(out + got, self.device_format_.silence, static_cast<size_t>(len - got));
  }
  set_on_audio_thread(true);
  due.fire();
  set_on_audio_thread(false);
}

}  // namespace

Output& device_output() {
  // Never destroyed: SDL's audio thread may still run the callback while
  // static objects are torn down.
  static DeviceOutput* const output = new DeviceOutput;
  return *output;
}

}  // namespace bass
