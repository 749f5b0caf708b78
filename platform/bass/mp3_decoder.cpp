// The bridge to libmpg123: our byte sources as its reader, every rate it
// knows allowed but only signed 16-bit output, and the result gathered whole.
#include "platform/bass/mp3_decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <memory>
#include <new>

#include "platform/bass/bass_local.h"

namespace bass {

namespace {

mpg123_ssize_t read_source(void* handle, void* buffer, size_t bytes) {
  return static_cast<ByteSource*>(handle)->read(buffer, bytes);
}

off_t seek_source(void* handle, off_t offset, int whence) {
  return static_cast<off_t>(static_cast<ByteSource*>(handle)->seek(offset, whence));
}

struct HandleCloser {
  void operator()(mpg123_handle* handle) const {
    mpg123_close(handle);
    mpg123_delete(handle);
  }
};
using Handle = std::unique_ptr<mpg123_handle, HandleCloser>;

Handle make_handle() {
  int error = MPG123_OK;
  Handle handle(mpg123_new(nullptr, &error));
  if (!handle) return handle;
  // Quiet: the demo says nothing about its sound, and libmpg123 would
  // otherwise print its complaints about damaged frames to stderr.
  mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
  mpg123_format_none(handle.get());
  const long* rates = nullptr;
  size_t rate_count = 0;
  mpg123_rates(&rates, &rate_count);
  for (size_t i = 0; i < rate_count; ++i) {
    mpg123_format(handle.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  if (mpg123_replace_reader_handle(handle.get(), read_source, seek_source, nullptr) != MPG123_OK) {
    handle.reset();
  }
  return handle;
}

// An MP3 holds at most a few dozen samples per byte (8 kHz mono at 8 kbit/s
// is 8; 48 kHz stereo at 32 kbit/s is 24), so a tag that claims more than
// this is not believed when room is set aside for the music.
constexpr uint64_t kMaxSamplesPerByte = 64;

DecodeError decode_into(mpg123_handle* handle, uint64_t source_bytes, Pcm* pcm) {
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  // getformat decodes up to the first frame: it fails when there is none.
  if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK) {
    return DecodeError::not_mp3;
  }
  if (rate <= 0 || (channels != 1 && channels != 2) || encoding != MPG123_ENC_SIGNED_16) {
    return DecodeError::not_mp3;
  }
  pcm->rate_hz = static_cast<int>(rate);
  pcm->channels = channels;

  const size_t max_samples = static_cast<size_t>(kMaxDecodedSeconds) *
                             static_cast<size_t>(rate) * static_cast<size_t>(channels);
  off_t expected_frames = mpg123_length(handle);
  if (expected_frames > 0) {
    uint64_t expected = static_cast<uint64_t>(expected_frames) * static_cast<uint64_t>(channels);
    expected = std::min<uint64_t>({expected, max_samples, source_bytes * kMaxSamplesPerByte});
    pcm->samples.reserve(static_cast<size_t>(expected));
  }

  // A multiple of both channel counts' frame size, so no frame is split.
  static constexpr size_t kBufferSamples = 8192;
  int16_t buffer[kBufferSamples];
  while (pcm->samples.size() < max_samples) {
    size_t done_bytes = 0;
    int result = mpg123_read(handle, buffer, sizeof buffer, &done_bytes);
    size_t done = done_bytes / sizeof(int16_t);
    done -= done % static_cast<size_t>(channels);
    if (done > max_samples - pcm->samples.size()) {
      done = max_samples - pcm->samples.size();
      debug_log("music cut at %d seconds", kMaxDecodedSeconds);
    }
    pcm->samples.insert(pcm->samples.end(), buffer, buffer + done);

    if (result == MPG123_OK) continue;
    if (result == MPG123_DONE) break;
    if (result == MPG123_NEW_FORMAT) {
      long new_rate = 0;
      int new_channels = 0;
      int new_encoding = 0;
      if (mpg123_getformat(handle, &new_rate, &new_channels, &new_encoding) == MPG123_OK &&
          new_rate == rate && new_channels == channels) {
        continue;
      }
      debug_log("format changes mid-file; music ends there");
      break;
    }
    // Anything else is damage libmpg123 could not step over: keep what came before.
    debug_log("decoding stopped: %s", mpg123_plain_strerror(result));
    break;
  }
  if (pcm->frames() == 0) return DecodeError::no_audio;
  pcm->samples.shrink_to_fit();
  return DecodeError::none;
}

}  // namespace

const char* describe(DecodeError error) {
  switch (error) {
    case DecodeError::none: return "no error";
    case DecodeError::no_decoder: return "the MP3 decoder could not be set up";
    case DecodeError::not_mp3: return "not an MP3 file";
    case DecodeError::no_audio: return "the MP3 file holds no sound";
    case DecodeError::out_of_memory: return "not enough memory for the decoded music";
  }
  return "unknown error";
}

DecodeError decode_mp3(ByteSource& source, Pcm* pcm) {
  *pcm = Pcm{};
  Handle handle = make_handle();
  if (!handle) return DecodeError::no_decoder;
  if (mpg123_open_handle(handle.get(), &source) != MPG123_OK) return DecodeError::not_mp3;
  DecodeError error;
  try {
    error = decode_into(handle.get(), source.size_bytes(), pcm);
  } catch (const std::bad_alloc&) {
    error = DecodeError::out_of_memory;
  }
  if (error != DecodeError::none) *pcm = Pcm{};
  return error;
}

}  // namespace bass
