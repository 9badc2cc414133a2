#include "audio/default_config.hpp"

#include <array>
#include <tuple>

namespace lumo::audio {

namespace {

constexpr std::array<std::uint32_t, 13> kCommonRates = {5512,  8000,  11025, 16000, 22050,  32000, 44100,
                                                        48000, 64000, 88200, 96000, 176400, 192000};

}  // namespace

std::vector<std::pair<std::uint32_t, std::uint32_t>> rate_ranges(
    std::uint32_t min, std::uint32_t max, const std::function<bool(std::uint32_t)>& accepts) {
    if (min == max || accepts(min + 1)) return {{min, max}};
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    for (const std::uint32_t rate : kCommonRates) {
        if (accepts(rate)) ranges.emplace_back(rate, rate);
    }
    if (ranges.empty()) ranges.emplace_back(min, max);
    return ranges;
}

std::optional<SupportedStreamConfig> pick_default_config(std::span<const SupportedConfigRange> entries) {
    if (entries.empty()) return std::nullopt;
    const auto holds_44100 = [](const SupportedConfigRange& e) { return e.min_rate <= 44100 && 44100 <= e.max_rate; };
    const auto preference = [&](const SupportedConfigRange& e) {
        return std::tuple(e.channels == 2, e.channels == 1, e.channels, e.sample_format == SampleFormat::F32,
                          e.sample_format == SampleFormat::I16, e.sample_format == SampleFormat::U16, holds_44100(e),
                          e.max_rate);
    };
    // ">=": among equals the later entry wins.
    const SupportedConfigRange* best = &entries.front();
    for (const SupportedConfigRange& entry : entries.subspan(1)) {
        if (preference(entry) >= preference(*best)) best = &entry;
    }
    return SupportedStreamConfig{best->channels, holds_44100(*best) ? 44100u : best->max_rate, best->buffer_size,
                                 best->sample_format};
}

}  // namespace lumo::audio
