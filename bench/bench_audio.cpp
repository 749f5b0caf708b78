// The soundtrack's costs: decoding a demo-length MP3 when the stream is
// created (the demo waits for it at start-up, before its clock starts), and
// rendering it through the capture pull.
#include <vector>

#include "audio/mp3_maker.h"
#include "bench/bench_util.h"
#include "platform/bass/bass.h"
#include "platform/bass/output.h"

int main() {
  // As long as the demo, at the common rate and bit rate of its era.
  const int kRateHz = 44100;
  const size_t kFrames = static_cast<size_t>(kRateHz) * 100;
  audio_test::TempDir dir;
  std::string path = dir.file("vemo.mp3");
  audio_test::write_file(path, audio_test::encode_mp3(audio_test::make_chirp(kRateHz, 2, kFrames), 128));

  bass::use_output(bass::pull_output());
  BASS_Init(-1, kRateHz, 0, nullptr);
  HSTREAM stream = 0;
  double create = bench::median_seconds(5, [&] {
    stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    bench::keep(stream);
  });
  bench::report("audio_create_stream_100s_mp3", create * 1000, "ms");

  BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
  // One video frame's worth at 60 frames a second, as a capture pulls it.
  std::vector<int16_t> buffer(735 * 2);
  double pull = bench::median_seconds(5, [&] {
    for (int i = 0; i < 6000; ++i) bass::pull_samples(buffer.data(), 735);
    bench::keep(buffer);
  });
  bench::report("audio_pull_100s", pull * 1000, "ms");
  BASS_Free();
  return 0;
}
