// Building blocks of the skull and hand models: lofted grids, caps, zigzag chains, and
// the search that turns one source shape into two rigidly related placements.
#pragma once

#include <functional>
#include <vector>

#include "mesh.hpp"

namespace modelgen::skull_hand {

// A point of a lofted surface at (u across the columns, v across the rows), both in [0, 1].
using Surface = std::function<Vec3(double u, double v)>;

// Adds rows × cols vertices (row-major) and the two triangles of every cell.  When
// `closed`, the last column joins the first and u runs over [0, 1) only.  The texture
// coordinates are (u, v).  Returns the index of the first vertex.
int add_grid(Mesh& mesh, int rows, int cols, bool closed, const Surface& at);

// Vertex index of a grid added by add_grid.
inline int grid_vertex(int first, int cols, int row, int col) { return first + row * cols + col % cols; }

// Closes a row of a closed grid with a fan around one new vertex at `tip`.
void add_fan(Mesh& mesh, int first, int cols, int row, Vec3 tip, Vec2 uv, bool reversed);

// A zigzag chain along `path` (t in [0, 1]): `teeth` triangles standing on the path,
// alternately leaning to either side by `height` along `side(t)`; neighbours share a base
// corner, so the chain has 2 × teeth + 1 vertices.  Returns the base corners' indices.
std::vector<int> add_zigzag(Mesh& mesh, int teeth, const std::function<Vec3(double)>& path,
                            const std::function<Vec3(double)>& side, double height);

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
