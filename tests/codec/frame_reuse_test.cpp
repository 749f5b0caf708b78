// Frames shown again: a run of playback calls with reuse on leaves, after
// every call, the very bytes a run with reuse off leaves in every buffer and
// field the codec keeps, across frames that are kept, frames that are not
// (no chroma, blocks that do not tile, a stream that stops short), and a
// record changed in place.
#include <algorithm>
#include <cstdint>
#include <string>

#include "codec_test_util.h"
#include "encoder_content.h"
#include "codec/clip_encoder.h"

namespace {

using codec_test::header;

// Everything a decode or a conversion writes, and the decoder's fields, as
// named bytes. The code tree's nodes are numbered, their children by number.
using CodecState = std::vector<std::pair<const char*, std::vector<uint8_t>>>;

template <class T>
std::vector<uint8_t> bytes_of(const T* from, size_t count) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(from);
  return {bytes, bytes + count * sizeof(T)};
}

CodecState state_now() {
  const codec::FrameStreamDecoder& d = codec::FrameDecoder;
  const codec::FrameError error = codec::last_frame_error();
  const int32_t lengths[] = {d.decodedLength, d.streamLength, d.produced_bytes()};
  std::vector<int64_t> tree = {static_cast<int64_t>(reinterpret_cast<intptr_t>(d.streamData))};
  if (d.codeTree != nullptr) {
    const std::vector<codec::CodeTreeNode>& nodes = d.codeTree->nodes;
    auto number = [&](const codec::CodeTreeNode* node) { return node == nullptr ? -1 : node - nodes.data(); };
    for (const codec::CodeTreeNode& node : nodes) {
      tree.insert(tree.end(), {node.symbol, number(node.oneChild), number(node.zeroChild)});
    }
    tree.push_back(number(d.codeTree->root));
  }
  return {{"FramePixels", bytes_of(codec::FramePixels, codec::kFramePixelBytes)},
          {"DecodedStream", bytes_of(codec::DecodedStream, codec::kDecodedStreamBytes)},
          {"LumaRowBuffer", bytes_of(codec::LumaRowBuffer, codec::kWorkBufferBytes)},
          {"LumaPlane", bytes_of(codec::LumaPlane, codec::kWorkBufferBytes)},
          {"ChromaRowBuffer", bytes_of(codec::ChromaRowBuffer, codec::kWorkBufferBytes)},
          {"Frame16", bytes_of(codec::Frame16, codec::kMaxFramePixels)},
          {"CurrentFrameHeader", bytes_of(&codec::CurrentFrameHeader, 1)},
          {"grid_geometry", bytes_of(&codec::grid_geometry, 1)},
          {"last_frame_error", bytes_of(&error, 1)},
          {"decoder lengths", bytes_of(lengths, 3)},
          {"code description", bytes_of(d.codeValues, codec::kSymbolCount)},
          {"code lengths", bytes_of(d.codeLengths, codec::kSymbolCount)},
          {"stream data and code tree", bytes_of(tree.data(), tree.size())}};
}

// Which part differs, for the failure message; empty when none does.
std::string first_difference(const CodecState& a, const CodecState& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].second != b[i].second) return a[i].first;
  }
  return "";
}

std::vector<uint8_t> encoded(codec_test::Content content, int width, int height, int frame) {
  return codec::encode_rgb_frame(codec_test::synthetic_frame(content, width, height, frame), {}).record;
}

std::vector<uint8_t> assembled(const codec::FrameParts& parts) {
  return codec::encode_frame_record(codec::assemble_decoded_stream(parts));
}

// The clips a run plays.
struct Clips {
  std::vector<uint8_t> wide, narrow, odd;
};

Clips make_clips() {
  using codec_test::Content;
  // Chroma of 70 is out of range: the conversion writes the clamp back.
  std::vector<uint8_t> out_of_range = assembled(codec_test::flat_parts(header(64, 48, 4, 4, 8, 8), 30, 70, 20));
  std::vector<uint8_t> grey =
      assembled(codec_test::flat_parts(header(64, 64, 4, 4, 8, 8, 2, codec::kNoChromaMarker), 50, 0, 0));
  // Cut short: the stream stops before the chroma grids, which are then
  // read from what earlier frames left.
  std::vector<uint8_t> short_stream = encoded(Content::kRings, 128, 128, 0);
  short_stream.resize(short_stream.size() * 3 / 4);
  // Too short to hold a code description.
  const std::vector<uint8_t> refused(100, 0);
  // Blocks of 3, whose shift is the one the frame before left; a luma grid
  // that is not flat, so that the shift shows.
  codec::FrameParts carried_shift = codec_test::flat_parts(header(96, 96, 3, 3, 8, 8), 0, 40, 12);
  for (size_t i = 0; i < carried_shift.luma.size(); ++i) carried_shift.luma[i] = static_cast<uint8_t>(i * 3 % 64);
  return {codec::write_clip_file({encoded(Content::kPlasma, 256, 256, 0), encoded(Content::kPlasma, 256, 256, 5),
                                  out_of_range}),
          codec::write_clip_file({encoded(Content::kNoise, 128, 96, 0), grey, short_stream, refused}),
          // Blocks that do not tile the frame, and a block size whose shift is
          // carried over from the frame before.
          codec::write_clip_file({assembled(codec_test::flat_parts(header(100, 60, 8, 4, 8, 8), 70, 10, 50)),
                                  assembled(carried_shift)})};
}

