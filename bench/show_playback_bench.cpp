// What one device buffer costs the audio thread: one period (2400 frames) of the show.
#include <benchmark/benchmark.h>

#include <vector>

#include "show/playback.hpp"

namespace lumo {
namespace {

constexpr std::size_t kPeriodSamples = 2400 * 2;

PlaybackState state_with(Score score) {
    std::array<ChannelPair, kVoiceCount - 1> figures;
    for (ChannelPair& figure : figures) {
        figure.x.assign(289786, 0.25f);
        figure.y.assign(289786, -0.25f);
    }
    return make_playback_state({0, 0}, std::move(figures), std::make_shared<const Score>(std::move(score)),
                               kPeriodSamples);
}

template <class T> void BM_ShowPeriod(benchmark::State& bench) {
    // At 119.95 s two figure voices sound, the most the show ever mixes at once.
    PlaybackState state = state_with(*make_score());
    std::vector<T> out(kPeriodSamples);
    for (auto _ : bench) {
        render_buffer<T>(state, std::span<T>(out), 119.95f);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ShowPeriod<float>);
BENCHMARK(BM_ShowPeriod<std::int16_t>);
BENCHMARK(BM_ShowPeriod<std::uint64_t>);

// The synth voice as a harmonic sum: 55 sines per tick at 440 Hz, never in the show.
void BM_SquarePeriod(benchmark::State& bench) {
    PlaybackState state = state_with({{0.0f, 1.0f, 1}});
    std::vector<float> out(kPeriodSamples);
    for (auto _ : bench) {
        render_buffer<float>(state, std::span<float>(out), 0.5f);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SquarePeriod);

}  // namespace
}  // namespace lumo
