#include "effects/gain.hpp"

#include <cstdint>

namespace lumo {

namespace {

// Both channels in one pass, each gain worked out once for the two samples it scales.
// The lists are apart (__restrict), so the compiler makes vector operations of the
// loop; inlined, it would lose sight of that.
[[gnu::noinline]] void apply(float* __restrict xs, float* __restrict ys, std::int32_t count, float start,
                             float slope) {
    const float n = static_cast<float>(count);
    for_each_index(count, [=](std::int32_t i) {
        const float gain = start + slope * (static_cast<float>(i) / n);
        xs[i] = xs[i] * gain;
        ys[i] = ys[i] * gain;
    });
}

}  // namespace

void apply_linear_gain(ChannelPair& figure, std::size_t begin, float start, float slope) {
    if (begin >= figure.size()) return;
    // Counted in 32 bits, which vectorise better; a figure is far shorter than 2^31 points.
    const auto count = static_cast<std::int32_t>(figure.size() - begin);
    apply(figure.x.data() + begin, figure.y.data() + begin, count, start, slope);
}

}  // namespace lumo
