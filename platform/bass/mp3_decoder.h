// Whole-file MP3 decoding to 16-bit PCM with libmpg123, gapless: the
// encoder's delay and padding (from the LAME/Xing tag) are cut, so that a
// loop of the result has neither a gap nor a click at its seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bass/byte_source.h"

namespace bass {

// The decoded music in the file's own rate and channel count.
struct Pcm {
  int rate_hz = 0;
  int channels = 0;              // 1 or 2
  std::vector<int16_t> samples;  // interleaved, channels * frames() values

  size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

enum class DecodeError {
  none,
  no_decoder,     // libmpg123 could not make a handle
  not_mp3,        // no MPEG audio frame found
  no_audio,       // frames found, but they decode to nothing
  out_of_memory,  // the decoded samples do not fit in memory
};

const char* describe(DecodeError error);

// The demo lasts 100 seconds, so music beyond this is never heard; the cap
// keeps a long file from holding start-up and hundreds of megabytes for it.
constexpr int kMaxDecodedSeconds = 600;

// Decodes all of `source` into `pcm`. A damaged tail keeps the music before
// it; a change of rate or channel count mid-file ends the music there (the
// loop needs one format throughout). `pcm` is left empty on any error.
DecodeError decode_mp3(ByteSource& source, Pcm* pcm);

}  // namespace bass
