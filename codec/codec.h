// The clip codec's public face: clip files and their playback into the clip
// textures, the Huffman-coded frame stream, frame reconstruction and the
// colour conversion table.
//
// Everything runs on the main thread; all state is process-wide and nothing
// here is reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace codec {

// ---- Sizes the format and its buffers fix --------------------------------
constexpr int kRecordHeaderBytes = 1284;      // decoded length + 256 code values + 256 lengths
constexpr int kSymbolCount = 256;
constexpr int kMaxCodeLength = 32;            // a code value is one 32-bit word
constexpr int kFastTableBits = 10;
constexpr int kFastTableSize = 1 << kFastTableBits;
constexpr int kDecodedStreamBytes = 640000;
constexpr int kWorkBufferBytes = 256000;
constexpr int kFramePixelBytes = 262144;      // 256 x 256 pixels of 4 bytes
constexpr int kMaxFramePixels = 65536;        // width x height
constexpr int kFrameHeaderBytes = 12;
constexpr int kColourTableEntries = 1 << 20;  // 256 luma x 64 Cr x 64 Cb
constexpr uint8_t kNoChromaMarker = 255;

// Why the codec refused a frame (or a clip), for callers that want to know:
// the routines of the demo itself keep their own results (DecodeFrame still
// returns 1). Refused frames leave the picture, the header and the grid
// geometry as they were.
enum class FrameError {
  kNone,
  kNotInitialised,        // InitClipCodec or AllocFramePixels has not succeeded
  kRecordTooShort,        // fewer than the 1284 bytes of the code description
  kCodeLengthTooLong,     // a code length above 32
  kDecodedLengthTooLong,  // more than the 640000-byte decoded stream holds
  kBadFrameSize,          // width or height not positive, or more than 65536 pixels
  kBadBlockSize,          // a block size in use that is zero or negative
  kSectionPastStream,     // a grid or residual section would run past the decoded stream
  kClipTooShort,          // no room for the entry count or the offset table
  kNoFrames,              // an entry count below 2
  kFrameOutsideClip,      // an offset table entry pointing outside the file or backwards
  kUnknownClip,           // ShowClipFrame on an image nobody registered with its size
};

const char* describe(FrameError error);

// The outcome of the last DecodeFrame or clip frame decode.
FrameError last_frame_error();

// ---- Frame-stream decoder ------------------------------------------------

struct CodeTreeNode {
  uint8_t symbol = 0;
  CodeTreeNode* parent = nullptr;  // kept for the shape of the tree; decoding never follows it
  CodeTreeNode* oneChild = nullptr;
  CodeTreeNode* zeroChild = nullptr;
};

// Holds only the codes longer than the fast table's 10 bits.
struct CodeTree {
  CodeTreeNode* root = nullptr;
  CodeTreeNode* cursor = nullptr;
  // Node storage, reserved up front so the node pointers stay put.
  std::vector<CodeTreeNode> nodes;
};

struct FastCodeEntry {
  uint8_t symbol;
  uint8_t length;  // 0: no code of 10 bits or fewer lands here
};

// Fills `table` from a code description as the decoder does for every frame:
// entry i answers for the next 10 stream bits read as a little-endian field i.
// Lengths of 0 or above 10 are not entered. Returns false when two codes
// claimed the same entry (the later symbol kept it): such a code is not
// prefix-free.
bool BuildFastTable(const uint32_t* code_values, const uint8_t* code_lengths,
                    FastCodeEntry* table);

class FrameStreamDecoder {
 public:
  // Copies the code description of a record of `size` bytes and points at its
  // bit stream. Records too short to hold a description, code lengths above
  // 32 and decoded lengths above 640000 are refused: the decoder then holds an
  // empty description that decodes nothing.
  FrameError LoadCodeDescription(const uint8_t* record, int32_t size);

  // Rebuilds the fast table and the code tree, decodes the bit stream into
  // DecodedStream and returns DecodedStream. Bytes past the last one written
  // keep what earlier frames left there. Stream bytes at or past streamLength
  // read as 0: nothing past the record is ever touched.
  uint8_t* DecodeStream();

