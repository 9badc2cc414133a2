#include "exact_math.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/convert.hpp"

namespace modelgen {

namespace {

// pi/2 as the double nearest it plus the remainder, so that x - k·pi/2 keeps its
// precision for the few turns the models use.
constexpr double half_pi_high = 1.57079632679489655800e+00;
constexpr double half_pi_low = 6.12323399573676603587e-17;

// Taylor series for |r| <= pi/4, highest term first; the first term left out is below
// 1e-19 there.
double sin_near_zero(double r) {
    const double r2 = r * r;
    double sum = 1.0 / 355687428096000.0;  // 1/17!
    sum = sum * r2 - 1.0 / 1307674368000.0;
    sum = sum * r2 + 1.0 / 6227020800.0;
    sum = sum * r2 - 1.0 / 39916800.0;
    sum = sum * r2 + 1.0 / 362880.0;
    sum = sum * r2 - 1.0 / 5040.0;
    sum = sum * r2 + 1.0 / 120.0;
    sum = sum * r2 - 1.0 / 6.0;
    return r + r * r2 * sum;
}

double cos_near_zero(double r) {
    const double r2 = r * r;
    double sum = -1.0 / 6402373705728000.0;  // -1/18!
    sum = sum * r2 + 1.0 / 20922789888000.0;
    sum = sum * r2 - 1.0 / 87178291200.0;
    sum = sum * r2 + 1.0 / 479001600.0;
    sum = sum * r2 - 1.0 / 3628800.0;
    sum = sum * r2 + 1.0 / 40320.0;
    sum = sum * r2 - 1.0 / 720.0;
    sum = sum * r2 + 1.0 / 24.0;
    return 1.0 - r2 * 0.5 + r2 * r2 * sum;
}

// sin (quarter = 0) or cos (quarter = 1) of x: x = k·pi/2 + r, then the quadrant k + quarter
// picks ±sin(r) or ±cos(r).
double sin_quarter(double x, long quarter) {
    const double k = std::round(x * (2 / std::numbers::pi));
    const double r = (x - k * half_pi_high) - k * half_pi_low;
    switch ((lumo::saturating_cast<long>(k) + quarter) & 3) {
        case 0: return sin_near_zero(r);
        case 1: return cos_near_zero(r);
        case 2: return -sin_near_zero(r);
        default: return -cos_near_zero(r);
    }
}

// atan(t) for 0 <= t <= 1: halved twice, atan(t) = 2·atan(t / (1 + sqrt(1 + t²))), to
// t <= 0.2, where 13 terms of the series reach below 1e-19.
double atan_unit(double t) {
    for (int half = 0; half < 2; ++half) t = t / (1.0 + std::sqrt(1.0 + t * t));
    const double t2 = t * t;
    double sum = 0;
    for (int n = 25; n >= 3; n -= 2) sum = sum * t2 + ((n / 2) % 2 == 0 ? 1.0 : -1.0) / n;
    return 4 * (t + t * t2 * sum);
}

}  // namespace

double exact_sin(double x) { return sin_quarter(x, 0); }
double exact_cos(double x) { return sin_quarter(x, 1); }

double exact_atan2(double y, double x) {
    const double ax = std::abs(x), ay = std::abs(y);
    if (ax == 0 && ay == 0) return 0;
    double angle = ay <= ax ? atan_unit(ay / ax) : std::numbers::pi / 2 - atan_unit(ax / ay);
    if (std::signbit(x)) angle = std::numbers::pi - angle;
    return std::signbit(y) ? -angle : angle;
}

double exact_hypot(double x, double y) { return std::sqrt(x * x + y * y); }

namespace {

// ln 2 as the double nearest it plus the remainder.
constexpr double ln2_high = 6.93147180369123816490e-01;
constexpr double ln2_low = 1.90821492927058770002e-10;

// std::round for |x| < 2^52 and std::ldexp where the result is a normal number, from
// operations that vectorise: the fractional part x - trunc(x) is exact, and so is a product
// with a power of two that stays normal.
double round_half_away(double x) {
    const double whole = std::trunc(x);
    return std::fabs(x - whole) >= 0.5 ? whole + std::copysign(1.0, x) : whole;
}

double times_power_of_two(double x, double k) {
    if (!(k >= -1021 && k <= 1023)) return std::ldexp(x, lumo::saturating_cast<int>(k));
    const auto biased = static_cast<std::uint64_t>(lumo::saturating_cast<int>(k) + 1023);
    return x * std::bit_cast<double>(biased << 52);
}

// x = m·2^e with m in [sqrt(1/2), sqrt(2)), then ln m = 2·atanh(u), u = (m - 1) / (m + 1),
// |u| < 0.172, from its series (0 for x = 0, which exact_pow needs as a placeholder).
void log_block(const double* x, double* out, std::size_t count) {
    double m[kPowBlock], e[kPowBlock], u[kPowBlock], u2[kPowBlock], sum[kPowBlock];
    for (std::size_t i = 0; i < count; ++i) {
        int exponent = 0;
        m[i] = x[i] == 0 ? 1.0 : std::frexp(x[i], &exponent);
        if (m[i] < std::numbers::sqrt2 / 2) m[i] *= 2, exponent -= 1;
        e[i] = exponent;
    }
    for (std::size_t i = 0; i < count; ++i) {
        u[i] = (m[i] - 1) / (m[i] + 1);
        u2[i] = u[i] * u[i];
        sum[i] = 0;
    }
    for (int n = 41; n >= 3; n -= 2) {
        for (std::size_t i = 0; i < count; ++i) sum[i] = (sum[i] + 1.0 / n) * u2[i];
    }
    for (std::size_t i = 0; i < count; ++i) out[i] = 2 * (u[i] + u[i] * sum[i]) + e[i] * ln2_high + e[i] * ln2_low;
}

}  // namespace

// x = k·ln 2 + r with |r| <= ln 2 / 2, then e^r from its series (the first term left out is
// below 1e-19 there) and the power of two exactly.
void exact_exp_block(const double* x, double* out, std::size_t count) {
    double r[kPowBlock], k[kPowBlock], sum[kPowBlock];
    count = std::min(count, kPowBlock);
    for (std::size_t i = 0; i < count; ++i) {
        k[i] = round_half_away(x[i] / std::numbers::ln2);
        r[i] = (x[i] - k[i] * ln2_high) - k[i] * ln2_low;
        sum[i] = 1.0;
    }
    for (int n = 18; n >= 1; --n) {
        for (std::size_t i = 0; i < count; ++i) sum[i] = 1.0 + sum[i] * r[i] / n;
    }
    for (std::size_t i = 0; i < count; ++i) out[i] = times_power_of_two(sum[i], k[i]);
}

void exact_pow_block(const double* x, double y, double* out, std::size_t count) {
    double logs[kPowBlock];
    count = std::min(count, kPowBlock);
    log_block(x, logs, count);
    for (std::size_t i = 0; i < count; ++i) logs[i] *= y;
    exact_exp_block(logs, out, count);
    for (std::size_t i = 0; i < count; ++i) out[i] = x[i] == 0 ? 0.0 : out[i];
}

// The scalar forms are blocks of one: each formula has one home, above.
double exact_exp(double x) {
    double out = 0;
    exact_exp_block(&x, &out, 1);
    return out;
}

double exact_log(double x) {
    double out = 0;
    log_block(&x, &out, 1);
    return out;
}

double exact_pow(double x, double y) {
    double out = 0;
    exact_pow_block(&x, y, &out, 1);
    return out;
}

}  // namespace modelgen
