#include "wave/filter.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/clock.hpp"
#include "core/points.hpp"

namespace lumo {

namespace {

constexpr float kPi = 3.1415927f;

// The coefficients depend on the position alone, so a block of them is worked out
// ahead of the recurrence: that part vectorises, the recurrence cannot.
constexpr std::size_t kCoefficientBlock = 256;

}  // namespace

void sweeping_lowpass(std::span<float> samples, float start_hz, float end_hz) {
    if (samples.empty()) return;
    const float n = static_cast<float>(samples.size());
    const float sweep = end_hz - start_hz;
    float y = samples[0];
    std::array<float, kCoefficientBlock> alpha;
    for (std::size_t begin = 0; begin < samples.size(); begin += kCoefficientBlock) {
        const std::size_t count = std::min(kCoefficientBlock, samples.size() - begin);
        // Positions in 32 bits, which vectorise better; a figure is far shorter than 2^31.
        const auto first = static_cast<std::int32_t>(begin);
        for_each_index(static_cast<std::int32_t>(count), [&](std::int32_t i) {
            const float f = start_hz + sweep * (static_cast<float>(first + i) / n);
            // At 0 Hz RC is infinite and alpha 0: the output holds its state.
            const float rc = 1.0f / ((f + f) * kPi);
            alpha[static_cast<std::size_t>(i)] = kSampleInterval / (rc + kSampleInterval);
        });
        for (std::size_t i = 0; i < count; ++i) {
            y = y + (samples[begin + i] - y) * alpha[i];
            samples[begin + i] = y;
        }
    }
}

}  // namespace lumo
