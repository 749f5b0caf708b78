#include "media/det_math.h"

#include <cmath>
#include <limits>

namespace media {

namespace {

// Taylor coefficients, folded by the compiler (exactly rounded, so the same
// everywhere) to keep divisions out of the per-pixel path.
constexpr double inverse_factorial(int n) {
  double f = 1.0;
  for (int i = 2; i <= n; ++i) f *= static_cast<double>(i);
  return 1.0 / f;
}

// sin on [-pi/4, pi/4]: terms up to x^15 keep the error below 1e-16.
double sin_core(double x) {
  double x2 = x * x;
  double p = -inverse_factorial(15);
  p = p * x2 + inverse_factorial(13);
  p = p * x2 - inverse_factorial(11);
  p = p * x2 + inverse_factorial(9);
  p = p * x2 - inverse_factorial(7);
  p = p * x2 + inverse_factorial(5);
  p = p * x2 - inverse_factorial(3);
  return x + x * x2 * p;
}

double cos_core(double x) {
  double x2 = x * x;
  double p = inverse_factorial(16);
  p = p * x2 - inverse_factorial(14);
  p = p * x2 + inverse_factorial(12);
  p = p * x2 - inverse_factorial(10);
  p = p * x2 + inverse_factorial(8);
  p = p * x2 - inverse_factorial(6);
  p = p * x2 + inverse_factorial(4);
  p = p * x2 - inverse_factorial(2);
  return 1.0 + x2 * p;
}

// Reduces x to r in [-pi/4, pi/4] and the quadrant q (0..3) with x = q*pi/2 + r.
// The reduction loses precision for huge arguments; ours stay below 1e6.
void reduce_quadrant(double x, double& r, int& quadrant) {
  constexpr double kHalfPi = kPi / 2.0;
  double k = std::floor(x / kHalfPi + 0.5);
  r = x - k * kHalfPi;
  double q = k - 4.0 * std::floor(k / 4.0);
  quadrant = static_cast<int>(q);
}

}  // namespace

double fract(double x) { return x - std::floor(x); }

double det_sin(double x) {
  double r;
  int q;
  reduce_quadrant(x, r, q);
  switch (q) {
    case 0: return sin_core(r);
    case 1: return cos_core(r);
    case 2: return -sin_core(r);
    default: return -cos_core(r);
  }
}

double det_cos(double x) {
  double r;
  int q;
  reduce_quadrant(x, r, q);
  switch (q) {
    case 0: return cos_core(r);
    case 1: return -sin_core(r);
    case 2: return -cos_core(r);
    default: return sin_core(r);
  }
}

double det_exp(double x) {
  if (x > 700.0) return std::numeric_limits<double>::infinity();
  if (x < -700.0) return 0.0;
  constexpr double kLn2 = 0.69314718055994530942;
  double k = std::floor(x / kLn2 + 0.5);
  double r = x - k * kLn2;  // |r| <= ln2/2
  static constexpr double kCoefficients[] = {
      inverse_factorial(0),  inverse_factorial(1),  inverse_factorial(2),  inverse_factorial(3),
      inverse_factorial(4),  inverse_factorial(5),  inverse_factorial(6),  inverse_factorial(7),
      inverse_factorial(8),  inverse_factorial(9),  inverse_factorial(10), inverse_factorial(11),
      inverse_factorial(12), inverse_factorial(13)};
  double p = kCoefficients[13];
  for (int n = 12; n >= 0; --n) p = p * r + kCoefficients[n];
  return std::ldexp(p, static_cast<int>(k));
}

double det_log(double x) {
  if (!(x > 0.0)) return -std::numeric_limits<double>::infinity();
  int exponent;
  double m = std::frexp(x, &exponent);  // m in [0.5, 1)
  if (m < 0.70710678118654752440) {
    m *= 2.0;
    exponent -= 1;
  }
  // log(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172
  double s = (m - 1.0) / (m + 1.0);
  double s2 = s * s;
  double term = s;
  double sum = s;
  for (int n = 3; n <= 27; n += 2) {
    term *= s2;
    sum += term / static_cast<double>(n);
  }
  constexpr double kLn2 = 0.69314718055994530942;
  return 2.0 * sum + static_cast<double>(exponent) * kLn2;
}

double det_pow(double base, double exponent) {
  if (base <= 0.0) return 0.0;
  return det_exp(exponent * det_log(base));
}

double det_atan2(double y, double x) {
  if (x == 0.0 && y == 0.0) return 0.0;
  double ax = std::fabs(x);
  double ay = std::fabs(y);
  bool swapped = ay > ax;
  double t = swapped ? ax / ay : ay / ax;  // in [0, 1]
  // Two half-angle steps bring t below tan(pi/16), where the series is short.
  t = t / (1.0 + std::sqrt(1.0 + t * t));
  t = t / (1.0 + std::sqrt(1.0 + t * t));
  double t2 = t * t;
  double term = t;
  double sum = t;
  for (int n = 3; n <= 25; n += 2) {
    term = -term * t2;
    sum += term / static_cast<double>(n);
  }
  double angle = 4.0 * sum;
  if (swapped) angle = kPi / 2.0 - angle;
  if (x < 0.0) angle = kPi - angle;
  return y < 0.0 ? -angle : angle;
}

double det_tanh(double x) {
  if (x > 20.0) return 1.0;
  if (x < -20.0) return -1.0;
  double e = det_exp(2.0 * x);
  return (e - 1.0) / (e + 1.0);
}

}  // namespace media
