// Frame reconstruction: a decoded stream's sample grids, residuals and raw
// planes expanded into the frame pixel buffer.
#include <algorithm>

#include "codec/codec_local.h"

namespace codec {

FrameHeader CurrentFrameHeader;
GridGeometry grid_geometry;

namespace {

FrameError last_error = FrameError::kNone;
// Where in its decoded stream the sections of the frame DecodeFrame took
// last end; past any stream when it refused the frame.
int64_t last_sections_end = INT64_MAX;

// Bytes of the luma grid section; the residual stream follows it.
int32_t luma_grid_bytes() {
  return (grid_geometry.lumaGridRows + 1) * (grid_geometry.lumaGridColumns + 1);
}

// The base-2 logarithm for the block sizes the shifts know; -1 keeps the
// previous shift.
int block_shift(int32_t size) {
  switch (size) {
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    case 16: return 4;
    default: return -1;
  }
}

void update_shift(int32_t size, int32_t* shift) {
  const int s = block_shift(size);
  if (s >= 0) *shift = s;
}

// Linear interpolation in 16.16 fixed point. The accumulator is a signed
// 32-bit number whose bits 16-23 are the output; unsigned arithmetic gives
// the same bits and lets a block size that is not the shift's power of two
// run the accumulator over its range without undefined behaviour.
inline uint32_t fixed_start(int32_t a) { return static_cast<uint32_t>(a) << 16; }
inline uint32_t fixed_step(int32_t a, int32_t b, int32_t shift) {
  return static_cast<uint32_t>(b - a) << (16 - shift);
}
inline uint8_t fixed_output(uint32_t start, uint32_t step, int32_t k) {
  return static_cast<uint8_t>((start + static_cast<uint32_t>(k) * step) >> 16);
}

// The vertical pass of one block row: `count` output rows between two
// horizontally interpolated grid rows (bytes read as `Sample`), written
// `stride` bytes apart. A shift of -1 means no vertical interpolation: every
// row repeats the upper one. Columns go in chunks so the accumulators stay on
// the stack whatever the width.
// The stride is a template argument so that the luma plane's rows (stride
// 1) vectorise.
template <typename Sample, int32_t stride>
void interpolate_rows(const Sample* upper, const Sample* lower, int32_t width, int32_t count,
                      int32_t shift, uint8_t* out) {
  constexpr int32_t kChunk = 256;
  uint32_t accumulator[kChunk];
  uint32_t step[kChunk];
  for (int32_t x0 = 0; x0 < width; x0 += kChunk) {
    const int32_t columns = std::min(kChunk, width - x0);
    // Two loops rather than a choice per column, so that both vectorise.
    if (shift < 0) {
      for (int32_t x = 0; x < columns; ++x) {
        accumulator[x] = fixed_start(upper[x0 + x]);
        step[x] = 0;
      }
    } else {
      for (int32_t x = 0; x < columns; ++x) {
        const int32_t a = upper[x0 + x];
        accumulator[x] = fixed_start(a);
        step[x] = fixed_step(a, lower[x0 + x], shift);
      }
    }
    for (int32_t k = 0; k < count; ++k) {
      uint8_t* row = out + (static_cast<size_t>(k) * width + x0) * stride;
      for (int32_t x = 0; x < columns; ++x) {
        row[x * stride] = static_cast<uint8_t>(accumulator[x] >> 16);
        accumulator[x] += step[x];
      }
    }
  }
}

// The horizontal pass of a grid (samples read as signed bytes times
// kScale) into rows `width` bytes apart, blocks `block_width` wide;
// kBlockWidth, when not 0, is that width known at compile time so that the
// few bytes of a block are written without a loop.
template <int32_t kBlockWidth, int32_t kScale>
void interpolate_grid_rows(const uint8_t* grid, int32_t grid_rows, int32_t grid_columns,
                           int32_t shift, int32_t block_width, uint8_t* rows, int32_t width) {
  if (kBlockWidth != 0) block_width = kBlockWidth;
  for (int32_t gy = 0; gy <= grid_rows; ++gy) {
    const uint8_t* row = grid + gy * (grid_columns + 1);
    uint8_t* out = rows + gy * width;
    for (int32_t gx = 0; gx < grid_columns; ++gx) {
      const int32_t a = kScale * static_cast<int8_t>(row[gx]);
      const int32_t b = kScale * static_cast<int8_t>(row[gx + 1]);
      const uint32_t start = fixed_start(a);
      const uint32_t step = fixed_step(a, b, shift);
      uint8_t* block = out + gx * block_width;
      for (int32_t k = 0; k < block_width; ++k) block[k] = fixed_output(start, step, k);
    }
  }
}

bool width_is_tiled(int32_t width, int32_t block_width) { return width % block_width == 0; }
void interpolate_both_chroma_grids(uint8_t* pixels, const uint8_t* cr_grid, const uint8_t* cb_grid);

}  // namespace

bool last_frame_reads_only_its_own_bytes() {
  const FrameHeader& h = CurrentFrameHeader;
  auto tiles = [&](int32_t block_width, int32_t block_height) {
    return block_shift(block_width) >= 0 && block_shift(block_height) >= 0 && h.width % block_width == 0 &&
           h.height % block_height == 0;
  };
  return h.chromaMarker != kNoChromaMarker && tiles(h.chromaBlockWidth, h.chromaBlockHeight) &&
         (h.lumaBlockWidth == 0 || tiles(h.lumaBlockWidth, h.lumaBlockHeight)) &&
         last_sections_end <= FrameDecoder.produced_bytes();
}

void update_grid_geometry(const FrameHeader& h) {
  GridGeometry& g = grid_geometry;
  if (h.chromaMarker != kNoChromaMarker) {
    g.chromaGridColumns = h.width / h.chromaBlockWidth;
    g.chromaGridRows = h.height / h.chromaBlockHeight;
    update_shift(h.chromaBlockWidth, &g.chromaShiftX);
    update_shift(h.chromaBlockHeight, &g.chromaShiftY);
  }
  if (h.lumaBlockWidth != 0) {
    g.lumaGridColumns = h.width / h.lumaBlockWidth;
    g.lumaGridRows = h.height / h.lumaBlockHeight;
    update_shift(h.lumaBlockWidth, &g.lumaShiftX);
    update_shift(h.lumaBlockHeight, &g.lumaShiftY);
  }
}

namespace {

// The checks that make every later step stay inside its buffers. Nothing of
// the decoder's persistent state has been touched when this refuses.
FrameError check_header(const FrameHeader& h) {
  if (h.width <= 0 || h.height <= 0 ||
      static_cast<int64_t>(h.width) * h.height > kMaxFramePixels) {
    return FrameError::kBadFrameSize;
  }
  const bool chroma = h.chromaMarker != kNoChromaMarker;
  const bool luma_blocks = h.lumaBlockWidth != 0;
  if (luma_blocks && (h.lumaBlockWidth < 0 || h.lumaBlockHeight <= 0)) {
    return FrameError::kBadBlockSize;
  }
  if (chroma && (h.chromaBlockWidth <= 0 || h.chromaBlockHeight <= 0)) {
    return FrameError::kBadBlockSize;
  }

  // With positive sizes and at most 65536 pixels every grid fits the work
  // buffers and every section fits the decoded stream; checked anyway, in
  // 64 bits, so that a change of limits cannot open a hole.
  int64_t end = kFrameHeaderBytes;
  if (luma_blocks) {
    const int64_t columns = h.width / h.lumaBlockWidth;
    const int64_t rows = h.height / h.lumaBlockHeight;
    const int64_t blocks = rows * columns;
    if ((rows + 1) * h.width > kWorkBufferBytes) return FrameError::kBadFrameSize;
    end += (rows + 1) * (columns + 1) + blocks +
           blocks * h.lumaBlockHeight * (h.lumaBlockWidth / 2);
  } else {
    end += static_cast<int64_t>(h.width) * h.height;
  }
  if (chroma) {
    const int64_t columns = h.width / h.chromaBlockWidth;
    const int64_t rows = h.height / h.chromaBlockHeight;
    if ((rows + 1) * h.width > kWorkBufferBytes) return FrameError::kBadFrameSize;
    end += 2 * (rows + 1) * (columns + 1);
  }
  if (end > kDecodedStreamBytes) return FrameError::kSectionPastStream;
  return FrameError::kNone;
}

}  // namespace

void set_last_frame_error(FrameError error) { last_error = error; }
FrameError last_frame_error() { return last_error; }

const char* describe(FrameError error) {
  switch (error) {
    case FrameError::kNone: return "no error";
    case FrameError::kNotInitialised: return "the codec's buffers are not allocated";
    case FrameError::kRecordTooShort: return "frame record shorter than its 1284-byte code description";
    case FrameError::kCodeLengthTooLong: return "a code length above 32 bits";
    case FrameError::kDecodedLengthTooLong: return "decoded length above 640000 bytes";
    case FrameError::kBadFrameSize: return "frame size not positive or above 65536 pixels";
    case FrameError::kBadBlockSize: return "a block size in use is zero or negative";
    case FrameError::kSectionPastStream: return "a frame section runs past the decoded stream";
    case FrameError::kClipTooShort: return "clip file too short for its offset table";
    case FrameError::kNoFrames: return "clip file has no frames (entry count below 2)";
    case FrameError::kFrameOutsideClip: return "offset table points outside the clip file";
    case FrameError::kUnknownClip: return "clip image was never registered with its size";
  }
  return "unknown error";
}

FrameHeader read_frame_header(const uint8_t* bytes) {
  FrameHeader h;
  h.width = static_cast<int16_t>(bytes[0] | bytes[1] << 8);
  h.height = static_cast<int16_t>(bytes[2] | bytes[3] << 8);
  h.lumaBlockWidth = static_cast<int8_t>(bytes[4]);
  h.lumaBlockHeight = static_cast<int8_t>(bytes[5]);
  h.chromaBlockWidth = static_cast<int8_t>(bytes[6]);
  h.chromaBlockHeight = static_cast<int8_t>(bytes[7]);
  h.verticalInterpolation = bytes[8];
  h.reserved = bytes[9];
  h.residualShift = static_cast<int8_t>(bytes[10]);
  h.chromaMarker = bytes[11];
  return h;
}

int DecodeFrame(const uint8_t* record, uint8_t* pixels, int32_t size) {
  last_sections_end = INT64_MAX;
  if (DecodedStream == nullptr || pixels == nullptr) {
    set_last_frame_error(FrameError::kNotInitialised);
    return 1;
  }
  const FrameError description = FrameDecoder.LoadCodeDescription(record, size);
  if (description != FrameError::kNone) {
    set_last_frame_error(description);
    return 1;
  }
  const uint8_t* stream = FrameDecoder.DecodeStream();

  const FrameHeader header = read_frame_header(stream);
  const FrameError checked = check_header(header);
  set_last_frame_error(checked);
  if (checked != FrameError::kNone) return 1;

  CurrentFrameHeader = header;
  const FrameHeader& h = CurrentFrameHeader;
  const GridGeometry& g = grid_geometry;
  const bool chroma = h.chromaMarker != kNoChromaMarker;
  update_grid_geometry(h);
  const int pixel_shift = chroma ? 2 : 0;

  int32_t luma_section;
  if (h.lumaBlockWidth == 0) {
    const uint8_t* raw = stream + kFrameHeaderBytes;
    const int32_t count = h.width * h.height;
    if (pixel_shift == 0) {
      std::memcpy(pixels, raw, static_cast<size_t>(count));
    } else {
      for (int32_t i = 0; i < count; ++i) pixels[i << pixel_shift] = raw[i];
    }
    luma_section = count;
  } else {
    InterpolateLumaGrid();
    luma_section = luma_grid_bytes() + ApplyLumaResiduals(pixels, pixel_shift);
  }

  if (chroma) {
    const uint8_t* cr_grid = stream + kFrameHeaderBytes + luma_section;
    const uint8_t* cb_grid = cr_grid + (g.chromaGridRows + 1) * (g.chromaGridColumns + 1);
    interpolate_chroma_grids(pixels, cr_grid, cb_grid);
    last_sections_end = cb_grid - stream + (g.chromaGridRows + 1) * (g.chromaGridColumns + 1);
  } else {
    last_sections_end = kFrameHeaderBytes + luma_section;
  }
  return 1;
}

void InterpolateLumaGrid() {
  const FrameHeader& h = CurrentFrameHeader;
  const GridGeometry& g = grid_geometry;
  const int32_t width = h.width;
  const int32_t block_width = h.lumaBlockWidth;
  const int32_t block_height = h.lumaBlockHeight;
  const uint8_t* grid = DecodedStream + kFrameHeaderBytes;

  if (block_width == 4) {
    interpolate_grid_rows<4, 4>(grid, g.lumaGridRows, g.lumaGridColumns, g.lumaShiftX, 4,
                                LumaRowBuffer, width);
  } else {
    interpolate_grid_rows<0, 4>(grid, g.lumaGridRows, g.lumaGridColumns, g.lumaShiftX,
                                block_width, LumaRowBuffer, width);
  }

  const int32_t shift = h.verticalInterpolation != 0 ? g.lumaShiftY : -1;
  for (int32_t gy = 0; gy < g.lumaGridRows; ++gy) {
    const uint8_t* upper = LumaRowBuffer + gy * width;
    interpolate_rows<uint8_t, 1>(upper, upper + width, width, block_height, shift,
                                 LumaPlane + gy * block_height * width);
  }
}

namespace {

// ApplyLumaResiduals for one pixel shift, known at compile time so that the
// pixel strides are constants, and for blocks of kBlockSize x kBlockSize
// (0: the header's sizes). The demo's clips use 4 x 4 blocks, whose loops of
// two residual bytes a row cost more than their bodies unless unrolled.
template <int kPixelShift, int kBlockSize>
int32_t apply_residuals(uint8_t* pixels) {
  const FrameHeader& h = CurrentFrameHeader;
  const GridGeometry& g = grid_geometry;
  const int32_t width = h.width;
  const int32_t block_width = kBlockSize != 0 ? kBlockSize : h.lumaBlockWidth;
  const int32_t block_height = kBlockSize != 0 ? kBlockSize : h.lumaBlockHeight;
  const int32_t pairs = block_width / 2;
  constexpr int32_t kStride = 1 << kPixelShift;  // the second pixel of a pair
  // x86's 32-bit shift masks its count to five bits; the result is then
  // taken modulo 256. Only shifts of 0-7 occur in the format.
  const uint32_t shift = static_cast<uint32_t>(h.residualShift) & 31u;
  const uint8_t* stream = DecodedStream + kFrameHeaderBytes + luma_grid_bytes();

  // Each residual byte's two shifted nibbles, as the 8-bit values that are
  // subtracted.
  uint8_t left_delta[256], right_delta[256];
  for (uint32_t r = 0; r < 256; ++r) {
    left_delta[r] = static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(r & 15) - 8) << shift);
    right_delta[r] = static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(r >> 4) - 8) << shift);
  }

  int32_t q = 0;
  for (int32_t gy = 0; gy < g.lumaGridRows; ++gy) {
    for (int32_t gx = 0; gx < g.lumaGridColumns; ++gx) {
      const uint8_t flag = stream[q++];
      const int32_t corner = gy * block_height * width + gx * block_width;
      for (int32_t ky = 0; ky < block_height; ++ky) {
        const int32_t row = corner + ky * width;
        const uint8_t* base = LumaPlane + row;
        uint8_t* out = pixels + (static_cast<size_t>(row) << kPixelShift);
        if (flag == 0) {
          const uint8_t* residuals = stream + q;
          q += pairs;
          for (int32_t kx = 0; kx < pairs; ++kx) {
            const uint8_t r = residuals[kx];
            out[2 * kx * kStride] = static_cast<uint8_t>(base[2 * kx] - left_delta[r]);
            out[(2 * kx + 1) * kStride] = static_cast<uint8_t>(base[2 * kx + 1] - right_delta[r]);
          }
        } else {
          for (int32_t kx = 0; kx < block_width; ++kx) out[kx * kStride] = base[kx];
        }
      }
    }
  }
  return q;
}

}  // namespace

