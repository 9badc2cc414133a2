#include "text_outline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/convert.hpp"
#include "exact_math.hpp"

namespace modelgen {

namespace {

[[noreturn]] void text_fail(const char* what) {
    std::fprintf(stderr, "lumo-modelgen: %s\n", what);
    std::exit(1);
}

TextPoint operator-(TextPoint a, TextPoint b) { return {a.x - b.x, a.y - b.y}; }
double cross2(TextPoint a, TextPoint b) { return a.x * b.y - a.y * b.x; }
double distance(TextPoint a, TextPoint b) { return exact_hypot(a.x - b.x, a.y - b.y); }
bool same(TextPoint a, TextPoint b) { return distance(a, b) < 1e-9; }

// Fine sampling of arcs before resampling: segments per radian.
constexpr double arc_density = 24;

}  // namespace

void TextPath::corner(double x, double y) {
    contour.points.push_back({x, y});
    contour.sharp.push_back(true);
}

void TextPath::smooth(double x, double y) {
    contour.points.push_back({x, y});
    contour.sharp.push_back(false);
}

void TextPath::arc(double cx, double cy, double rx, double ry, double a0, double a1) {
    const int steps = std::max(2, lumo::saturating_cast<int>(std::ceil(std::abs(a1 - a0) * arc_density)));
    for (int s = 0; s <= steps; ++s) {
        const double a = a0 + (a1 - a0) * s / steps;
        const TextPoint p{cx + rx * exact_cos(a), cy + ry * exact_sin(a)};
        if (s == 0 && !contour.points.empty() && same(contour.points.back(), p)) continue;
        smooth(p.x, p.y);
    }
}

TextContour text_stroke(const TextContour& centre, double width) {
    const std::vector<TextPoint>& c = centre.points;
    const std::size_t n = c.size();
    std::vector<TextPoint> left(n), right(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto unit = [](TextPoint d) {
            const double l = exact_hypot(d.x, d.y);
            return TextPoint{d.x / l, d.y / l};
        };
        const TextPoint in = unit(i > 0 ? c[i] - c[i - 1] : c[1] - c[0]);
        const TextPoint out = unit(i + 1 < n ? c[i + 1] - c[i] : c[i] - c[i - 1]);
        // The mitre: along the bisector of the two normals, long enough to keep the pen's
        // half width from both edges.
        TextPoint normal{-(in.y + out.y), in.x + out.x};
        const double l = exact_hypot(normal.x, normal.y);
        normal = {normal.x / l, normal.y / l};
        const double reach = width / 2 / (normal.x * -in.y + normal.y * in.x);
        left[i] = {c[i].x + normal.x * reach, c[i].y + normal.y * reach};
        right[i] = {c[i].x - normal.x * reach, c[i].y - normal.y * reach};
    }
    TextContour outline;
    for (std::size_t i = 0; i < n; ++i) {
        outline.points.push_back(left[i]);
        outline.sharp.push_back(i == 0 || i + 1 == n || centre.sharp[i]);
    }
    for (std::size_t i = n; i-- > 0;) {
        outline.points.push_back(right[i]);
        outline.sharp.push_back(i == 0 || i + 1 == n || centre.sharp[i]);
    }
    return outline;
}

double text_signed_area(const TextContour& contour) {
    double twice = 0;
    const std::size_t n = contour.points.size();
    for (std::size_t i = 0; i < n; ++i) twice += cross2(contour.points[i], contour.points[(i + 1) % n]);
    return twice / 2;
}

namespace {

void reverse(TextContour& contour) {
    std::reverse(contour.points.begin(), contour.points.end());
    std::vector<bool> sharp(contour.sharp.rbegin(), contour.sharp.rend());
    contour.sharp = sharp;
}

}  // namespace

void text_orient(TextPiece& piece) {
    if (text_signed_area(piece.outer) < 0) reverse(piece.outer);
    for (TextContour& hole : piece.holes)
        if (text_signed_area(hole) > 0) reverse(hole);
}

TextPiece text_translated(TextPiece piece, double dx, double dy) {
    for (TextPoint& p : piece.outer.points) p = {p.x + dx, p.y + dy};
    for (TextContour& hole : piece.holes)
        for (TextPoint& p : hole.points) p = {p.x + dx, p.y + dy};
    return piece;
}

namespace {

// A run: the contour's points from one sharp corner up to the next, both included.
struct Run {
    TextContour* contour;
    std::vector<TextPoint> points;
    double length = 0;
    int segments = 0;
};

std::vector<Run> runs_of(TextContour& contour) {
    const std::size_t n = contour.points.size();
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < n; ++i)
        if (contour.sharp[i]) starts.push_back(i);
    if (starts.empty()) starts.push_back(0);
    std::vector<Run> runs;
    for (std::size_t r = 0; r < starts.size(); ++r) {
        const std::size_t from = starts[r];
        const std::size_t to = r + 1 < starts.size() ? starts[r + 1] : starts[0] + n;
        Run run{&contour, {}, 0, 0};
        for (std::size_t i = from; i <= to; ++i) run.points.push_back(contour.points[i % n]);
        for (std::size_t i = 1; i < run.points.size(); ++i) run.length += distance(run.points[i - 1], run.points[i]);
        runs.push_back(run);
    }
    return runs;
}

TextPoint at_length(const std::vector<TextPoint>& points, double s) {
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double l = distance(points[i - 1], points[i]);
        if (s <= l || i + 1 == points.size()) {
            const double t = l > 0 ? std::min(1.0, s / l) : 0;
            return {points[i - 1].x + (points[i].x - points[i - 1].x) * t,
                    points[i - 1].y + (points[i].y - points[i - 1].y) * t};
        }
        s -= l;
    }
    return points.front();
}

}  // namespace

