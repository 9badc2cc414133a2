// What lumo-render --video costs before the encoder: the show's own frames at 600 × 600 and
// 30 fps (mixing, exposing, developing), in four scenes.  Items per second are frames per
// second: 30 is real time.  The whole video, ffmpeg included, is measured with
// /usr/bin/time on lumo-render itself.
#include <benchmark/benchmark.h>

#include "app/render_mix.hpp"
#include "core/random.hpp"
#include "scope/scope.hpp"

namespace lumo {
namespace {

const PreparedShow& show() {
    static const PreparedShow prepared = [] {
        RandomEngine random(1);
        return prepare_show(random);
    }();
    return prepared;
}

// Consecutive frames from `seconds` on, as --video makes them.
void video_frames(benchmark::State& state, double seconds) {
    OfflineMix mix = make_offline_mix(show());
    const ScopeSettings settings;
    const std::int64_t frame = scope_frame_samples(settings);
    ScopeScreen screen = make_scope_screen(settings);
    MixWindow window;
    std::int64_t end = scope_sample_at(seconds);
    for (auto _ : state) {
        mix_until(mix, window, end - frame - kScopeFilterLobes, end + kScopeFilterLobes);
        expose_scope_frame(screen, window.samples(), end, settings);
        RgbImage image = develop_scope_frame(screen, settings);
        benchmark::DoNotOptimize(image.rgb.data());
        end += frame;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_VideoTitle(benchmark::State& state) { video_frames(state, 21.0); }
void BM_VideoBlocksAndClip(benchmark::State& state) { video_frames(state, 27.0); }
void BM_VideoMelodyAndClip(benchmark::State& state) { video_frames(state, 75.0); }
void BM_VideoClosing(benchmark::State& state) { video_frames(state, 125.0); }
// At most 90 frames (3 s) each, so that every scene stays in its part of the show.
BENCHMARK(BM_VideoTitle)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(90);
BENCHMARK(BM_VideoBlocksAndClip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(90);
BENCHMARK(BM_VideoMelodyAndClip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(90);
BENCHMARK(BM_VideoClosing)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(90);

}  // namespace
}  // namespace lumo
