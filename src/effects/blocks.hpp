// The blocks effect: four wireframe boxes flying toward the viewer at random speeds.
#pragma once

#include <cstdint>

#include "core/points.hpp"
#include "core/random.hpp"

namespace lumo {

// length - 1 frames of 1920 samples; each box's speed, at the start and at every
// restart, is drawn from `random` (block 0 to 3 in turn).
ChannelPair blocks(std::int32_t length, RandomEngine& random);

}  // namespace lumo
