#include "skull_hand_parts.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/convert.hpp"
#include "exact_math.hpp"

namespace modelgen::skull_hand {

Vec3 spline(const std::vector<Vec3>& points, double t) {
    const int segments = static_cast<int>(points.size()) - 1;
    const double s = std::clamp(t, 0.0, 1.0) * segments;
    const int i = std::min(lumo::saturating_cast<int>(s), segments - 1);
    const double f = s - i;
    auto at = [&](int k) { return points[std::clamp(k, 0, segments)]; };
    return catmull_rom(at(i - 1), at(i), at(i + 1), at(i + 2), f);
}

Vec2 place(Vec2 point, const Turn& turn, double angle) {
    const double a = point.u * turn.scale_a, b = point.v * turn.scale_b;
    const double c = exact_cos(angle), s = exact_sin(angle);
    return {a * c - b * s, a * s + b * c};
}

namespace {

Extent extent_at(const std::vector<Vec2>& footprint, const Turn& turn, double angle) {
    double lo_a = std::numeric_limits<double>::infinity(), hi_a = -lo_a, lo_b = lo_a, hi_b = -lo_a;
    for (const Vec2& p : footprint) {
        const Vec2 q = place(p, turn, angle);
        lo_a = std::min(lo_a, q.u), hi_a = std::max(hi_a, q.u);
        lo_b = std::min(lo_b, q.v), hi_b = std::max(hi_b, q.v);
    }
    return {hi_a - lo_a, hi_b - lo_b};
}

std::array<double, 4> residual(const std::vector<Vec2>& footprint, const std::array<double, 4>& p,
                               Extent before, Extent after) {
    const Turn turn{p[0], p[1], p[2], p[3]};
    const Extent e0 = extent_at(footprint, turn, turn.start);
    const Extent e1 = extent_at(footprint, turn, turn.start + turn.turn);
    return {e0.a - before.a, e0.b - before.b, e1.a - after.a, e1.b - after.b};
}

// Gaussian elimination with partial pivoting; false when singular.
bool solve4(std::array<std::array<double, 4>, 4> m, std::array<double, 4>& x) {
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r) {
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
        }
        if (std::fabs(m[pivot][c]) < 1e-14) return false;
        std::swap(m[c], m[pivot]);
        std::swap(x[c], x[pivot]);
        for (int r = c + 1; r < 4; ++r) {
            const double f = m[r][c] / m[c][c];
            for (int k = c; k < 4; ++k) m[r][k] -= f * m[c][k];
            x[r] -= f * x[c];
        }
    }
    for (int c = 3; c >= 0; --c) {
        for (int k = c + 1; k < 4; ++k) x[c] -= m[c][k] * x[k];
        x[c] /= m[c][c];
    }
    return true;
}

double norm(const std::array<double, 4>& r) { return std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]); }

}  // namespace

// Damped least squares (the fitted boxes often allow a whole family of placements, where
// plain Newton steps break down) from a grid of starting angles.  Of the placements that
// fit, the one scaled most evenly and nearest the preferred angles wins.
Turn solve_turn(const std::vector<Vec2>& points, Extent before, Extent after, double prefer_before,
                double prefer_after) {
    // The bounding box of a turned point set depends on its convex hull alone.
    const std::vector<Vec2> footprint = convex_hull(points);
    const Extent natural = extent_at(footprint, Turn{}, 0.0);
    const double guess = std::sqrt(before.a * before.b / (natural.a * natural.b));
    constexpr double pi = 3.14159265358979323846;
    Turn best;
    double best_score = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 24; ++i) {
        for (int j = 1; j < 24; ++j) {
            std::array<double, 4> p{guess, guess, i * pi / 12, -pi + j * pi / 12};
            std::array<double, 4> r = residual(footprint, p, before, after);
            double lambda = 1e-3;
            for (int step = 0; step < 200 && norm(r) > 1e-12; ++step) {
                std::array<std::array<double, 4>, 4> jacobian{};
                for (int k = 0; k < 4; ++k) {
                    std::array<double, 4> q = p;
                    const double h = 1e-7 * std::max(1.0, std::fabs(p[k]));
                    q[k] += h;
                    const std::array<double, 4> rq = residual(footprint, q, before, after);
                    for (int e = 0; e < 4; ++e) jacobian[e][k] = (rq[e] - r[e]) / h;
                }
                std::array<std::array<double, 4>, 4> normal{};
                std::array<double, 4> delta{};
                for (int a = 0; a < 4; ++a) {
                    for (int b = 0; b < 4; ++b) {
                        for (int e = 0; e < 4; ++e) normal[a][b] += jacobian[e][a] * jacobian[e][b];
                    }
                    for (int e = 0; e < 4; ++e) delta[a] -= jacobian[e][a] * r[e];
                }
                for (int a = 0; a < 4; ++a) normal[a][a] += lambda * (normal[a][a] + 1e-9);
                if (!solve4(normal, delta)) break;
                std::array<double, 4> next{};
                for (int k = 0; k < 4; ++k) next[k] = p[k] + delta[k];
                const std::array<double, 4> rn = residual(footprint, next, before, after);
                if (norm(rn) < norm(r)) {
                    p = next;
                    r = rn;
                    lambda = std::max(1e-12, lambda / 3);
                } else {
                    lambda *= 4;
                }
            }
            if (norm(r) > 1e-9 || p[0] <= 0 || p[1] <= 0) continue;
            const double score = std::fabs(exact_log(p[0] / p[1])) + 0.5 * (1 - exact_cos(p[2] - prefer_before)) +
                                 0.5 * (1 - exact_cos(p[2] + p[3] - prefer_after));
            if (score < best_score - 1e-9) {
                best_score = score;
                best = Turn{p[0], p[1], std::remainder(p[2], 2 * pi), std::remainder(p[3], 2 * pi)};
            }
        }
    }
    if (!std::isfinite(best_score)) fail("no turn fits the extents");
    return best;
}

}  // namespace modelgen::skull_hand
