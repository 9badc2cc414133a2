// How a device's default output configuration is chosen from what it offers, whatever the
// backend: the rate ranges a device reports and the one entry it prefers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "audio/audio.hpp"

namespace lumo::audio {

// One entry of a device's supported configurations: a channel count over a rate range.
struct SupportedConfigRange {
    std::uint16_t channels;
    std::uint32_t min_rate;
    std::uint32_t max_rate;
    std::optional<BufferSizeRange> buffer_size;
    SampleFormat sample_format;
};

// The rate ranges a device offers, given its limits and a test of single rates: one range
// when the limits are equal or min + 1 is accepted, else one per accepted common rate,
// else the limits.
std::vector<std::pair<std::uint32_t, std::uint32_t>> rate_ranges(
    std::uint32_t min, std::uint32_t max, const std::function<bool(std::uint32_t)>& accepts);

// The entry a device prefers (stereo, then mono, then more channels; F32, then I16, then
// U16; a range holding 44100; a higher max rate; the last of equals), at 44100 Hz when its
// range holds that rate, else at its max rate.  Null for an empty list.
std::optional<SupportedStreamConfig> pick_default_config(std::span<const SupportedConfigRange> entries);

}  // namespace lumo::audio
