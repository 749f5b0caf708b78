// Elementary functions that give the same bits on every machine.
//
// The pack must be byte-identical everywhere, and the C library's sin, exp
// and atan2 differ in their last bits between library versions. These are
// built only from +, -, *, /, sqrt and floor, which IEEE 754 rounds exactly,
// in a fixed order (the build forbids fused multiply-adds). They are accurate
// to about 1e-12, far more than 8-bit pictures and 16-bit sound need.
#pragma once

namespace media {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 6.28318530717958647692;

double det_sin(double x);
double det_cos(double x);
double det_exp(double x);
double det_log(double x);  // x > 0
double det_pow(double base, double exponent);  // base > 0
double det_atan2(double y, double x);
double det_tanh(double x);

inline double clamp01(double x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); }
inline double lerp(double a, double b, double t) { return a + (b - a) * t; }
inline double smoothstep(double edge0, double edge1, double x) {
  double t = clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0 - 2.0 * t);
}
// The fractional part in [0, 1), also for negative x.
double fract(double x);

}  // namespace media