int32_t ApplyLumaResiduals(uint8_t* pixels, int pixel_shift) {
  const FrameHeader& h = CurrentFrameHeader;
  const bool four_by_four = h.lumaBlockWidth == 4 && h.lumaBlockHeight == 4;
  if (pixel_shift != 0) {
    return four_by_four ? apply_residuals<2, 4>(pixels) : apply_residuals<2, 0>(pixels);
  }
  return four_by_four ? apply_residuals<0, 4>(pixels) : apply_residuals<0, 0>(pixels);
}

namespace {

// The horizontal pass of a chroma grid into `rows` (row stride `width`).
void interpolate_chroma_rows(const uint8_t* grid, uint8_t* rows) {
  const GridGeometry& g = grid_geometry;
  const int32_t width = CurrentFrameHeader.width;
  const int32_t block_width = CurrentFrameHeader.chromaBlockWidth;
  if (block_width == 8) {
    interpolate_grid_rows<8, 1>(grid, g.chromaGridRows, g.chromaGridColumns, g.chromaShiftX, 8,
                                rows, width);
  } else {
    interpolate_grid_rows<0, 1>(grid, g.chromaGridRows, g.chromaGridColumns, g.chromaShiftX,
                                block_width, rows, width);
  }
}

// Cr's horizontally interpolated rows when both planes go in one pass.
uint8_t cr_rows[kWorkBufferBytes];

// Both chroma planes at once, for frames whose chroma blocks tile every row:
// then the horizontal passes write every row-buffer byte the vertical passes
// read, no byte left over from earlier frames is read, and interpolating Cr
// into a row buffer of its own gives the same planes (and leaves
// ChromaRowBuffer holding Cb's rows, as the two passes in turn do). Each
// pixel's Cr and Cb are stored with one 32-bit write that keeps its luma and
// fourth byte.
void interpolate_both_chroma_grids(uint8_t* pixels, const uint8_t* cr_grid, const uint8_t* cb_grid) {
  const FrameHeader& h = CurrentFrameHeader;
  const GridGeometry& g = grid_geometry;
  const int32_t width = h.width;
  const int32_t block_height = h.chromaBlockHeight;
  interpolate_chroma_rows(cr_grid, cr_rows);
  interpolate_chroma_rows(cb_grid, ChromaRowBuffer);
  const int32_t shift = h.verticalInterpolation != 0 ? g.chromaShiftY : -1;

  constexpr int32_t kChunk = 256;
  uint32_t cr_accumulator[kChunk], cr_step[kChunk], cb_accumulator[kChunk], cb_step[kChunk];
  for (int32_t gy = 0; gy < g.chromaGridRows; ++gy) {
    const int8_t* cr_upper = reinterpret_cast<const int8_t*>(cr_rows + gy * width);
    const int8_t* cb_upper = reinterpret_cast<const int8_t*>(ChromaRowBuffer + gy * width);
    for (int32_t x0 = 0; x0 < width; x0 += kChunk) {
      const int32_t columns = std::min(kChunk, width - x0);
      // The choice of shift outside the loops, so that both vectorise.
      if (shift < 0) {
        for (int32_t x = 0; x < columns; ++x) {
          cr_accumulator[x] = fixed_start(cr_upper[x0 + x]);
          cb_accumulator[x] = fixed_start(cb_upper[x0 + x]);
          cr_step[x] = 0;
          cb_step[x] = 0;
        }
      } else {
        for (int32_t x = 0; x < columns; ++x) {
          const int32_t cr = cr_upper[x0 + x], cb = cb_upper[x0 + x];
          cr_accumulator[x] = fixed_start(cr);
          cb_accumulator[x] = fixed_start(cb);
          cr_step[x] = fixed_step(cr, cr_upper[x0 + x + width], shift);
          cb_step[x] = fixed_step(cb, cb_upper[x0 + x + width], shift);
        }
      }
      for (int32_t k = 0; k < block_height; ++k) {
        uint8_t* row = pixels + (static_cast<size_t>(gy * block_height + k) * width + x0) * 4;
        for (int32_t x = 0; x < columns; ++x) {
          uint32_t pixel;
          std::memcpy(&pixel, row + x * 4, 4);
          pixel = (pixel & 0xFF0000FFu) | (cr_accumulator[x] >> 8 & 0xFF00u) |
                  (cb_accumulator[x] & 0xFF0000u);
          std::memcpy(row + x * 4, &pixel, 4);
          cr_accumulator[x] += cr_step[x];
          cb_accumulator[x] += cb_step[x];
        }
      }
    }
  }
}

}  // namespace

