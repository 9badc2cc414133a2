// The eight loops: what each one plays, and the statistics it is tuned to.
#pragma once

#include "shape.hpp"

namespace clipgen {

struct Clip {
    Samples left, right;
    double brightness;  // the level the bright layer was tuned to
    double angle;       // radians between the channels' mixes of the two renderings
};

// Renders and tunes clip `number` (1 … 8).
Clip make_clip(int number);

// The statistics clip `number` is tuned to.
Stats target_stats(int number);

}  // namespace clipgen
