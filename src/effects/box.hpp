// The wireframe box that the blocks and the closing figure draw.
#pragma once

#include <array>

#include "core/points.hpp"

namespace lumo {

// A box's corners as drawn: 0–3 the near face, 4–7 the far face, each upper left,
// upper right, lower right, lower left.
using BoxCorners = std::array<Point, 8>;

// Appends the box's 12 edges as lines of `step`: the near face (0-1, 1-2, 2-3, 3-0),
// the far face (4-5, 5-6, 6-7, 7-4), then the sides (0-4, 1-5, 2-6, 3-7), each drawn from
// its first corner to its second.
void draw_box(PointList& frame, const BoxCorners& corners, float step);

}  // namespace lumo
