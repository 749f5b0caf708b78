// One frame's coding choices: chroma block size, raw or block luma, luma
// block size and residual shift, and per block residuals or a skip, each
// chosen for the least distortion plus lambda times the bits it costs.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "codec/encoder_local.h"

namespace codec::encoder {

namespace {

constexpr int kMaxBlock = 16;
constexpr int kRefinements = 2;

// The largest block size of at most `wanted` (a power of two) that divides
// `size`; 1 when nothing larger does (a block of one needs no shift, so the
// shift the decoder carries over from another frame cannot matter).
int dividing_block(int size, int wanted) {
  int b = std::min(wanted, kMaxBlock);
  while (b > 1 && size % b != 0) b /= 2;
  return b;
}

void add_counts(SymbolCounts& counts, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) ++counts[b];
}

struct ChromaChoice {
  int block_width = 8, block_height = 8;
  std::vector<uint8_t> cr_grid, cb_grid;
  std::vector<uint8_t> cr, cb;  // what the decoder will make
  double cost = std::numeric_limits<double>::infinity();
};

struct LumaChoice {
  int block_width = 0, block_height = 0;  // 0: raw
  int shift = 0;
  std::vector<uint8_t> section;  // raw bytes, or grid then residual stream
  size_t grid_bytes = 0;
  std::vector<uint8_t> luma;  // what the decoder will make
  double cost = std::numeric_limits<double>::infinity();
};

double plane_error(const std::vector<uint8_t>& plane, const std::vector<float>& target) {
  double sum = 0;
  for (size_t i = 0; i < plane.size(); ++i) {
    const double d = plane[i] - static_cast<double>(target[i]);
    sum += d * d;
  }
  return sum;
}

ChromaChoice choose_chroma(const TargetPlanes& t, double lambda) {
  static constexpr std::array<std::array<int, 2>, 5> kSizes = {
      {{4, 4}, {8, 8}, {16, 16}, {8, 4}, {16, 8}}};
  ChromaChoice best;
  for (const auto& size : kSizes) {
    ChromaChoice c;
    c.block_width = size[0];
    c.block_height = dividing_block(t.height, size[1]);
    if (c.block_height != size[1] && size[0] != size[1]) continue;  // same as a square one
    c.cr_grid = sample_grid(t.cr, t.width, t.height, c.block_width, c.block_height, 1);
    c.cb_grid = sample_grid(t.cb, t.width, t.height, c.block_width, c.block_height, 1);
    refine_grid(&c.cr_grid, t.cr, t.width, t.height, c.block_width, c.block_height, 1, kRefinements);
    refine_grid(&c.cb_grid, t.cb, t.width, t.height, c.block_width, c.block_height, 1, kRefinements);
    interpolate_grid(c.cr_grid, t.width, t.height, c.block_width, c.block_height, 1, &c.cr);
    interpolate_grid(c.cb_grid, t.width, t.height, c.block_width, c.block_height, 1, &c.cb);
    SymbolCounts counts{};
    add_counts(counts, c.cr_grid);
    add_counts(counts, c.cb_grid);
    c.cost = kCrWeight * plane_error(c.cr, t.cr) + kCbWeight * plane_error(c.cb, t.cb) +
             lambda * entropy_bits(counts);
    if (c.cost < best.cost) best = std::move(c);
  }
  return best;
}

// Block luma with one block size and every residual shift; the residuals of
// a block are kept only where the error they remove is worth their bits.
void try_block_luma(const TargetPlanes& t, int block_width, int block_height,
                    const SymbolCounts& other_counts, double lambda, LumaChoice* best) {
  const int width = t.width, height = t.height;
  const int columns = width / block_width, rows = height / block_height;
  std::vector<uint8_t> grid = sample_grid(t.luma, width, height, block_width, block_height, 4);
  refine_grid(&grid, t.luma, width, height, block_width, block_height, 4, kRefinements);
  std::vector<uint8_t> base;
  interpolate_grid(grid, width, height, block_width, block_height, 4, &base);
  const int pixels_per_block = block_width * block_height;
  const int bytes_per_block = block_height * (block_width / 2);

  for (int shift = 0; shift <= 4; ++shift) {
    const int unit = 1 << shift;
    // Pass 1: every block's residual nibbles and both errors.
    std::vector<uint8_t> nibbles(static_cast<size_t>(width) * height);
    std::vector<double> skip_error(static_cast<size_t>(rows) * columns, 0.0);
    std::vector<double> coded_error(skip_error.size(), 0.0);
    SymbolCounts residual_counts{};
    for (int gy = 0; gy < rows; ++gy) {
      for (int gx = 0; gx < columns; ++gx) {
        const size_t block = static_cast<size_t>(gy) * columns + gx;
        for (int ky = 0; ky < block_height; ++ky) {
          const size_t row = static_cast<size_t>(gy * block_height + ky) * width + gx * block_width;
          for (int kx = 0; kx < block_width; ++kx) {
            const size_t i = row + kx;
            const int b = base[i];
            const double target = t.luma[i];
            // The decoder makes b - n * unit (n from -8 to 7) modulo 256;
            // only values that do not wrap are used.
            const int lowest = std::max(-8, -((255 - b) / unit));
            const int highest = std::min(7, b / unit);
            const int n = std::clamp(static_cast<int>(std::floor((b - target) / unit + 0.5)), lowest, highest);
            nibbles[i] = static_cast<uint8_t>(n + 8);
            const double skip = b - target, coded = b - n * unit - target;
            skip_error[block] += skip * skip;
            coded_error[block] += coded * coded;
          }
          for (int kx = 0; kx + 1 < block_width; kx += 2) {
            ++residual_counts[static_cast<uint8_t>(nibbles[row + kx] | nibbles[row + kx + 1] << 4)];
          }
        }
      }
    }
    uint64_t residual_total = 0;
    for (uint64_t c : residual_counts) residual_total += c;
    const double bits_per_byte = residual_total ? entropy_bits(residual_counts) / residual_total : 8;
    const double block_bits = bytes_per_block * bits_per_byte;

    // Pass 2: the decisions, the stream and the picture they give.
    LumaChoice c;
    c.block_width = block_width;
    c.block_height = block_height;
    c.shift = shift;
    c.section = grid;
    c.grid_bytes = grid.size();
    c.luma = base;
    double error = 0;
    std::vector<uint8_t> block_nibbles(static_cast<size_t>(pixels_per_block));
    for (int gy = 0; gy < rows; ++gy) {
      for (int gx = 0; gx < columns; ++gx) {
        const size_t block = static_cast<size_t>(gy) * columns + gx;
        const bool coded = bytes_per_block > 0 &&
                           kLumaWeight * (skip_error[block] - coded_error[block]) > lambda * block_bits;
        if (!coded) {
          error += skip_error[block];
          codec::append_block_residuals(c.section, {});
          continue;
        }
        error += coded_error[block];
        for (int ky = 0; ky < block_height; ++ky) {
          const size_t row = static_cast<size_t>(gy * block_height + ky) * width + gx * block_width;
          for (int kx = 0; kx < block_width; ++kx) {
            block_nibbles[static_cast<size_t>(ky * block_width + kx)] = nibbles[row + kx];
            c.luma[row + kx] = static_cast<uint8_t>(base[row + kx] - (nibbles[row + kx] - 8) * unit);
          }
        }
        codec::append_block_residuals(c.section, block_nibbles);
      }
    }
    SymbolCounts counts = other_counts;
    add_counts(counts, c.section);
    c.cost = kLumaWeight * error + lambda * entropy_bits(counts);
    if (c.cost < best->cost) *best = std::move(c);
  }
}

LumaChoice choose_luma(const TargetPlanes& t, const SymbolCounts& other_counts, double lambda) {
  LumaChoice best;
  // Raw luma: exact up to rounding, a byte a pixel before coding.
  {
    LumaChoice raw;
    raw.section.resize(t.luma.size());
    for (size_t i = 0; i < t.luma.size(); ++i) {
      raw.section[i] = static_cast<uint8_t>(std::floor(static_cast<double>(t.luma[i]) + 0.5));
    }
    raw.luma = raw.section;
    SymbolCounts counts = other_counts;
    add_counts(counts, raw.section);
    raw.cost = kLumaWeight * plane_error(raw.luma, t.luma) + lambda * entropy_bits(counts);
    best = std::move(raw);
  }
  static constexpr std::array<std::array<int, 2>, 5> kSizes = {
      {{4, 4}, {8, 8}, {16, 16}, {8, 4}, {16, 8}}};
  for (const auto& size : kSizes) {
    const int block_height = dividing_block(t.height, size[1]);
    if (block_height != size[1] && size[0] != size[1]) continue;
    try_block_luma(t, size[0], block_height, other_counts, lambda, &best);
  }
  return best;
}

}  // namespace