void interpolate_chroma_grids(uint8_t* pixels, const uint8_t* cr_grid, const uint8_t* cb_grid) {
  if (width_is_tiled(CurrentFrameHeader.width, CurrentFrameHeader.chromaBlockWidth)) {
    interpolate_both_chroma_grids(pixels, cr_grid, cb_grid);
  } else {
    InterpolateChromaGrid(pixels + 1, cr_grid);
    InterpolateChromaGrid(pixels + 2, cb_grid);
  }
}

void InterpolateChromaGrid(uint8_t* plane, const uint8_t* grid) {
  const FrameHeader& h = CurrentFrameHeader;
  const GridGeometry& g = grid_geometry;
  const int32_t width = h.width;
  const int32_t block_height = h.chromaBlockHeight;
  interpolate_chroma_rows(grid, ChromaRowBuffer);

  const int32_t shift = h.verticalInterpolation != 0 ? g.chromaShiftY : -1;
  for (int32_t gy = 0; gy < g.chromaGridRows; ++gy) {
    const int8_t* upper = reinterpret_cast<const int8_t*>(ChromaRowBuffer + gy * width);
    interpolate_rows<int8_t, 4>(upper, upper + width, width, block_height, shift,
                                plane + static_cast<size_t>(gy * block_height * width) * 4);
  }
}

}  // namespace codec
