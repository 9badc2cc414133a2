#include "audio/underruns.hpp"

#include <algorithm>
#include <cstdint>

namespace lumo::audio {

std::int64_t silent_ns(std::int64_t then_ns, std::int64_t queued_frames, std::int64_t now_ns,
                       std::uint32_t sample_rate) {
    if (sample_rate == 0) return 0;
    // Clamped so that the product stays inside 64 bits whatever the device reports.
    const std::int64_t frames = std::clamp<std::int64_t>(queued_frames, 0, INT64_MAX / 1'000'000'000);
    const std::int64_t queued_ns = frames * 1'000'000'000 / sample_rate;
    return std::max<std::int64_t>(now_ns - then_ns - queued_ns, 0);
}

void add_underrun(UnderrunTally& tally, std::int64_t silence_ns) {
    tally.count.fetch_add(1, std::memory_order_relaxed);
    std::int64_t longest = tally.longest_ns.load(std::memory_order_relaxed);
    while (silence_ns > longest &&
           !tally.longest_ns.compare_exchange_weak(longest, silence_ns, std::memory_order_relaxed)) {
    }
}

UnderrunCount read_underruns(const UnderrunTally& tally) {
    return {tally.count.load(std::memory_order_relaxed), tally.longest_ns.load(std::memory_order_relaxed)};
}

std::string underrun_summary(UnderrunCount underruns) {
    const std::int64_t longest_ms = (std::max<std::int64_t>(underruns.longest_ns, 0) + 999'999) / 1'000'000;
    return std::to_string(underruns.count) + (underruns.count == 1 ? " underrun" : " underruns") + ", longest " +
           std::to_string(longest_ms) + " ms";
}

}  // namespace lumo::audio