  // The fields in the demo's order. Written by LoadCodeDescription and
  // DecodeStream only.
  int32_t decodedLength = 0;
  std::unique_ptr<CodeTree> codeTree;
  uint32_t codeValues[kSymbolCount] = {};
  uint8_t codeLengths[kSymbolCount] = {};
  const uint8_t* streamData = nullptr;  // into the caller's record, never owned
  int32_t streamLength = 0;

  // Bytes the last DecodeStream wrote (tools and tests).
  int32_t produced_bytes() const { return produced_bytes_; }

  // Leaves the decoder and DecodedStream as DecodeStream would for the
  // loaded description, given the `count` bytes that decode produced: the
  // playback's way back to a frame it decoded before.
  void RestoreDecodedStream(const uint8_t* bytes, int32_t count);

 private:
  // Empties and refills the code tree from the loaded description.
  CodeTree& rebuild_code_tree();
  int32_t produced_bytes_ = 0;
};

// The one decoder. Used by DecodeFrame only (and by tests).
extern FrameStreamDecoder FrameDecoder;

// ---- Frame reconstruction --------------------------------------------------

// The 12-byte header at the start of every decoded stream, sizes widened.
struct FrameHeader {
  int32_t width = 0;
  int32_t height = 0;
  int32_t lumaBlockWidth = 4;  // 0: raw luma
  int32_t lumaBlockHeight = 4;
  int32_t chromaBlockWidth = 8;
  int32_t chromaBlockHeight = 8;
  uint8_t verticalInterpolation = 1;
  uint8_t reserved = 1;
  int8_t residualShift = 2;
  uint8_t chromaMarker = 2;  // 255: no chroma
};

FrameHeader read_frame_header(const uint8_t* bytes);

// Written by DecodeFrame for every frame it does not refuse; read by the
// playback and the tools.
extern FrameHeader CurrentFrameHeader;

// The grid geometry that persists from frame to frame: each part is
// recomputed only by frames that use it, and a shift only for block sizes of
// 2, 4, 8 or 16. Written by DecodeFrame only.
struct GridGeometry {
  int32_t lumaGridColumns = 0;
  int32_t lumaGridRows = 0;
  int32_t chromaGridColumns = 0;
  int32_t chromaGridRows = 0;
  int32_t lumaShiftX = 0;
  int32_t lumaShiftY = 0;
  int32_t chromaShiftX = 0;
  int32_t chromaShiftY = 0;
};
extern GridGeometry grid_geometry;

// Decodes one frame record into `pixels` (a buffer of 262144 bytes laid out
// as FramePixels). Returns 1 in every case; last_frame_error() tells whether
// the frame was refused.
int DecodeFrame(const uint8_t* record, uint8_t* pixels, int32_t size);

// The steps of DecodeFrame; they trust the header DecodeFrame has checked.
void InterpolateLumaGrid();
int32_t ApplyLumaResiduals(uint8_t* pixels, int pixel_shift);
void InterpolateChromaGrid(uint8_t* plane, const uint8_t* grid);
// DecodeFrame's chroma step: both grids, in one pass where that gives the
// same bytes as InterpolateChromaGrid for Cr and then for Cb.
void interpolate_chroma_grids(uint8_t* pixels, const uint8_t* cr_grid, const uint8_t* cb_grid);

// ---- Colour table and the codec's buffers ----------------------------------
// All allocated once by InitClipCodec (zeroed) and never freed; read and
// written by the frame decoder and reconstruction only.
extern uint16_t* ColourTable;  // index (Y << 12) | (Cr << 6) | Cb, R5G6B5 entries
extern uint8_t* ChromaRowBuffer;
extern uint8_t* LumaRowBuffer;
extern uint8_t* LumaPlane;
extern uint8_t* DecodedStream;

// 1 when every buffer is there and the table is built, -1 when memory runs
// out. Calling it again keeps the buffers and returns 1.
int InitClipCodec();