// One playback call, or a change to a clip, by name.
void step(Clips& clips, const std::string& what) {
  if (what == "change wide 0") {
    // A stream byte of frame 0, whose record keeps its size and address.
    std::span<const uint8_t> record;
    ASSERT_EQ(codec::locate_clip_frame(clips.wide, 0, &record), codec::FrameError::kNone);
    clips.wide[static_cast<size_t>(record.data() - clips.wide.data()) + record.size() - 40] ^= 0x5A;
    return;
  }
  const size_t space = what.find(' ');
  const std::string name = what.substr(0, space);
  const int frame = std::stoi(what.substr(space + 1));
  std::vector<uint8_t>& clip = name == "wide" ? clips.wide : name == "narrow" ? clips.narrow : clips.odd;
  bool in_range = false;
  codec::decode_clip_frame(clip, frame, &in_range);
}

// Kept frames come back after others; each frame that is not kept comes
// back after frames that left other bytes for it to read.
const char* const kRun[] = {
    "wide 0",   "wide 0",   "narrow 0", "wide 0",  "narrow 0",      "narrow 1", "wide 0", "narrow 1",
    "wide 0",   "narrow 2", "wide 1",   "narrow 2", "wide 1",       "odd 0",    "narrow 0", "odd 0",
    "odd 1",    "wide 2",   "odd 1",    "wide 2",  "change wide 0", "wide 0",   "wide 0", "wide 1",
    "narrow 0", "narrow 3", "narrow 0",
};

// The states after each step of kRun, from the same starting bytes.
std::vector<CodecState> play(bool reuse) {
  codec::reuse_shown_frames = reuse;
  // Every buffer starts from the same bytes in both runs, with a pattern
  // that any byte read before it was written would carry into the picture.
  for (uint8_t* buffer : {codec::LumaRowBuffer, codec::LumaPlane, codec::ChromaRowBuffer}) {
    for (int i = 0; i < codec::kWorkBufferBytes; ++i) buffer[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  for (int i = 0; i < codec::kDecodedStreamBytes; ++i) codec::DecodedStream[i] = static_cast<uint8_t>(i * 13 + 1);
  for (int i = 0; i < codec::kFramePixelBytes; ++i) codec::FramePixels[i] = static_cast<uint8_t>(i * 5 + 2);
  codec::CurrentFrameHeader = {};
  codec::grid_geometry = {};
  // The same images at the same addresses in both runs (the decoder points
  // into them), as they were made.
  static const Clips made = make_clips();
  static Clips clips = made;
  std::copy(made.wide.begin(), made.wide.end(), clips.wide.begin());
  std::vector<CodecState> states;
  for (const char* what : kRun) {
    step(clips, what);
    states.push_back(state_now());
  }
  codec::reuse_shown_frames = true;
  return states;
}

TEST(FrameReuse, LeavesEveryBufferAsDecodingAgainWould) {
  codec_test::init_codec();
  const uint64_t reused_before = codec::shown_frames_reused;
  const std::vector<CodecState> reused = play(true);
  const uint64_t reused_calls = codec::shown_frames_reused - reused_before;
  const std::vector<CodecState> decoded = play(false);
  EXPECT_EQ(codec::shown_frames_reused - reused_before, reused_calls) << "reuse switched off still reused";
  // Every kept frame's calls after its first: wide 0 four times before its
  // change and once after, narrow 0 four times, wide 1 twice, wide 2 once.
  EXPECT_EQ(reused_calls, 12u);
  ASSERT_EQ(reused.size(), decoded.size());
  // The frames that are not kept read what the frames before them left:
  // each one's second call gives another picture (Frame16) than its first.
  for (const auto& [first, second] : {std::pair{9, 11}, {13, 15}, {16, 18}}) {
    EXPECT_NE(decoded[first][5].second, decoded[second][5].second) << kRun[first];
  }
  for (size_t i = 0; i < reused.size(); ++i) {
    EXPECT_EQ(first_difference(reused[i], decoded[i]), "") << "after step " << i << ": " << kRun[i];
  }
}

}  // namespace
