// Flat letter outlines for the title texts and the logo: closed contours built from lines,
// arcs and strokes, resampled evenly, and triangulated into caps.
//
// The titles are seen on the scope as dots at triangle corners, so every contour is
// resampled at an even spacing: the corners then trace the letters' edges, not just
// their turns.
#pragma once

#include <array>
#include <vector>

#include "mesh.hpp"

namespace modelgen {

struct TextPoint {
    double x = 0, y = 0;
};

// A closed contour; `sharp` marks the corners that resampling keeps exactly and that
// split the side wall's normals.
struct TextContour {
    std::vector<TextPoint> points;
    std::vector<bool> sharp;
};

// One connected flat piece: an outline and the holes in it.
struct TextPiece {
    TextContour outer;
    std::vector<TextContour> holes;
};

using TextGlyph = std::vector<TextPiece>;

// Builds a contour (or a stroke's centre line) point by point; arcs are sampled finely and
// resampled later.
struct TextPath {
    TextContour contour;
    void corner(double x, double y);  // a sharp point
    void smooth(double x, double y);
    // Elliptic arc about (cx, cy) from angle a0 to a1 (radians, either direction); the
    // start point is skipped when it repeats the last point.
    void arc(double cx, double cy, double rx, double ry, double a0, double a1);
};

// The outline of an open centre line drawn with a pen `width` wide and square ends: the
// left side forward, the right side back.  Joins are mitred.
TextContour text_stroke(const TextContour& centre, double width);

double text_signed_area(const TextContour& contour);
// Counter-clockwise outlines, clockwise holes.
void text_orient(TextPiece& piece);

TextPiece text_translated(TextPiece piece, double dx, double dy);

// Total length of the contour's runs from sharp corner to sharp corner (the whole
// contour is one run when it has no sharp corner).
double text_length(const TextContour& contour);

// Resamples every contour of `pieces` with exactly `points` points in all, spread over
// the runs in proportion to their lengths (each run at least one segment); sharp corners
// stay where they are.
void text_resample(std::vector<TextPiece>& pieces, int points);

// Triangles of a piece's cap, as indices into the piece's points taken outer first, then
// each hole in order.  The triangles turn counter-clockwise.  A piece of n points and h
// holes always gives n + 2h - 2 triangles.
std::vector<std::array<int, 3>> text_triangulate(const TextPiece& piece);

// A letter of lumo's own vector alphabet: its pieces in letter units (baseline at y = 0,
// capitals and ascenders 10 high, lowercase 6.5) and its advance width.
struct TextLetter {
    TextGlyph pieces;
    double width = 0;
};

// Capitals L U M O S H W C and lowercase o s c i l a t r: the letters the titles use.
TextLetter text_letter(char c);

}  // namespace modelgen
