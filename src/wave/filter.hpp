// The one-pole low-pass with a cutoff that sweeps linearly across the signal.
#pragma once

#include <span>

namespace lumo {

// Filters `samples` in place at 96000 Hz, the cutoff moving from `start_hz` at the first
// sample toward `end_hz` at the last.  The state starts at the first sample; an empty
// span is left as it is.
void sweeping_lowpass(std::span<float> samples, float start_hz, float end_hz);

}  // namespace lumo
