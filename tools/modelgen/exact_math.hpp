// Elementary functions that give the same bits on every platform.
//
// The committed models and clips must regenerate byte for byte on x86-64, aarch64 and
// armhf.  The C library's sin, cos, exp, atan2 and hypot may differ in the last bit
// between platforms (aarch64's use fused multiply-adds), and a last bit is enough to flip
// a tie between two ears of a symmetric letter, the sign of a zero, a printed digit or a
// sample's rounding to 16 bits.  These are built from +, -, *, / and sqrt only,
// which IEEE 754 rounds the same way everywhere (with -ffp-contract=off), to within a few
// units in the last place of the true value.
//
// The rule for the generators: wherever a computed value decides a branch, an ordering, a
// count or a written digit, compute it with these (or with plain arithmetic), never with
// <cmath>'s transcendental functions.
#pragma once

#include <cstddef>

namespace modelgen {

double exact_sin(double x);
double exact_cos(double x);
// The angle of (x, y) in [-pi, pi], like std::atan2 (0 for the origin).
double exact_atan2(double y, double x);
// sqrt(x² + y²), without the overflow care of std::hypot (lengths here are small).
double exact_hypot(double x, double y);
// e^x for |x| < 700.
double exact_exp(double x);
// The natural logarithm of x > 0.
double exact_log(double x);
// x^y for x > 0 (0 for x = 0 and y > 0).
double exact_pow(double x, double y);

// out[i] = exact_pow(x[i], y) for i < count, a step at a time across all the values, so
// that their divisions overlap (and run side by side where the target has vectors) instead
// of each waiting on the one before; the scalar forms are blocks of one, so the bits are
// the same either way.  At most kPowBlock values a call.
inline constexpr std::size_t kPowBlock = 64;
void exact_pow_block(const double* x, double y, double* out, std::size_t count);
// out[i] = exact_exp(x[i]) for i < count (at most kPowBlock), in the same way.
void exact_exp_block(const double* x, double* out, std::size_t count);

}  // namespace modelgen
