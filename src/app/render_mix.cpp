#include "app/render_mix.hpp"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "core/clock.hpp"
#include "core/fatal.hpp"

namespace lumo {

namespace {

// Frames of the window before `frame` go; what is left still ends where the mix is.
void drop_before(MixWindow& window, std::int64_t frame) {
    const std::int64_t held = static_cast<std::int64_t>(window.interleaved.size() / kChannels);
    const std::int64_t drop = std::clamp<std::int64_t>(frame - window.first, 0, held);
    window.interleaved.erase(window.interleaved.begin(),
                             window.interleaved.begin() + static_cast<std::ptrdiff_t>(drop * kChannels));
    window.first += drop;
}

}  // namespace

OfflineMix make_offline_mix(PreparedShow show, std::uint32_t buffer_frames) {
    OfflineMix mix{make_playback_state(MonotonicInstant{0, 0}, std::move(show.voice_figures), show.score,
                                       static_cast<std::size_t>(buffer_frames) * kChannels),
                   buffer_frames, 0};
    return mix;
}

OfflineMix make_offline_mix_alone(const PreparedShow& show, Figure figure) {
    std::array<ChannelPair, kFigureCount> figures;
    figures[static_cast<std::size_t>(voice_of(figure) - 1)] = channels_of(show, figure);
    const std::vector<ScoreEvent> events = events_playing(figure);
    auto score = std::make_shared<const Score>(events.begin(), events.end());
    return {make_playback_state(MonotonicInstant{0, 0}, std::move(figures), std::move(score),
                                static_cast<std::size_t>(kRenderBufferFrames) * kChannels),
            kRenderBufferFrames, 0};
}

float show_time_at_frame(std::uint64_t frames) {
    const MonotonicInstant origin{0, 0};
    const MonotonicInstant now{static_cast<std::int64_t>(frames / kSampleRate),
                               static_cast<std::uint32_t>((frames % kSampleRate) * 1'000'000'000ull / kSampleRate)};
    return show_time(origin, now);
}

void mix_until(OfflineMix& mix, MixWindow& window, std::int64_t keep_from, std::int64_t end) {
    const auto reached = [&] {
        return window.first + static_cast<std::int64_t>(window.interleaved.size() / kChannels);
    };
    if (reached() != static_cast<std::int64_t>(mix.next_frame)) fatal("mix_until: the window is not this mix's");
    drop_before(window, keep_from);
    const std::size_t buffer = static_cast<std::size_t>(mix.buffer_frames) * kChannels;
    while (reached() < end) {
        const std::size_t at = window.interleaved.size();
        window.interleaved.resize(at + buffer);
        mix_next<float>(mix, std::span(window.interleaved).subspan(at));
        // Skipping ahead (a late --from, a first frame far into the show) keeps nothing.
        drop_before(window, keep_from);
    }
}

}  // namespace lumo
