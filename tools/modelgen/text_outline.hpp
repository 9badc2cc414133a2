// Flat outlines for the logo: closed contours of corners, and their triangulation.
#pragma once

#include <array>
#include <vector>

#include "mesh.hpp"

namespace modelgen {

struct TextPoint {
    double x = 0, y = 0;
};

// A closed contour; `sharp` marks its corners.
struct TextContour {
    std::vector<TextPoint> points;
    std::vector<bool> sharp;
};

// One connected flat piece: an outline and the holes in it.
struct TextPiece {
    TextContour outer;
    std::vector<TextContour> holes;
};

// Builds a contour corner by corner.
struct TextPath {
    TextContour contour;
    void corner(double x, double y);
};

double text_signed_area(const TextContour& contour);
// Counter-clockwise outlines, clockwise holes.
void text_orient(TextPiece& piece);

// Triangles of a piece's cap, as indices into the piece's points taken outer first, then
// each hole in order.  The triangles turn counter-clockwise.  A piece of n points and h
// holes always gives n + 2h - 2 triangles.
std::vector<std::array<int, 3>> text_triangulate(const TextPiece& piece);

}  // namespace modelgen
