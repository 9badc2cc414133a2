// The show's clock: the one sample rate, slice length and channel count that the
// figures are drawn for and the stream plays at.
//
// The effects never read the device's configuration: a figure is a fixed number of
// samples at this rate, so the rate is a constant of the show, not a setting.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumo {

// Frames per second of every figure and of the output stream.
inline constexpr std::uint32_t kSampleRate = 96000;
inline constexpr float kSampleRateFloat = 96000.0f;

// The nearest float to 1 / kSampleRate, as the filters step with it.
inline constexpr float kSampleInterval = 1.0416667e-5f;

// One animation frame of an effect becomes one slice: 0.02 s, 1920 samples.
inline constexpr float kSliceSeconds = 0.02f;
inline constexpr std::size_t kSliceSamples = 1920;

// Interleaved output: x (left) then y (right).
inline constexpr std::size_t kChannels = 2;

static_assert(kSampleRateFloat == static_cast<float>(kSampleRate));
static_assert(kSampleInterval == 1.0f / kSampleRateFloat);
static_assert(kSliceSeconds * kSampleRateFloat == static_cast<float>(kSliceSamples));

}  // namespace lumo
