#include "effects/gain.hpp"

#include <cstdint>

namespace lumo {

namespace {

// One channel at a time: a loop that reads and writes one list only is one the compiler
// can vectorise without proving that two lists do not overlap.
void apply(float* values, std::int32_t count, float start, float slope) {
    const float n = static_cast<float>(count);
    for_each_index(count, [=](std::int32_t i) {
        values[i] = values[i] * (start + slope * (static_cast<float>(i) / n));
    });
}

}  // namespace

void apply_linear_gain(ChannelPair& figure, std::size_t begin, float start, float slope) {
    if (begin >= figure.size()) return;
    // Counted in 32 bits, which vectorise better; a figure is far shorter than 2^31 points.
    const auto count = static_cast<std::int32_t>(figure.size() - begin);
    apply(figure.x.data() + begin, count, start, slope);
    apply(figure.y.data() + begin, count, start, slope);
}

}  // namespace lumo
