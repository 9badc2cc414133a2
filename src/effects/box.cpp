#include "effects/box.hpp"

#include <cstddef>
#include <utility>

#include "draw/draw.hpp"

namespace lumo {

namespace {

constexpr std::array<std::pair<std::size_t, std::size_t>, 12> kBoxEdges{{
    {0, 1}, {1, 2}, {2, 3}, {3, 0},  // near face
    {4, 5}, {5, 6}, {6, 7}, {7, 4},  // far face
    {0, 4}, {1, 5}, {2, 6}, {3, 7},  // sides
}};

}  // namespace

void draw_box(PointList& frame, const BoxCorners& corners, float step) {
    for (const auto& [from, to] : kBoxEdges) {
        const Point& a = corners[from];
        const Point& b = corners[to];
        append_line(frame, a.x, a.y, b.x, b.y, step);
    }
}

}  // namespace lumo
