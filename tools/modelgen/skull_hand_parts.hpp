// Building blocks of the skull and hand models: curves, and the search that turns one
// source shape into two rigidly related placements.
#pragma once

#include <vector>

#include "mesh.hpp"

namespace modelgen::skull_hand {

// Samples a Catmull-Rom spline through `points` (ends repeated) at t in [0, 1].
Vec3 spline(const std::vector<Vec3>& points, double t);

// How a flat footprint (coordinates a, b) is scaled and turned so that its bounding box
// is `before` (a-size, b-size) and, turned on by `turn` radians, `after`.  Angles turn
// a towards b; the preferred angles say how the source should face in either placement.
struct Turn {
    double scale_a = 1, scale_b = 1;
    double start = 0;  // radians, applied after the scaling
    double turn = 0;
};
struct Extent {
    double a = 0, b = 0;
};
Turn solve_turn(const std::vector<Vec2>& footprint, Extent before, Extent after, double prefer_before,
                double prefer_after);

// The footprint point (a, b) scaled and turned by `angle`.
Vec2 place(Vec2 point, const Turn& turn, double angle);

// The two source shapes, each in its own frame (y up, facing +z).
Mesh skull();
Mesh hand();

}  // namespace modelgen::skull_hand
