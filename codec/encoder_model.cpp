// The clip encoder's model of the picture: RGB to the codec's luma and
// 6-bit chroma, grid sampling, the decoder's interpolation, and bit costs.
#include <algorithm>
#include <cmath>

#include "codec/encoder_local.h"

namespace codec::encoder {

namespace {

// The colour table's matrix from (Y - 16, Cb * 4 - 128, Cr * 4 - 128) to
// (R, G, B), and its inverse.
struct Matrix3 {
  double m[3][3];
};

Matrix3 inverse(const Matrix3& a) {
  const auto& m = a.m;
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  Matrix3 r;
  r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
  r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
  r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
  r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
  r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
  r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
  r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
  r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
  r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
  return r;
}

const Matrix3 kToRgb = {{{1.164, 0.0, 1.596}, {1.164, -0.391, -0.813}, {1.164, 2.018, 0.0}}};

// log2 by frexp and repeated squaring: basic IEEE operations only, so the
// same bits on every machine whatever libm picks (the encoder's choices, and
// so its output bytes, depend on it).
double log2_exact(double x) {
  int exponent = 0;
  double m = std::frexp(x, &exponent) * 2;  // [1, 2)
  double result = exponent - 1;
  double bit = 0.5;
  for (int i = 0; i < 24; ++i, bit *= 0.5) {
    m *= m;
    if (m >= 2) {
      m *= 0.5;
      result += bit;
    }
  }
  return result;
}

int block_shift(int size) {
  int s = 0;
  while ((1 << s) < size) ++s;
  return s;
}

}  // namespace

TargetPlanes rgb_to_targets(const RgbFrame& frame) {
  static const Matrix3 to_ycc = inverse(kToRgb);
  TargetPlanes t;
  t.width = frame.width;
  t.height = frame.height;
  const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
  t.luma.resize(pixels);
  t.cr.resize(pixels);
  t.cb.resize(pixels);
  const auto& m = to_ycc.m;
  for (size_t i = 0; i < pixels; ++i) {
    const double r = frame.rgb[3 * i], g = frame.rgb[3 * i + 1], b = frame.rgb[3 * i + 2];
    const double y = m[0][0] * r + m[0][1] * g + m[0][2] * b + 16;
    const double u = m[1][0] * r + m[1][1] * g + m[1][2] * b;
    const double v = m[2][0] * r + m[2][1] * g + m[2][2] * b;
    t.luma[i] = static_cast<float>(std::clamp(y, 0.0, 255.0));
    t.cb[i] = static_cast<float>(std::clamp(u / 4 + 32, 0.0, 63.0));
    t.cr[i] = static_cast<float>(std::clamp(v / 4 + 32, 0.0, 63.0));
  }
  return t;
}

void interpolate_grid(const std::vector<uint8_t>& grid, int width, int height, int block_width,
                      int block_height, int scale, std::vector<uint8_t>* plane) {
  const int columns = width / block_width, rows = height / block_height;
  const int shift_x = block_shift(block_width), shift_y = block_shift(block_height);
  std::vector<uint8_t> row_buffer(static_cast<size_t>(rows + 1) * width);
  for (int gy = 0; gy <= rows; ++gy) {
    const uint8_t* g = grid.data() + gy * (columns + 1);
    uint8_t* out = row_buffer.data() + gy * width;
    for (int gx = 0; gx < columns; ++gx) {
      const int32_t a = scale * g[gx], b = scale * g[gx + 1];
      const uint32_t start = static_cast<uint32_t>(a) << 16;
      const uint32_t step = static_cast<uint32_t>(b - a) << (16 - shift_x);
      for (int k = 0; k < block_width; ++k) {
        out[gx * block_width + k] = static_cast<uint8_t>((start + static_cast<uint32_t>(k) * step) >> 16);
      }
    }
  }
  plane->resize(static_cast<size_t>(width) * height);
  for (int gy = 0; gy < rows; ++gy) {
    const uint8_t* upper = row_buffer.data() + gy * width;
    const uint8_t* lower = upper + width;
    for (int k = 0; k < block_height; ++k) {
      uint8_t* out = plane->data() + (gy * block_height + k) * width;
      for (int x = 0; x < width; ++x) {
        const int32_t a = upper[x], b = lower[x];
        const uint32_t step = static_cast<uint32_t>(b - a) << (16 - shift_y);
        out[x] = static_cast<uint8_t>(((static_cast<uint32_t>(a) << 16) + static_cast<uint32_t>(k) * step) >> 16);
      }
    }
  }
}

std::vector<uint8_t> sample_grid(const std::vector<float>& target, int width, int height,
                                 int block_width, int block_height, double scale) {
  // Summed-area table of the target.
  std::vector<double> sums(static_cast<size_t>(width + 1) * (height + 1), 0.0);
  for (int y = 0; y < height; ++y) {
    double row = 0;
    for (int x = 0; x < width; ++x) {
      row += target[static_cast<size_t>(y) * width + x];
      sums[static_cast<size_t>(y + 1) * (width + 1) + x + 1] = sums[static_cast<size_t>(y) * (width + 1) + x + 1] + row;
    }
  }
  const int columns = width / block_width, rows = height / block_height;
  const int reach_x = std::max(1, block_width / 2), reach_y = std::max(1, block_height / 2);
  std::vector<uint8_t> grid;
  grid.reserve(static_cast<size_t>(rows + 1) * (columns + 1));
  for (int gy = 0; gy <= rows; ++gy) {
    const int y0 = std::max(0, gy * block_height - reach_y), y1 = std::min(height, gy * block_height + reach_y);
    for (int gx = 0; gx <= columns; ++gx) {
      const int x0 = std::max(0, gx * block_width - reach_x), x1 = std::min(width, gx * block_width + reach_x);
      const auto at = [&](int x, int y) { return sums[static_cast<size_t>(y) * (width + 1) + x]; };
      const double mean = (at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0)) / ((x1 - x0) * (y1 - y0));
      grid.push_back(static_cast<uint8_t>(std::clamp(std::floor(mean / scale + 0.5), 0.0, 63.0)));
    }
  }
  return grid;
}

