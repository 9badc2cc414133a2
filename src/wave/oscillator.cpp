#include "wave/oscillator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/convert.hpp"
#include "core/fatal.hpp"

namespace lumo {

namespace {

// The float nearest to 2 pi; every phase is computed with this exact value.
constexpr float kTwoPi = 6.2831855f;

constexpr std::string_view kRemainderByZero = "attempt to calculate the remainder with a divisor of zero";

// The next position of a computed waveform: the counter runs over one second of samples.
std::uint32_t advance_period(Oscillator& oscillator) {
    const std::uint32_t period = saturating_cast<std::uint32_t>(oscillator.sample_rate);
    if (period == 0) fatal(kRemainderByZero);
    oscillator.index = (oscillator.index + 1u) % period;
    return oscillator.index;
}

float sine(Oscillator& oscillator) {
    const float n = static_cast<float>(advance_period(oscillator));
    return std::sin(((oscillator.frequency * n) * kTwoPi) / oscillator.sample_rate);
}

// A sum of harmonics up to Nyquist; `step` 2 keeps the odd ones, `inverse_square` weights
// harmonic k by 1/k² instead of 1/k.
float harmonic_sum(Oscillator& oscillator, std::uint32_t step, bool inverse_square) {
    const float n = static_cast<float>(advance_period(oscillator));
    const float frequency = oscillator.frequency;
    const float nyquist = oscillator.sample_rate * 0.5f;
    if (frequency > nyquist) return 0.0f;
    // The loop ends when a harmonic passes Nyquist.  A frequency that is not positive, or
    // an infinite Nyquist, would never get there and hang the audio thread: no harmonic
    // of such a tone is played.
    if (!(frequency > 0.0f) || !std::isfinite(nyquist)) return 0.0f;
    float sum = 0.0f;
    std::uint32_t k = 1;
    while (true) {
        const float kf = static_cast<float>(k);
        const float h = frequency * kf;
        const float c = inverse_square ? 1.0f / (kf * kf) : 1.0f / kf;
        const float term = c * std::sin(((h * n) * kTwoPi) / oscillator.sample_rate);
        sum = sum + term;
        if (k > std::numeric_limits<std::uint32_t>::max() - step) break;  // a tone far below 1 Hz
        k += step;
        if (frequency * static_cast<float>(k) > nyquist) break;
    }
    return sum;
}

float table(Oscillator& oscillator) {
    const std::size_t length = oscillator.wave.size();
    if (length == 0) fatal(kRemainderByZero);
    const std::size_t n = (static_cast<std::size_t>(oscillator.index) + 1) % length;
    oscillator.index = static_cast<std::uint32_t>(n);
    return oscillator.wave[n];
}

}  // namespace

float tick(Oscillator& oscillator) {
    switch (oscillator.waveform) {
        case Waveform::Sine: return sine(oscillator);
        case Waveform::Square: return harmonic_sum(oscillator, 2, false);
        case Waveform::Saw: return harmonic_sum(oscillator, 1, false);
        case Waveform::OddInverseSquare: return harmonic_sum(oscillator, 2, true);
        case Waveform::Table: return table(oscillator);
        case Waveform::Custom: return oscillator.generator ? oscillator.generator(oscillator) : 0.0f;
    }
    fatal("oscillator has an invalid waveform");
}

void process_frame_mix(std::span<float> buffer, Oscillator& x, Oscillator& y, std::size_t channels) {
    if (channels == 0) fatal("chunk size must be non-zero");
    for (std::size_t first = 0; first < buffer.size(); first += channels) {
        const std::size_t frame_length = std::min(channels, buffer.size() - first);
        const float a = tick(x);
        const float b = tick(y);
        buffer[first] = a + buffer[first];
        if (channels >= 2) {
            // The layer hands over whole frames; a cut-off frame is a broken contract.
            if (frame_length < 2) fatal_index_out_of_bounds(frame_length, 1);
            buffer[first + 1] = b + buffer[first + 1];
        }
    }
}

}  // namespace lumo
