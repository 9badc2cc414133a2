// Flat outlines: closed contours of points, and their triangulation (the logo's plates,
// the standing figures' sections).
#pragma once

#include <array>
#include <vector>

#include "mesh.hpp"

namespace modelgen {

struct TextPoint {
    double x = 0, y = 0;
};

// The same bits on every platform (see exact_math.hpp).
double distance(TextPoint a, TextPoint b);

// A closed contour.
struct TextContour {
    std::vector<TextPoint> points;
};

// One connected flat piece: an outline and the holes in it.
struct TextPiece {
    TextContour outer;
    std::vector<TextContour> holes;
};

// Counter-clockwise outlines, clockwise holes.
void text_orient(TextPiece& piece);

// Triangles of a piece's cap, as indices into the piece's points taken outer first, then
// each hole in order.  The triangles turn counter-clockwise.  A piece of n points and h
// holes always gives n + 2h - 2 triangles.
std::vector<std::array<int, 3>> text_triangulate(const TextPiece& piece);

}  // namespace modelgen