// Builds ColourTable again (InitClipCodec builds it once; the benchmark
// times this).
void build_colour_table();

// The table entry for one luma/chroma triple, computed directly (the encoder
// and tests use it; playback reads ColourTable).
uint16_t colour_table_entry(int luma, int cr, int cb);

// Chroma bytes outside 0..63 (read as signed bytes) are clamped into range
// instead of indexing past the table.
void ConvertFrameToRgb16(const uint8_t* pixels, uint16_t* output, int32_t pitch_bytes,
                         int32_t width, int32_t height);

// Failures a test can ask for, to reach the out-of-memory paths: the
// allocation of InitClipCodec or AllocFramePixels that finds the count at 0
// fails (each allocation counts it down; -1 never fails).
struct CodecFaults {
  int fail_allocation_after = -1;
};
extern CodecFaults faults;

// ---- Playback --------------------------------------------------------------

// The frame pixel buffer, 262144 bytes, allocated before main by
// AllocFramePixels. Written by DecodeFrame and the frame callback; read by
// the conversion. Null only when that allocation failed.
extern uint8_t* FramePixels;
// The converted frame; written by ShowClipFrame only.
extern uint16_t Frame16[kMaxFramePixels];
// Holds AdjustFrameChroma from the start and is never changed.
extern void (*FrameCallback)();
// The texture pair written last: 0 (128 x 128) or 1 (256 x 256); 1 at start.
// Written by ShowClipFrame only; read by BindClipTexture.
extern int32_t CurrentClipTexture;
// Created by the shell's start-up (null until then, or when creation failed);
// written by ShowClipFrame.
extern IDirect3DTexture8* ClipStagingTexture[2];
extern IDirect3DTexture8* ClipTexture[2];

// Allocates FramePixels; runs as a static initialiser and again from
// InitClipCodec when it failed then. False when the memory is not there.
bool AllocFramePixels();

// When on (the default), ShowClipFrame asked again for one of the last few
// frames it decoded gives back the pixels, picture and decoder state that
// decode left, instead of decoding again: the demo shows each clip frame on
// two to four consecutive screen frames at 60 frames a second. Off, every
// call decodes (the tests compare the two). shown_frames_reused counts the
// calls answered so.
extern bool reuse_shown_frames;
extern uint64_t shown_frames_reused;

// Shows frame `frame` of a clip file image the loader registered (below):
// true for a frame number in range, false when frame 0 was shown instead.
// A frame the codec refuses leaves the texture pair as it was.
bool ShowClipFrame(const uint8_t* clip, int32_t frame);

void AdjustFrameChroma();
void RemapChromaPlane(float scale, float offset, uint8_t* plane, int32_t x0, int32_t y0,
                      int32_t x1, int32_t y1);

// ---- Clip files -------------------------------------------------------------

// The demo keeps clip images as bare pointers; the loader registers each one
// with its size so that frame records are bounded by the file.
void register_clip_file(const uint8_t* image, size_t size_bytes);
// The registered image (empty when `image` was never registered).
std::span<const uint8_t> registered_clip_file(const uint8_t* image);

// The entry count N of the offset table (N - 1 frames), checked against the
// file: the table must fit and N must be at least 2.
FrameError read_clip_frame_count(std::span<const uint8_t> clip, int32_t* frame_count);

// The record of frame `frame` (0 <= frame < frame count), bounded by the file.
FrameError locate_clip_frame(std::span<const uint8_t> clip, int32_t frame,
                             std::span<const uint8_t>* record);

// ShowClipFrame up to the upload: decodes the frame (frame 0 when `frame` is
// out of range; `in_range` says which), shows chroma-less frames in grey, runs
// FrameCallback and converts into Frame16. The tools use it to see exactly
// what playback shows.
FrameError decode_clip_frame(std::span<const uint8_t> clip, int32_t frame, bool* in_range);

// ShowClipFrame for an image whose size the caller knows.
bool show_clip_frame(std::span<const uint8_t> clip, int32_t frame);

}  // namespace codec
