// The linear gains that end several effects: a zoom, a shrink, a fade.
#pragma once

#include <cstddef>

#include "core/points.hpp"

namespace lumo {

// Multiplies point j of the n points from `begin` to the end of `figure` (j counted from
// 0 at `begin`) by start + slope * (j / n), each operation rounded to a 32-bit float in
// that order: the first point gets exactly `start`, the last falls one n-th short of
// start + slope.
void apply_linear_gain(ChannelPair& figure, std::size_t begin, float start, float slope);

}  // namespace lumo
