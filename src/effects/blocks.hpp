// The blocks effect: four wireframe boxes flying toward the viewer at random speeds.
#pragma once

#include <cstdint>

#include "core/points.hpp"

namespace lumo {

// length - 1 frames of 1920 samples; the speeds come from the thread's random generator.
PointList blocks(std::int32_t length);

}  // namespace lumo
