#include <cmath>
#include <limits>

#include "core/convert.hpp"
#include "scope/detail.hpp"

namespace lumo::scope_detail {

double exp_series(double x) {
    if (x != x) return x;
    if (x < -745.0) return 0.0;
    if (x > 709.0) return std::numeric_limits<double>::infinity();
    // e^x = 2^k · e^r with |r| ≤ ln 2 / 2, where the series converges in a few terms.
    constexpr double kLn2 = 0.6931471805599453;
    const double k = std::floor(x / kLn2 + 0.5);
    const double r = x - k * kLn2;
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 24; ++n) {
        term = term * r / n;
        sum = sum + term;
    }
    return std::ldexp(sum, saturating_cast<int>(k));
}

double sin_series(double x) {
    if (x != x) return x;
    constexpr double kTwoPi = 6.283185307179586;
    const double r = x - std::floor(x / kTwoPi + 0.5) * kTwoPi;
    double term = r;
    double sum = r;
    for (int n = 1; n <= 20; ++n) {
        term = -term * r * r / ((2 * n) * (2 * n + 1));
        sum = sum + term;
    }
    return sum;
}

double bessel_i0_series(double x) {
    // I₀(x) = Σ ((x/2)^k / k!)²: positive terms, quick to converge for the window's x.
    const double half = x * 0.5;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 200 && term > sum * 1e-18; ++k) {
        term = term * (half / k) * (half / k);
        sum = sum + term;
    }
    return sum;
}

}  // namespace lumo::scope_detail
