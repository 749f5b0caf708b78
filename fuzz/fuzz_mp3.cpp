// Any bytes as the soundtrack: the stream is made from memory, played
// looping and pulled for a while. Whatever the decoder makes of it, the
// player must neither crash nor read outside the music.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bass/bass.h"
#include "platform/bass/output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bass::use_output(bass::pull_output());
  if (!BASS_Init(-1, 44100, 0, nullptr)) return 0;
  HSTREAM stream = BASS_StreamCreateFile(TRUE, data, 0, static_cast<DWORD>(size), 0);
  if (stream != 0) {
    BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
    bass::StreamFormat format = bass::stream_format();
    std::vector<int16_t> buffer(4096 * static_cast<size_t>(format.channels));
    for (int i = 0; i < 4; ++i) bass::pull_samples(buffer.data(), 4096);
  }
  BASS_Free();
  return 0;
}