double text_length(const TextContour& contour) {
    TextContour copy = contour;
    double length = 0;
    for (const Run& run : runs_of(copy)) length += run.length;
    return length;
}

void text_resample(std::vector<TextPiece>& pieces, int points) {
    std::vector<TextContour*> contours;
    for (TextPiece& piece : pieces) {
        contours.push_back(&piece.outer);
        for (TextContour& hole : piece.holes) contours.push_back(&hole);
    }
    std::vector<Run> runs;
    double total = 0;
    for (TextContour* contour : contours) {
        for (Run& run : runs_of(*contour)) {
            total += run.length;
            runs.push_back(run);
        }
    }
    if (static_cast<int>(runs.size()) > points) text_fail("too few points for the outline's corners");
    // Largest remainders: every run gets its share of the points, rounded so that the
    // total is exact.
    int given = 0;
    for (Run& run : runs) {
        run.segments = std::max(1, lumo::saturating_cast<int>(std::floor(points * run.length / total)));
        given += run.segments;
    }
    auto excess = [&](const Run& run) { return points * run.length / total - run.segments; };
    while (given != points) {
        Run* pick = nullptr;
        for (Run& run : runs) {
            if (given < points ? (!pick || excess(run) > excess(*pick))
                               : run.segments > 1 && (!pick || excess(run) < excess(*pick)))
                pick = &run;
        }
        if (!pick) text_fail("cannot spread the outline's points");
        pick->segments += given < points ? 1 : -1;
        given += given < points ? 1 : -1;
    }
    for (TextContour* contour : contours) {
        const bool had_corners = std::find(contour->sharp.begin(), contour->sharp.end(), true) != contour->sharp.end();
        TextContour resampled;
        for (const Run& run : runs) {
            if (run.contour != contour) continue;
            for (int s = 0; s < run.segments; ++s) {
                resampled.points.push_back(at_length(run.points, run.length * s / run.segments));
                resampled.sharp.push_back(s == 0 && had_corners);
            }
        }
        *contour = resampled;
    }
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
    if (best < 0) text_fail("no bridge into a hole");
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
        if (best < 0) text_fail("no ear left to clip");
        const std::size_t k = static_cast<std::size_t>(best);
        triangles.push_back({order[(k + n - 1) % n], order[k], order[(k + 1) % n]});
        order.erase(order.begin() + best);
    }
    triangles.push_back({order[0], order[1], order[2]});
    return triangles;
}

}  // namespace modelgen
