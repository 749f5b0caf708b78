// MP3 through LAME (libmp3lame), constant bit rate so every player seeks and
// loops it alike.
#include <lame/lame.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "media/media.h"

namespace media {

std::vector<uint8_t> encode_mp3(const Soundtrack& track, int kbps) {
  if (track.channels != 2 || track.sample_rate <= 0 || track.samples.size() % 2 != 0) {
    throw std::invalid_argument("the MP3 writer takes interleaved stereo");
  }
  std::unique_ptr<lame_global_flags, decltype(&lame_close)> lame(lame_init(), &lame_close);
  if (!lame) throw std::runtime_error("LAME could not start");
  lame_set_in_samplerate(lame.get(), track.sample_rate);
  lame_set_out_samplerate(lame.get(), track.sample_rate);
  lame_set_num_channels(lame.get(), 2);
  lame_set_mode(lame.get(), JOINT_STEREO);
  lame_set_brate(lame.get(), kbps);
  lame_set_VBR(lame.get(), vbr_off);
  lame_set_quality(lame.get(), 5);  // LAME's default speed/quality balance
  // The Xing/LAME tag tells gapless decoders the encoder delay and padding,
  // which keeps the loop point clean in players that read it.
  lame_set_bWriteVbrTag(lame.get(), 1);
  if (lame_init_params(lame.get()) < 0) {
    throw std::runtime_error("LAME refused " + std::to_string(kbps) + " kbps at " +
                             std::to_string(track.sample_rate) + " Hz");
  }
  const size_t frames = track.samples.size() / 2;
  constexpr size_t kChunk = 8192;
  // LAME's documented worst case: 1.25 * samples + 7200 bytes.
  std::vector<unsigned char> buffer(kChunk * 5 / 4 + 7200);
  std::vector<uint8_t> out;
  for (size_t start = 0; start < frames; start += kChunk) {
    int n = static_cast<int>(std::min(kChunk, frames - start));
    // lame_encode_buffer_interleaved takes a non-const pointer but only reads.
    int written = lame_encode_buffer_interleaved(
        lame.get(), const_cast<short*>(track.samples.data() + start * 2), n, buffer.data(),
        static_cast<int>(buffer.size()));
    if (written < 0) throw std::runtime_error("LAME failed while encoding (" + std::to_string(written) + ")");
    out.insert(out.end(), buffer.begin(), buffer.begin() + written);
  }
  int written = lame_encode_flush(lame.get(), buffer.data(), static_cast<int>(buffer.size()));
  if (written < 0) throw std::runtime_error("LAME failed while flushing");
  out.insert(out.end(), buffer.begin(), buffer.begin() + written);
  // The tag frame at the start was written blank; fill it in now that the
  // stream's length is known.
  std::vector<unsigned char> tag(8192);
  size_t tag_bytes = lame_get_lametag_frame(lame.get(), tag.data(), tag.size());
  if (tag_bytes > 0 && tag_bytes <= tag.size() && tag_bytes <= out.size()) {
    std::copy(tag.begin(), tag.begin() + static_cast<long>(tag_bytes), out.begin());
  }
  return out;
}

}  // namespace media
