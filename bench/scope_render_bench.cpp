// What a scope frame costs at 600 × 600 and 30 fps, for the kinds of signal the show plays:
// a dot figure (every sample a jump), a fast wireframe and a drum clip; and the wireframe as
// a 1080p60 video frame.  Items per second are frames per second; the show needs 30, the
// video several times that.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "scope/scope.hpp"

namespace lumo {
namespace {

constexpr int kSeconds = 2;
constexpr int kSlice = 1920;  // the show's 0.02 s slice
constexpr double kTwoPi = 6.283185307179586;

using Signal = std::vector<float>;

void push(Signal& s, double x, double y) {
    s.push_back(static_cast<float>(x));
    s.push_back(static_cast<float>(y));
}

// A turning sphere of 1920 dots, one sample each, in rings of 48 as a model's points come:
// the beam jumps a few pixels from dot to dot and far between rings.
Signal dot_figure() {
    Signal s;
    for (int n = 0; n < kSeconds * kScopeSampleRate; ++n) {
        const int dot = n % kSlice;
        const double turn = 0.02 * static_cast<double>(n / kSlice);
        const double z = 1.0 - 2.0 * (dot / 48 + 0.5) / (kSlice / 48);
        const double r = std::sqrt(1.0 - z * z);
        const double a = kTwoPi * (dot % 48) / 48.0 + turn;
        push(s, 0.7 * r * std::cos(a), 0.7 * (z * 0.9 + r * std::sin(a) * 0.3));
    }
    return s;
}

// A turning cube's twelve edges, each slice drawn once in 1920 samples.
Signal wireframe() {
    static const int edges[12][2] = {{0, 1}, {1, 3}, {3, 2}, {2, 0}, {4, 5}, {5, 7},
                                     {7, 6}, {6, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    Signal s;
    for (int n = 0; n < kSeconds * kScopeSampleRate; ++n) {
        const double turn = 0.05 * static_cast<double>(n / kSlice);
        const int edge = (n % kSlice) * 12 / kSlice;
        const double along = static_cast<double>((n % kSlice) * 12 % kSlice) / kSlice;
        double p[2][2];
        for (int end = 0; end < 2; ++end) {
            const int v = edges[edge][end];
            const double x = (v & 1 ? 0.5 : -0.5), y = (v & 2 ? 0.5 : -0.5), z = (v & 4 ? 0.5 : -0.5);
            const double xr = x * std::cos(turn) + z * std::sin(turn);
            const double zr = -x * std::sin(turn) + z * std::cos(turn);
            p[end][0] = xr;
            p[end][1] = y * std::cos(0.4) + zr * std::sin(0.4);
        }
        push(s, p[0][0] + (p[1][0] - p[0][0]) * along, p[0][1] + (p[1][1] - p[0][1]) * along);
    }
    return s;
}

// A kick and a snare-like noise burst every half second: large, fast, ragged motion.
Signal drum_clip() {
    Signal s;
    std::uint32_t state = 1;
    for (int n = 0; n < kSeconds * kScopeSampleRate; ++n) {
        const double t = static_cast<double>(n % (kScopeSampleRate / 2)) / kScopeSampleRate;
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
        const double kick = std::sin(kTwoPi * (50.0 * t + 40.0 * (1.0 - std::exp(-t * 30.0)))) * std::exp(-t * 8.0);
        const double snare = noise * std::exp(-std::fabs(t - 0.25) * 20.0);
        push(s, 0.8 * kick + 0.5 * snare, 0.8 * kick * 0.6 - 0.5 * snare);
    }
    return s;
}

// `video`: the frame as lumo-render --video makes it, 4:2:0 into one buffer for all frames.
void render(benchmark::State& state, const Signal& signal, ScopeSettings settings = {}, bool video = false) {
    settings.threads = static_cast<int>(state.range(0));
    const std::int64_t frame = scope_frame_samples(settings);
    const std::int64_t frames = kSeconds * kScopeSampleRate / frame;
    ScopeScreen screen = make_scope_screen(settings);
    std::vector<std::uint8_t> planes;
    std::int64_t k = 1;
    for (auto _ : state) {
        expose_scope_frame(screen, {signal, 0}, k * frame, settings);
        if (video) {
            develop_scope_video_frame(screen, settings, planes);
            benchmark::DoNotOptimize(planes.data());
        } else {
            RgbImage image = develop_scope_frame(screen, settings);
            benchmark::DoNotOptimize(image.rgb.data());
        }
        k = k % frames + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ScopeDotFigure(benchmark::State& state) { render(state, dot_figure()); }
void BM_ScopeWireframe(benchmark::State& state) { render(state, wireframe()); }
void BM_ScopeDrumClip(benchmark::State& state) { render(state, drum_clip()); }
// The video's frames at 1080 × 1080 and 60 fps: real time is 60 items per second, for the
// model alone (the encoder takes its share of the two cores besides).
void BM_ScopeVideo1080p60Wireframe(benchmark::State& state) {
    render(state, wireframe(), {.size = 1080, .fps = 60}, true);
}
// Argument: threads (0: one per core).
BENCHMARK(BM_ScopeDotFigure)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScopeWireframe)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScopeDrumClip)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScopeVideo1080p60Wireframe)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lumo