void refine_grid(std::vector<uint8_t>* grid, const std::vector<float>& target, int width,
                 int height, int block_width, int block_height, int scale, int iterations) {
  const int columns = width / block_width, rows = height / block_height;
  const size_t stride = static_cast<size_t>(columns) + 1;
  const size_t corners = static_cast<size_t>(rows + 1) * stride;
  // The weights of a pixel's four corners depend only on its place in the
  // block: upper left, upper right, lower left, lower right.
  const size_t block_pixels = static_cast<size_t>(block_width) * block_height;
  std::vector<double> weights(block_pixels * 4);
  double block_weight[4] = {0, 0, 0, 0};
  for (int ky = 0; ky < block_height; ++ky) {
    const double fy = static_cast<double>(ky) / block_height;
    for (int kx = 0; kx < block_width; ++kx) {
      const double fx = static_cast<double>(kx) / block_width;
      double* w = &weights[(static_cast<size_t>(ky) * block_width + kx) * 4];
      w[0] = (1 - fx) * (1 - fy), w[1] = fx * (1 - fy), w[2] = (1 - fx) * fy, w[3] = fx * fy;
      for (int k = 0; k < 4; ++k) block_weight[k] += w[k];
    }
  }
  std::vector<double> weight_sum(corners, 0.0);
  for (int gy = 0; gy < rows; ++gy) {
    for (int gx = 0; gx < columns; ++gx) {
      const size_t corner = static_cast<size_t>(gy) * stride + gx;
      weight_sum[corner] += block_weight[0];
      weight_sum[corner + 1] += block_weight[1];
      weight_sum[corner + stride] += block_weight[2];
      weight_sum[corner + stride + 1] += block_weight[3];
    }
  }

  std::vector<uint8_t> plane;
  std::vector<double> error_sum(corners);
  for (int iteration = 0; iteration < iterations; ++iteration) {
    interpolate_grid(*grid, width, height, block_width, block_height, scale, &plane);
    std::fill(error_sum.begin(), error_sum.end(), 0.0);
    for (int gy = 0; gy < rows; ++gy) {
      for (int gx = 0; gx < columns; ++gx) {
        double sum[4] = {0, 0, 0, 0};
        const double* w = weights.data();
        for (int ky = 0; ky < block_height; ++ky) {
          const size_t row = static_cast<size_t>(gy * block_height + ky) * width + gx * block_width;
          for (int kx = 0; kx < block_width; ++kx, w += 4) {
            const double error = target[row + kx] - plane[row + kx];
            sum[0] += w[0] * error, sum[1] += w[1] * error;
            sum[2] += w[2] * error, sum[3] += w[3] * error;
          }
        }
        const size_t corner = static_cast<size_t>(gy) * stride + gx;
        error_sum[corner] += sum[0];
        error_sum[corner + 1] += sum[1];
        error_sum[corner + stride] += sum[2];
        error_sum[corner + stride + 1] += sum[3];
      }
    }
    for (size_t c = 0; c < corners; ++c) {
      if (weight_sum[c] <= 0) continue;
      const double moved = (*grid)[c] + error_sum[c] / weight_sum[c] / scale;
      (*grid)[c] = static_cast<uint8_t>(std::clamp(std::floor(moved + 0.5), 0.0, 63.0));
    }
  }
}

double entropy_bits(const SymbolCounts& counts) {
  uint64_t total = 0;
  for (uint64_t c : counts) total += c;
  if (total == 0) return 0;
  const double log_total = log2_exact(static_cast<double>(total));
  double bits = 0;
  for (uint64_t c : counts) {
    if (c) bits += static_cast<double>(c) * (log_total - log2_exact(static_cast<double>(c)));
  }
  return bits;
}

}  // namespace codec::encoder