EncodedFrame encode_frame(const TargetPlanes& t, double lambda) {
  const ChromaChoice chroma = choose_chroma(t, lambda);
  FrameParts parts;
  FrameHeader& h = parts.header;
  h.width = t.width;
  h.height = t.height;
  h.chromaBlockWidth = chroma.block_width;
  h.chromaBlockHeight = chroma.block_height;
  h.verticalInterpolation = 1;
  h.reserved = 0;
  h.chromaMarker = 0;
  std::vector<uint8_t> header_bytes(kFrameHeaderBytes);
  write_frame_header(h, header_bytes.data());

  SymbolCounts other{};
  add_counts(other, header_bytes);
  add_counts(other, chroma.cr_grid);
  add_counts(other, chroma.cb_grid);
  const LumaChoice luma = choose_luma(t, other, lambda);

  h.lumaBlockWidth = luma.block_width;
  h.lumaBlockHeight = luma.block_width == 0 ? 0 : luma.block_height;
  h.residualShift = static_cast<int8_t>(luma.shift);
  parts.luma.assign(luma.section.begin(),
                    luma.block_width == 0 ? luma.section.end()
                                          : luma.section.begin() + static_cast<ptrdiff_t>(luma.grid_bytes));
  if (luma.block_width != 0) {
    parts.residuals.assign(luma.section.begin() + static_cast<ptrdiff_t>(luma.grid_bytes), luma.section.end());
  }
  parts.cr_grid = chroma.cr_grid;
  parts.cb_grid = chroma.cb_grid;

  EncodedFrame out;
  out.decoded = assemble_decoded_stream(parts);
  out.predicted.resize(t.luma.size() * 4);
  for (size_t i = 0; i < t.luma.size(); ++i) {
    out.predicted[4 * i] = luma.luma[i];
    out.predicted[4 * i + 1] = chroma.cr[i];
    out.predicted[4 * i + 2] = chroma.cb[i];
  }
  return out;
}

}  // namespace codec::encoder
