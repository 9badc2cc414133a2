// What one picture of lumo's view costs at 1920 × 1080 (the scope 1080 × 1080, centred),
// drawn by the GL ES scope offscreen: with Mesa's software renderer here, the CPU time;
// everywhere, the draw calls, vertices and pixels each picture takes, from which a GPU's
// frame time can be estimated.  A picture at 60 Hz adds 1600 samples of the show, at
// three moments of it: a drum clip (3 s), the title (20.25 s) and a wireframe model (60 s).
#include <benchmark/benchmark.h>

#include <GLES2/gl2.h>

#include <algorithm>
#include <vector>

#include "app/render_mix.hpp"
#include "core/random.hpp"
#include "scope/gl/gl_scope.hpp"
#include "screen/offscreen.hpp"

namespace lumo {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr std::int64_t kPictureSamples = kScopeSampleRate / 60;

// The show's first 61 seconds, as the callback mixes them.
const std::vector<float>& show_samples() {
    static const std::vector<float> samples = [] {
        RandomEngine random(1);
        OfflineMix mix = make_offline_mix(prepare_show(random));
        std::vector<float> out;
        const Status mixed = mix_frames<float>(mix, 61ull * kScopeSampleRate, [&](std::span<const float> buffer) {
            out.insert(out.end(), buffer.begin(), buffer.end());
            return Status{};
        });
        if (!mixed.ok()) out.clear();
        return out;
    }();
    return samples;
}

void BM_ViewPicture1080(benchmark::State& state) {
    Result<std::unique_ptr<OffscreenGl>> context = OffscreenGl::make();
    if (!context.ok()) return state.SkipWithError(context.error().message().c_str());
    ScopeSettings settings;
    settings.size = kHeight;
    Result<std::unique_ptr<GlScope>> made = GlScope::make(settings);
    if (!made.ok()) return state.SkipWithError(made.error().message().c_str());
    GlScope& scope = *made.value();
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);

    const StereoSamples samples{show_samples(), 0};
    const std::int64_t start = static_cast<std::int64_t>(state.range(0)) * kScopeSampleRate / 100;
    std::int64_t end = start;
    double quads = 0, beam_pixels = 0;
    long pictures = 0;
    for (auto _ : state) {
        if (end - start > kScopeSampleRate) end = start;  // a second at most, then again
        scope.expose_span(samples, end - kPictureSamples, end);
        quads += static_cast<double>(scope.quads_drawn());
        beam_pixels += scope.beam_pixels();
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glViewport(0, 0, kWidth, kHeight);
        glClear(GL_COLOR_BUFFER_BIT);
        scope.develop((kWidth - kHeight) / 2, 0, kHeight);
        glFinish();
        end += kPictureSamples;
        ++pictures;
    }
    const double n = static_cast<double>(std::max(1L, pictures));
    // decay, beam, halo, two blurs, develop (and the clear); a full-screen pass is one
    // triangle, the beam six vertices a segment.
    const int factor = std::clamp(static_cast<int>(settings.bloom_sigma * kHeight * 0.5f), 1, 16);
    const double halo = static_cast<double>((kHeight + factor - 1) / factor);
    const double square = static_cast<double>(kHeight) * kHeight;
    state.counters["draw_calls"] = 6;
    state.counters["quads"] = quads / n;
    state.counters["vertices"] = 5 * 3 + 6 * quads / n;
    state.counters["beam_px"] = beam_pixels / n;
    // decay + halo (one per block, each reading factor² glow texels) + blurs + develop + clear
    state.counters["pass_px"] = square + halo * halo + 2 * halo * halo + square + kWidth * kHeight;
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    made.value().reset();
}
// Hundredths of a second into the show.
BENCHMARK(BM_ViewPicture1080)->Arg(300)->Arg(2025)->Arg(6000)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumo
