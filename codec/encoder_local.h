// Inside the clip encoder: the picture in the codec's colour form and the
// exact model of the decoder's interpolation that the encoder predicts with.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/clip_encoder.h"
#include "codec/clip_writer.h"

namespace codec::encoder {

// A frame as the targets the encoder aims at: luma 0-255 and chroma in the
// decoder's 6-bit units, 32 neutral, not yet rounded.
struct TargetPlanes {
  int width = 0;
  int height = 0;
  std::vector<float> luma, cr, cb;
};

TargetPlanes rgb_to_targets(const RgbFrame& frame);

// Squared error of one unit of each plane, in the RGB squared error it
// causes (summed over the three channels), from the colour table's matrix.
constexpr double kLumaWeight = 3 * 1.164 * 1.164;
constexpr double kCrWeight = 16 * (1.596 * 1.596 + 0.813 * 0.813);
constexpr double kCbWeight = 16 * (2.018 * 2.018 + 0.391 * 0.391);

// What the decoder makes of a grid of (rows + 1) x (columns + 1) samples of
// 0-63 times `scale` (4 for luma, 1 for chroma) with blocks of 1, 2, 4, 8
// or 16 pixels that divide the frame: the same 16.16 steps, row buffer and
// vertical pass. For samples of 0-63 the decoder's signed and unsigned reads
// agree, so one model serves both planes.
void interpolate_grid(const std::vector<uint8_t>& grid, int width, int height, int block_width,
                      int block_height, int scale, std::vector<uint8_t>* plane);

// Grid samples: the mean of the target around each block corner (a block's
// size centred on it, cut at the frame's edges), over `scale`, rounded and
// limited to 0-63.
std::vector<uint8_t> sample_grid(const std::vector<float>& target, int width, int height,
                                 int block_width, int block_height, double scale);

// Moves grid samples towards the least squared error of what the decoder
// makes of them: each sample by the error around it, weighted as the
// interpolation weighs it.
void refine_grid(std::vector<uint8_t>* grid, const std::vector<float>& target, int width,
                 int height, int block_width, int block_height, int scale, int iterations);

// Bits of an order-0 code for these counts (the Huffman code a frame gets
// is within a bit a symbol of it). Deterministic on every machine: no libm.
double entropy_bits(const SymbolCounts& counts);

// One frame's choices and what the decoder will show.
struct EncodedFrame {
  std::vector<uint8_t> decoded;    // the decoded stream
  std::vector<uint8_t> predicted;  // width x height pixels of {Y, Cr, Cb, 0}
};

EncodedFrame encode_frame(const TargetPlanes& target, double lambda);

}  // namespace codec::encoder
