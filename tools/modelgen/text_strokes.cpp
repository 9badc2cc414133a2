#include "text_strokes.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>

#include "core/convert.hpp"
#include "exact_math.hpp"

namespace modelgen {

namespace {

constexpr double pi = std::numbers::pi;

// Fine sampling of the curves before the even spacing: segments per radian.
constexpr double curve_density = 64;

// A pen path under construction.
struct Pen {
    TextStroke stroke;

    Pen& to(double x, double y) {
        stroke.line.push_back({x, y});
        return *this;
    }
    // Elliptic arc about (cx, cy) from angle a0 to a1 (radians, either direction); the
    // start is left out when it repeats the last point.
    Pen& arc(double cx, double cy, double rx, double ry, double a0, double a1) {
        const int steps = std::max(2, lumo::saturating_cast<int>(std::ceil(std::abs(a1 - a0) * curve_density)));
        for (int s = 0; s <= steps; ++s) {
            const double a = a0 + (a1 - a0) * s / steps;
            const TextPoint p{cx + rx * exact_cos(a), cy + ry * exact_sin(a)};
            if (s == 0 && !stroke.line.empty() && distance(stroke.line.back(), p) < 1e-9) continue;
            stroke.line.push_back(p);
        }
        return *this;
    }
};

TextStroke polyline(std::initializer_list<TextPoint> points) {
    Pen pen;
    for (TextPoint p : points) pen.to(p.x, p.y);
    return pen.stroke;
}

// A closed ellipse, from its top round to the left.
TextStroke ellipse(double cx, double cy, double rx, double ry) {
    Pen pen;
    pen.arc(cx, cy, rx, ry, 0.5 * pi, 2.5 * pi);
    pen.stroke.line.pop_back();  // the closing point repeats the first
    pen.stroke.closed = true;
    return pen.stroke;
}

// An open arc of an ellipse round its left side, leaving `opening` (radians) either side of
// the right: a C.
TextStroke c_arc(double cx, double cy, double rx, double ry, double opening) {
    Pen pen;
    pen.arc(cx, cy, rx, ry, opening, 2 * pi - opening);
    return pen.stroke;
}

// An S: two stacked elliptic bowls that meet at mid-height, the top one round to the
// left, the bottom one round to the right.
TextStroke s_curve(double width, double height) {
    const double rx = width / 2, ry = height / 4;
    Pen pen;
    pen.arc(rx, height - ry, rx, ry, 0.12 * pi, 1.5 * pi);
    pen.arc(rx, ry, rx, ry, 0.5 * pi, -0.88 * pi);
    return pen.stroke;
}

}  // namespace

StrokeLetter stroke_letter(char c) {
    switch (c) {
        case 'L': return {{polyline({{0, 10}, {0, 0}, {3.6, 0}})}, 3.6};
        case 'U': {
            Pen pen;
            pen.to(0, 10).to(0, 2.2).arc(2.2, 2.2, 2.2, 2.2, pi, 2 * pi).to(4.4, 10);
            return {{pen.stroke}, 4.4};
        }
        case 'M': return {{polyline({{0, 0}, {0, 10}, {2.7, 3.0}, {5.4, 10}, {5.4, 0}})}, 5.4};
        case 'O': return {{ellipse(2.4, 5, 2.4, 5)}, 4.8};
        case 'S': return {{s_curve(4.4, 10)}, 4.4};
        case 'H':
            return {{polyline({{0, 10}, {0, 0}}), polyline({{0, 5}, {4.4, 5}}), polyline({{4.4, 10}, {4.4, 0}})}, 4.4};
        case 'W': return {{polyline({{0, 10}, {1.6, 0}, {3.2, 7.0}, {4.8, 0}, {6.4, 10}})}, 6.4};
        case 'C': return {{c_arc(2.4, 5, 2.4, 5, 0.22 * pi)}, 4.6};
        case 'o': return {{ellipse(2.3, 3.25, 2.3, 3.25)}, 4.6};
        case 's': return {{s_curve(3.7, 6.5)}, 3.7};
        case 'c': return {{c_arc(2.2, 3.25, 2.2, 3.25, 0.24 * pi)}, 4.1};
        case 'i': return {{ellipse(0, 8.7, 0.55, 0.55), polyline({{0, 6.5}, {0, 0}})}, 0};
        case 'l': return {{polyline({{0, 10}, {0, 0}})}, 0};
        case 'a': {
            // One storey: a bowl whose right side runs along the stem.
            Pen bowl;
            bowl.arc(2.15, 3.25, 2.15, 3.25, 0, 2 * pi);
            bowl.stroke.line.pop_back();
            bowl.stroke.closed = true;
            return {{bowl.stroke, polyline({{4.3, 6.5}, {4.3, 0}})}, 4.3};
        }
        case 't': {
            Pen stem;
            stem.to(1.1, 9.2).to(1.1, 1.1).arc(2.2, 1.1, 1.1, 1.1, pi, 1.8 * pi);
            return {{stem.stroke, polyline({{0, 6.5}, {3.0, 6.5}})}, 3.0};
        }
        case 'r': {
            Pen arch;
            arch.arc(2.4, 3.9, 2.4, 2.6, pi, 0.3 * pi);
            return {{polyline({{0, 6.5}, {0, 0}}), arch.stroke}, 3.1};
        }
        default: fail(std::string("no letter '") + c + "'");
    }
}

namespace {

// The stroke turned so that it starts where it is nearest to `pen` (either end of an open
// stroke, any point of a closed one); `gap` is how far that is.
TextStroke entered_from(TextStroke stroke, TextPoint pen, double& gap) {
    std::vector<TextPoint>& line = stroke.line;
    if (stroke.closed) {
        std::size_t nearest = 0;
        for (std::size_t i = 1; i < line.size(); ++i)
            if (distance(line[i], pen) < distance(line[nearest], pen) - 1e-9) nearest = i;
        std::rotate(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(nearest), line.end());
    } else if (distance(line.back(), pen) < distance(line.front(), pen) - 1e-9) {
        std::reverse(line.begin(), line.end());
    }
    gap = distance(line.front(), pen);
    return stroke;
}

// The letter's strokes in the order, and each the way round, that makes the beam's
// jumps shortest: from `pen` into the letter, between its strokes, and (for the word's
// last letter) back to `home`, where the next frame starts.
std::vector<TextStroke> pen_order(std::vector<TextStroke> strokes, TextPoint pen, const TextPoint* home) {
    std::vector<std::size_t> order(strokes.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::vector<TextStroke> best;
    double best_cost = 0;
    do {
        // Every open stroke either way round: bit k of `turns` reverses the k-th.
        for (unsigned turns = 0; turns < (1u << order.size()); ++turns) {
            std::vector<TextStroke> tried;
            TextPoint at = pen;
            double cost = 0;
            for (std::size_t k = 0; k < order.size(); ++k) {
                TextStroke stroke = strokes[order[k]];
                double g = 0;
                if (stroke.closed) {
                    stroke = entered_from(stroke, at, g);
                } else {
                    if ((turns >> k) & 1u) std::reverse(stroke.line.begin(), stroke.line.end());
                    g = distance(stroke.line.front(), at);
                }
                cost += g;
                at = stroke.closed ? stroke.line.front() : stroke.line.back();
                tried.push_back(stroke);
            }
            if (home) cost += distance(at, *home);
            if (best.empty() || cost < best_cost - 1e-9) best = tried, best_cost = cost;
        }
    } while (std::next_permutation(order.begin(), order.end()));
    return best;
}

}  // namespace

std::vector<TextStroke> stroke_word(const std::string& word, double gap, TextPoint start) {
    std::vector<TextStroke> strokes;
    TextPoint pen = start;
    double x = 0;
    for (std::size_t l = 0; l < word.size(); ++l) {
        const StrokeLetter letter = stroke_letter(word[l]);
        std::vector<TextStroke> placed = letter.strokes;
        for (TextStroke& stroke : placed)
            for (TextPoint& p : stroke.line) p.x += x;
        for (const TextStroke& stroke : pen_order(placed, pen, l + 1 == word.size() ? &start : nullptr)) {
            strokes.push_back(stroke);
            pen = stroke.closed ? stroke.line.front() : stroke.line.back();
        }
        x += letter.width + gap;
    }
    return strokes;
}

namespace {

// The points of the stroke's path, a closed one ending where it began.
std::vector<TextPoint> path_of(const TextStroke& stroke) {
    std::vector<TextPoint> path = stroke.line;
    if (stroke.closed) path.push_back(path.front());
    return path;
}

}  // namespace

double stroke_length(const TextStroke& stroke) {
    const std::vector<TextPoint> path = path_of(stroke);
    double length = 0;
    for (std::size_t i = 1; i < path.size(); ++i)
        length += distance(path[i], path[i - 1]);
    return length;
}

std::vector<TextPoint> stroke_points(const TextStroke& stroke, int count) {
    const std::vector<TextPoint> path = path_of(stroke);
    const double length = stroke_length(stroke);
    const int intervals = stroke.closed ? count : count - 1;
    std::vector<TextPoint> points;
    std::size_t segment = 1;
    double walked = 0;  // path length before `segment`
    for (int k = 0; k < count; ++k) {
        const double at = intervals > 0 ? length * k / intervals : 0;
        while (segment + 1 < path.size() && walked + distance(path[segment], path[segment - 1]) < at) {
            walked += distance(path[segment], path[segment - 1]);
            ++segment;
        }
        const TextPoint a = path[segment - 1], b = path[segment];
        const double l = distance(b, a);
        const double t = l > 0 ? std::clamp((at - walked) / l, 0.0, 1.0) : 0.0;
        points.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
    }
    return points;
}

}  // namespace modelgen
