#include "text_outline.hpp"

#include <algorithm>
#include <cmath>

#include "exact_math.hpp"

namespace modelgen {

double distance(TextPoint a, TextPoint b) { return exact_hypot(a.x - b.x, a.y - b.y); }

namespace {

TextPoint operator-(TextPoint a, TextPoint b) { return {a.x - b.x, a.y - b.y}; }
double cross2(TextPoint a, TextPoint b) { return a.x * b.y - a.y * b.x; }
bool same(TextPoint a, TextPoint b) { return distance(a, b) < 1e-9; }

double text_signed_area(const TextContour& contour) {
    double twice = 0;
    const std::size_t n = contour.points.size();
    for (std::size_t i = 0; i < n; ++i) twice += cross2(contour.points[i], contour.points[(i + 1) % n]);
    return twice / 2;
}

}  // namespace

void text_orient(TextPiece& piece) {
    auto reverse = [](TextContour& contour) { std::reverse(contour.points.begin(), contour.points.end()); };
    if (text_signed_area(piece.outer) < 0) reverse(piece.outer);
    for (TextContour& hole : piece.holes)
        if (text_signed_area(hole) > 0) reverse(hole);
}

namespace {

struct Ring {
    std::vector<TextPoint> at;  // positions by index
    std::vector<int> order;     // the polygon being clipped
};

bool segments_cross(TextPoint a, TextPoint b, TextPoint c, TextPoint d) {
    const double d1 = cross2(b - a, c - a), d2 = cross2(b - a, d - a);
    const double d3 = cross2(d - c, a - c), d4 = cross2(d - c, b - c);
    return ((d1 > 1e-12 && d2 < -1e-12) || (d1 < -1e-12 && d2 > 1e-12)) &&
           ((d3 > 1e-12 && d4 < -1e-12) || (d3 < -1e-12 && d4 > 1e-12));
}

bool inside_or_on(TextPoint p, TextPoint a, TextPoint b, TextPoint c) {
    return cross2(b - a, p - a) >= -1e-12 && cross2(c - b, p - b) >= -1e-12 && cross2(a - c, p - c) >= -1e-12;
}

double min_angle(TextPoint a, TextPoint b, TextPoint c) {
    auto angle = [](TextPoint p, TextPoint q, TextPoint r) {
        const TextPoint u = q - p, v = r - p;
        return exact_atan2(std::abs(cross2(u, v)), u.x * v.x + u.y * v.y);
    };
    return std::min({angle(a, b, c), angle(b, c, a), angle(c, a, b)});
}

// Joins a hole into the ring by a bridge from its rightmost point to the nearest ring
// point that sees it, walking the hole from there and back across the bridge.
void bridge(Ring& ring, const std::vector<int>& hole, const std::vector<std::vector<int>>& all_edges) {
    std::size_t m = 0;
    for (std::size_t i = 1; i < hole.size(); ++i)
        if (ring.at[hole[i]].x > ring.at[hole[m]].x) m = i;
    const TextPoint from = ring.at[hole[m]];
    int best = -1;
    double best_distance = 0;
    const std::size_t n = ring.order.size();
    for (std::size_t k = 0; k < n; ++k) {
        const TextPoint to = ring.at[ring.order[k]];
        const double d = distance(from, to);
        if (best >= 0 && d >= best_distance) continue;
        // The bridge must leave this ring point into the inside of the ring's corner.
        const TextPoint prev = ring.at[ring.order[(k + n - 1) % n]], next = ring.at[ring.order[(k + 1) % n]];
        const TextPoint dir = from - to;
        const bool convex = cross2(to - prev, next - to) > 0;
        const bool a = cross2(to - prev, dir) > 0, b = cross2(next - to, dir) > 0;
        if (convex ? !(a && b) : !(a || b)) continue;
        bool blocked = false;
        auto check = [&](TextPoint p, TextPoint q) {
            if (!blocked && segments_cross(from, to, p, q)) blocked = true;
        };
        for (std::size_t e = 0; e < n; ++e) check(ring.at[ring.order[e]], ring.at[ring.order[(e + 1) % n]]);
        for (const std::vector<int>& loop : all_edges)
            for (std::size_t e = 0; e < loop.size(); ++e) check(ring.at[loop[e]], ring.at[loop[(e + 1) % loop.size()]]);
        if (blocked) continue;
        best = static_cast<int>(k);
        best_distance = d;
    }
    if (best < 0) fail("no bridge into a hole");
    std::vector<int> joined(ring.order.begin(), ring.order.begin() + best + 1);
    for (std::size_t i = 0; i <= hole.size(); ++i) joined.push_back(hole[(m + i) % hole.size()]);
    joined.insert(joined.end(), ring.order.begin() + best, ring.order.end());
    ring.order = joined;
}

}  // namespace

std::vector<std::array<int, 3>> text_triangulate(const TextPiece& piece) {
    Ring ring;
    for (const TextPoint& p : piece.outer.points) {
        ring.order.push_back(static_cast<int>(ring.at.size()));
        ring.at.push_back(p);
    }
    std::vector<std::vector<int>> holes;
    for (const TextContour& hole : piece.holes) {
        holes.emplace_back();
        for (const TextPoint& p : hole.points) {
            holes.back().push_back(static_cast<int>(ring.at.size()));
            ring.at.push_back(p);
        }
    }
    std::vector<std::size_t> by_reach(holes.size());
    for (std::size_t i = 0; i < holes.size(); ++i) by_reach[i] = i;
    auto reach = [&](std::size_t h) {
        double x = -1e300;
        for (int i : holes[h]) x = std::max(x, ring.at[i].x);
        return x;
    };
    std::sort(by_reach.begin(), by_reach.end(), [&](std::size_t a, std::size_t b) { return reach(a) > reach(b); });
    for (std::size_t h : by_reach) bridge(ring, holes[h], holes);

    // Ear clipping, always taking the best-shaped ear so that the caps have no needless
    // slivers.
    std::vector<std::array<int, 3>> triangles;
    std::vector<int>& order = ring.order;
    while (order.size() > 3) {
        const std::size_t n = order.size();
        int best = -1;
        double best_angle = -1;
        for (std::size_t k = 0; k < n; ++k) {
            const int ia = order[(k + n - 1) % n], ib = order[k], ic = order[(k + 1) % n];
            const TextPoint a = ring.at[ia], b = ring.at[ib], c = ring.at[ic];
            if (cross2(b - a, c - b) <= 1e-12) continue;
            bool empty = true;
            for (std::size_t j = 0; j < n && empty; ++j) {
                const TextPoint p = ring.at[order[j]];
                if (same(p, a) || same(p, b) || same(p, c)) continue;
                if (inside_or_on(p, a, b, c)) empty = false;
            }
            if (!empty) continue;
            const double angle = min_angle(a, b, c);
            if (angle > best_angle) {
                best_angle = angle;
                best = static_cast<int>(k);
            }
        }
        if (best < 0) fail("no ear left to clip");
        const std::size_t k = static_cast<std::size_t>(best);
        triangles.push_back({order[(k + n - 1) % n], order[k], order[(k + 1) % n]});
        order.erase(order.begin() + best);
    }
    triangles.push_back({order[0], order[1], order[2]});
    return triangles;
}

}  // namespace modelgen
