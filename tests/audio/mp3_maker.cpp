#include "audio/mp3_maker.h"

#include <lame/lame.h>
#include <mpg123.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace audio_test {

Signal make_chirp(int rate_hz, int channels, size_t frames) {
  Signal signal{rate_hz, channels, std::vector<int16_t>(frames * channels)};
  // From 100 Hz up to an eighth of the rate: well inside what LAME keeps at
  // the lowest rates.
  const double start_hz = 100.0;
  const double end_hz = rate_hz / 8.0;
  const double seconds = static_cast<double>(frames) / rate_hz;
  const double pi = 3.14159265358979323846;
  for (size_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate_hz;
    double phase = 2 * pi * (start_hz * t + (end_hz - start_hz) * t * t / (2 * seconds));
    signal.samples[i * channels] = static_cast<int16_t>(std::lround(12000 * std::sin(phase)));
    if (channels == 2) {
      signal.samples[i * channels + 1] =
          static_cast<int16_t>(std::lround(8000 * std::sin(1.5 * phase + 1.0)));
    }
  }
  return signal;
}

std::vector<uint8_t> encode_mp3(const Signal& signal, int kbps) {
  lame_global_flags* lame = lame_init();
  if (lame == nullptr) return {};
  lame_set_in_samplerate(lame, signal.rate_hz);
  lame_set_out_samplerate(lame, signal.rate_hz);
  lame_set_num_channels(lame, signal.channels);
  lame_set_mode(lame, signal.channels == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(lame, kbps);
  lame_set_quality(lame, 7);
  lame_set_bWriteVbrTag(lame, 1);
  std::vector<uint8_t> out;
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    return out;
  }
  const size_t frames = signal.frames();
  out.resize(frames + frames / 4 + 7200 + 16384);
  int written;
  if (signal.channels == 1) {
    written = lame_encode_buffer(lame, signal.samples.data(), signal.samples.data(),
                                 static_cast<int>(frames), out.data(), static_cast<int>(out.size()));
  } else {
    written = lame_encode_buffer_interleaved(lame, const_cast<short*>(signal.samples.data()),
                                             static_cast<int>(frames), out.data(),
                                             static_cast<int>(out.size()));
  }
  if (written < 0) {
    lame_close(lame);
    return {};
  }
  int flushed = lame_encode_flush(lame, out.data() + written, static_cast<int>(out.size()) - written);
  if (flushed < 0) {
    lame_close(lame);
    return {};
  }
  out.resize(static_cast<size_t>(written + flushed));
  // The first frame was written as a placeholder; the tag with the true
  // delay, padding and length replaces it now that they are known.
  uint8_t tag[2880];
  size_t tag_bytes = lame_get_lametag_frame(lame, tag, sizeof tag);
  if (tag_bytes > 0 && tag_bytes <= out.size()) std::copy(tag, tag + tag_bytes, out.begin());
  lame_close(lame);
  return out;
}

Signal reference_decode(const std::string& path) {
  Signal signal;
  mpg123_handle* handle = mpg123_new(nullptr, nullptr);
  if (handle == nullptr) return signal;
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
  mpg123_format_none(handle);
  const long* rates = nullptr;
  size_t rate_count = 0;
  mpg123_rates(&rates, &rate_count);
  for (size_t i = 0; i < rate_count; ++i) {
    mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_open(handle, path.c_str()) == MPG123_OK &&
      mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK) {
    signal.rate_hz = static_cast<int>(rate);
    signal.channels = channels;
    int16_t buffer[4096];
    for (;;) {
      size_t done = 0;
      int result = mpg123_read(handle, buffer, sizeof buffer, &done);
      signal.samples.insert(signal.samples.end(), buffer, buffer + done / sizeof(int16_t));
      if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
    }
  }
  mpg123_close(handle);
  mpg123_delete(handle);
  return signal;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tuuli-audio-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

}  // namespace audio_test
