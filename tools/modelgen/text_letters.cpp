// lumo's vector alphabet: straight letters as corner lists, round ones as pen strokes
// along arcs, rings as pairs of ellipses.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <numbers>

#include "exact_math.hpp"
#include "text_outline.hpp"

namespace modelgen {

namespace {

constexpr double pi = std::numbers::pi;

TextPiece corners(std::initializer_list<TextPoint> points) {
    TextPath path;
    for (TextPoint p : points) path.corner(p.x, p.y);
    return {path.contour, {}};
}

TextContour ellipse(double cx, double cy, double rx, double ry) {
    TextPath path;
    path.arc(cx, cy, rx, ry, 0, 2 * pi);
    path.contour.points.pop_back();  // the closing point repeats the first
    path.contour.sharp.pop_back();
    return path.contour;
}

TextPiece ring(double cx, double cy, double rx, double ry, double width) {
    return {ellipse(cx, cy, rx, ry), {ellipse(cx, cy, rx - width, ry - width)}};
}

TextPiece stroke(const TextPath& centre, double width) { return {text_stroke(centre.contour, width), {}}; }

constexpr double capital_pen = 2.0;
constexpr double lowercase_pen = 1.7;

// An S as two stacked elliptic arcs that meet at the middle, drawn with one pen.
TextPiece s_curve(double width, double height, double pen) {
    const double rx = (width - pen) / 2, ry = (height - pen) / 4;
    const double cx = width / 2, upper = height - pen / 2 - ry, lower = pen / 2 + ry;
    TextPath centre;
    centre.arc(cx, upper, rx, ry, 0.15 * pi, 1.5 * pi);
    centre.arc(cx, lower, rx, ry, 0.5 * pi, -0.85 * pi);
    return stroke(centre, pen);
}

TextPiece c_curve(double width, double height, double pen, double opening) {
    const double rx = (width - pen) / 2, ry = (height - pen) / 2;
    TextPath centre;
    centre.arc(width / 2, height / 2, rx, ry, opening, 2 * pi - opening);
    return stroke(centre, pen);
}

}  // namespace

TextLetter text_letter(char c) {
    switch (c) {
        case 'L': return {{corners({{0, 0}, {6, 0}, {6, 2}, {2, 2}, {2, 10}, {0, 10}})}, 6};
        case 'H':
            return {{corners({{0, 0}, {2, 0}, {2, 4}, {5, 4}, {5, 0}, {7, 0}, {7, 10}, {5, 10}, {5, 6}, {2, 6},
                              {2, 10}, {0, 10}})},
                    7};
        case 'M':
            return {{corners({{0, 0}, {2, 0}, {2, 5.5}, {4, 1}, {6, 5.5}, {6, 0}, {8, 0}, {8, 10}, {6, 10},
                              {4, 5.5}, {2, 10}, {0, 10}})},
                    8};
        case 'W':
            return {{corners({{0, 10}, {2, 10}, {2, 4.5}, {4, 9}, {6, 4.5}, {6, 10}, {8, 10}, {8, 0}, {6, 0},
                              {4, 4.5}, {2, 0}, {0, 0}})},
                    8};
        case 'U': {
            TextPath centre;
            centre.corner(1, 10);
            centre.arc(3.5, 3.5, 2.5, 2.5, pi, 2 * pi);
            centre.corner(6, 10);
            return {{stroke(centre, capital_pen)}, 7};
        }
        case 'O': return {{ring(3.5, 5, 3.5, 5, capital_pen)}, 7};
        case 'C': return {{c_curve(6.6, 10, capital_pen, 0.27 * pi)}, 6.4};
        case 'S': return {{s_curve(6.5, 10, capital_pen)}, 6.5};
        case 'o': return {{ring(3, 3.25, 3, 3.25, lowercase_pen)}, 6};
        case 'c': return {{c_curve(5.6, 6.5, lowercase_pen, 0.28 * pi)}, 5.4};
        case 's': return {{s_curve(4.6, 6.5, lowercase_pen)}, 4.6};
        case 'i':
            return {{corners({{0, 0}, {lowercase_pen, 0}, {lowercase_pen, 6.5}, {0, 6.5}}),
                     {ellipse(lowercase_pen / 2, 9.0, 0.95, 0.95), {}}},
                    lowercase_pen};
        case 'l': return {{corners({{0, 0}, {lowercase_pen, 0}, {lowercase_pen, 10}, {0, 10}})}, lowercase_pen};
        case 'a': {
            // A one-storey a: the o's bowl with a stem along its right side; the bowl's
            // hole just touches the stem's inner edge.
            const double r = 3.25, hole = r - lowercase_pen, stem = r + hole;
            const double rise = std::sqrt(r * r - hole * hole);
            const double turn = exact_atan2(rise, hole);
            TextPath outline;
            outline.corner(stem + lowercase_pen, 0);
            outline.corner(stem + lowercase_pen, 6.5);
            outline.corner(stem, 6.5);
            outline.corner(stem, r + rise);
            outline.arc(r, r, r, r, turn, 2 * pi - turn);
            outline.contour.sharp.back() = true;
            outline.corner(stem, 0);
            return {{{outline.contour, {ellipse(r, r, hole, hole)}}}, stem + lowercase_pen};
        }
        case 't':
            return {{corners({{0.8, 0}, {2.5, 0}, {2.5, 4.8}, {4, 4.8}, {4, 6.5}, {2.5, 6.5}, {2.5, 9}, {0.8, 9},
                              {0.8, 6.5}, {0, 6.5}, {0, 4.8}, {0.8, 4.8}})},
                    4};
        case 'r': {
            const double half = lowercase_pen / 2, radius = 2.5, centre_y = 6.5 - half - radius;
            TextPath centre;
            centre.corner(half, 0);
            centre.arc(half + radius, centre_y, radius, radius, pi, 0.4 * pi);
            return {{stroke(centre, lowercase_pen)}, 4.6};
        }
        default: std::fprintf(stderr, "lumo-modelgen: no letter '%c'\n", c); std::exit(1);
    }
}

}  // namespace modelgen
