// Frames shown again: a run of playback calls with reuse on leaves, after
// every call, the very bytes a run with reuse off leaves in every buffer and
// field the codec keeps, across frames that are kept, frames that are not
// (no chroma, blocks that do not tile, a stream that stops short), and a
// record changed in place.
#include <algorithm>
#include <cstring>
#include <string>

#include "codec_test_util.h"
#include "encoder_content.h"
#include "codec/clip_encoder.h"

namespace {

using codec_test::header;

// Everything a decode or a conversion writes, and the decoder's fields.
struct CodecState {
  std::vector<uint8_t> pixels, stream, luma_rows, luma_plane, chroma_rows;
  std::vector<uint16_t> picture;
  codec::FrameHeader header;
  codec::GridGeometry geometry;
  codec::FrameError error;
  int32_t decoded_length, stream_length, produced;
  const uint8_t* stream_data;
  std::vector<uint32_t> code_values;
  std::vector<uint8_t> code_lengths;
  // The code tree as (symbol, one child, zero child) per node, children as
  // node numbers (-1: none).
  std::vector<int> tree;
};

std::vector<uint8_t> bytes_of(const uint8_t* from, size_t count) { return {from, from + count}; }

CodecState state_now() {
  const codec::FrameStreamDecoder& d = codec::FrameDecoder;
  CodecState s{bytes_of(codec::FramePixels, codec::kFramePixelBytes),
               bytes_of(codec::DecodedStream, codec::kDecodedStreamBytes),
               bytes_of(codec::LumaRowBuffer, codec::kWorkBufferBytes),
               bytes_of(codec::LumaPlane, codec::kWorkBufferBytes),
               bytes_of(codec::ChromaRowBuffer, codec::kWorkBufferBytes),
               {codec::Frame16, codec::Frame16 + codec::kMaxFramePixels},
               codec::CurrentFrameHeader,
               codec::grid_geometry,
               codec::last_frame_error(),
               d.decodedLength,
               d.streamLength,
               d.produced_bytes(),
               d.streamData,
               {d.codeValues, d.codeValues + codec::kSymbolCount},
               {d.codeLengths, d.codeLengths + codec::kSymbolCount},
               {}};
  if (d.codeTree != nullptr) {
    const std::vector<codec::CodeTreeNode>& nodes = d.codeTree->nodes;
    auto number = [&](const codec::CodeTreeNode* node) {
      return node == nullptr ? -1 : static_cast<int>(node - nodes.data());
    };
    for (const codec::CodeTreeNode& node : nodes) {
      s.tree.insert(s.tree.end(), {node.symbol, number(node.oneChild), number(node.zeroChild)});
    }
    s.tree.push_back(number(d.codeTree->root));
  }
  return s;
}

// Which part differs, for the failure message; empty when none does.
std::string first_difference(const CodecState& a, const CodecState& b) {
  auto same_header = [](const codec::FrameHeader& x, const codec::FrameHeader& y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
  };
  auto same_geometry = [](const codec::GridGeometry& x, const codec::GridGeometry& y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
  };
  const std::pair<const char*, bool> parts[] = {
      {"FramePixels", a.pixels == b.pixels},
      {"DecodedStream", a.stream == b.stream},
      {"LumaRowBuffer", a.luma_rows == b.luma_rows},
      {"LumaPlane", a.luma_plane == b.luma_plane},
      {"ChromaRowBuffer", a.chroma_rows == b.chroma_rows},
      {"Frame16", a.picture == b.picture},
      {"CurrentFrameHeader", same_header(a.header, b.header)},
      {"grid_geometry", same_geometry(a.geometry, b.geometry)},
      {"last_frame_error", a.error == b.error},
      {"decoder lengths", a.decoded_length == b.decoded_length && a.stream_length == b.stream_length &&
                              a.produced == b.produced && a.stream_data == b.stream_data},
      {"code description", a.code_values == b.code_values && a.code_lengths == b.code_lengths},
      {"code tree", a.tree == b.tree},
  };
  for (const auto& [name, same] : parts) {
    if (!same) return name;
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
  std::vector<uint8_t> grey = assembled(codec_test::flat_parts(header(64, 64, 4, 4, 8, 8, 2, codec::kNoChromaMarker), 50, 0, 0));
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
    int32_t count = 0;
    ASSERT_EQ(codec::read_clip_frame_count(clips.wide, &count), codec::FrameError::kNone);
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
  // each one's second call gives another picture than its first.
  for (const auto& [first, second] : {std::pair{9, 11}, {13, 15}, {16, 18}}) {
    EXPECT_NE(decoded[first].picture, decoded[second].picture) << kRun[first];
  }
  for (size_t i = 0; i < reused.size(); ++i) {
    EXPECT_EQ(first_difference(reused[i], decoded[i]), "") << "after step " << i << ": " << kRun[i];
  }
}

}  // namespace
