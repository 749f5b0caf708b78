// Test music made from a known signal: a chirp encoded with libmp3lame (with
// the LAME tag, so a gapless decoder can cut the encoder's delay and padding),
// and libmpg123's own decode of a file to compare the player against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace audio_test {

struct Signal {
  int rate_hz = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved

  size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

// A rising chirp on the left, a different one on the right, so that a shift
// in time or a channel swap shows. Nothing in it repeats.
Signal make_chirp(int rate_hz, int channels, size_t frames);

// The signal as an MP3 at `kbps` (constant bit rate, the rate and channel
// count of the signal). Empty when LAME refuses the combination.
std::vector<uint8_t> encode_mp3(const Signal& signal, int kbps);

// libmpg123's gapless decode of the file at `path` (16-bit, its own rate and
// channel count), through libmpg123's own file reader.
Signal reference_decode(const std::string& path);

// A fresh directory under the system's temporary one, removed with its
// contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace audio_test
