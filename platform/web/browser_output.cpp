#include <vector>

#include "platform/bass/byte_source.h"
#include "platform/web/web.h"

extern "C" {
// web_library.js. Asyncify: returns once the browser has decoded the bytes
// (read only during the call): the music's length in frames, 0 when it
// could not.
double tuuli_audio_decode(const uint8_t* bytes, size_t size);
void tuuli_audio_play(int restart, int loop);
void tuuli_audio_stop();
}

namespace web {

namespace {

// Far more than any soundtrack (the demo's is under 2 MB): a file beyond it
// is not read into memory whole.
constexpr uint64_t kMaxMusicBytes = 64u << 20;

class BrowserOutput final : public bass::Output {
 public:
  explicit BrowserOutput(bool audible) : audible_(audible) {}

  bool open(int, uint32_t) override { return true; }

  // Whole, as BASS_StreamCreateFile promises: the demo's clock starts right
  // after it, so the music must be ready to play at once.
  bool decode(bass::ByteSource& source, bass::Pcm*) override {
    uint64_t size = source.size_bytes();
    if (size == 0 || size > kMaxMusicBytes) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    size_t got = 0;
    while (got < bytes.size()) {
      ptrdiff_t n = source.read(bytes.data() + got, bytes.size() - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return tuuli_audio_decode(bytes.data(), bytes.size()) > 0;
  }

  void play(bool restart, bool loop) override {
    if (audible_) tuuli_audio_play(restart ? 1 : 0, loop ? 1 : 0);
  }

  void close() override { tuuli_audio_stop(); }

 private:
  bool audible_;
};

}  // namespace

bass::Output& browser_output(bool audible) {
  static BrowserOutput heard(true);
  static BrowserOutput silent(false);
  return audible ? static_cast<bass::Output&>(heard) : silent;
}

}  // namespace web
