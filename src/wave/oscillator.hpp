// The wavetable oscillator that every voice is made of, and the per-buffer mixing step.
//
// Runs on the audio thread: `tick` and `process_frame_mix` never allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/clock.hpp"
#include "core/points.hpp"

namespace lumo {

enum class Waveform : std::uint8_t {
    Sine = 0,
    Square = 1,
    Saw = 2,
    OddInverseSquare = 3,
    Table = 4,
    Custom = 5,
};

struct Oscillator;
using Generator = float (*)(Oscillator&);

struct Oscillator {
    Wavetable wave;
    float sample_rate = kSampleRateFloat;
    std::uint32_t index = 0;
    float frequency = 440.0f;
    Generator generator = nullptr;
    Waveform waveform = Waveform::Table;
};

// The next value; the position advances before the lookup (except for Custom).
float tick(Oscillator& oscillator);

// Adds one step of x into channel 0 and one of y into channel 1 of every frame of
// `buffer` (interleaved, `channels` samples per frame).
void process_frame_mix(std::span<float> buffer, Oscillator& x, Oscillator& y, std::size_t channels);

}  // namespace lumo
