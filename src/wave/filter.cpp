#include "wave/filter.hpp"

#include <cstddef>

#include "core/clock.hpp"

namespace lumo {

namespace {

constexpr float kPi = 3.1415927f;

}  // namespace

void sweeping_lowpass(std::span<float> samples, float start_hz, float end_hz) {
    if (samples.empty()) return;
    const float n = static_cast<float>(samples.size());
    float y = samples[0];
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float f = start_hz + (end_hz - start_hz) * (static_cast<float>(i) / n);
        // At 0 Hz RC is infinite and alpha 0: the output holds its state.
        const float rc = 1.0f / ((f + f) * kPi);
        const float alpha = kSampleInterval / (rc + kSampleInterval);
        y = y + (samples[i] - y) * alpha;
        samples[i] = y;
    }
}

}  // namespace lumo
