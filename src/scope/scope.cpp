#include "scope/scope.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>

#include "core/convert.hpp"
#include "core/fatal.hpp"
#include "scope/detail.hpp"

namespace lumo {

namespace {

// Sample numbers stay this far inside int64 so that a frame and its filter context never
// overflow.
constexpr std::int64_t kFarthestSample = std::int64_t{1} << 60;

bool within(float value, float lo, float hi) { return value >= lo && value <= hi; }  // false for NaN

void require(const ScopeSettings& settings, const char* who) {
    const Status status = check_scope_settings(settings);
    if (!status.ok()) fatal(std::string(who) + ": " + status.error().message());
}

}  // namespace

Status check_scope_settings(const ScopeSettings& s) {
    if (s.size < 8 || s.size > 8192) return Error("the scope picture's size must be 8 to 8192 pixels");
    if (s.sample_rate < kScopeLowestRate || s.sample_rate > kScopeHighestRate) {
        return Error("the scope's sample rate must be 8000 to 768000 Hz");
    }
    if (s.fps < 1 || s.fps > s.sample_rate || s.sample_rate % s.fps != 0) {
        return Error(s.sample_rate == kScopeSampleRate
                         ? std::string("the scope's frame rate must divide 96000 (24, 25, 30, 50, 60 …)")
                         : "the scope's frame rate must divide the sample rate, " + std::to_string(s.sample_rate) +
                               " Hz");
    }
    if (!within(s.persistence, 0.0f, 60.0f)) return Error("the phosphor's persistence must be 0 to 60 seconds");
    if (!within(s.exposure, 1e-6f, 1e4f)) return Error("the scope's exposure must be 1e-6 to 1e4");
    if (!within(s.beam_sigma, 1e-6f, 0.1f)) return Error("the beam's width must be 1e-6 to 0.1 of the screen");
    if (!within(s.bloom, 0.0f, 100.0f)) return Error("the bloom must be 0 to 100");
    if (!within(s.bloom_sigma, 1e-4f, 0.5f)) return Error("the bloom's width must be 1e-4 to 0.5 of the screen");
    if (s.oversampling < 1 || s.oversampling > 64) return Error("the oversampling must be 1 to 64");
    if (s.threads < 0 || s.threads > 256) return Error("the scope's threads must be 0 to 256");
    return {};
}

ScopeScreen make_scope_screen(const ScopeSettings& settings) {
    require(settings, "make_scope_screen");
    const std::size_t width = static_cast<std::size_t>(settings.size);
    return {settings.size, std::vector<float>(width * width, 0.0f)};
}

std::int64_t scope_frame_samples(const ScopeSettings& settings) { return settings.sample_rate / settings.fps; }

void expose_scope_frame(ScopeScreen& screen, const StereoSamples& samples, std::int64_t end,
                        const ScopeSettings& settings) {
    require(settings, "expose_scope_frame");
    const int size = settings.size;
    const std::size_t width = static_cast<std::size_t>(size);
    if (screen.size != size || screen.glow.size() != width * width) fatal("expose_scope_frame: the screen is not this size");
    if (end < -kFarthestSample || end > kFarthestSample) fatal("expose_scope_frame: sample number out of range");

    const PointList path = scope_detail::beam_path(samples, end - scope_frame_samples(settings), end, settings);
    const float keep = scope_detail::frame_decay(settings);
    // Per pixel to per screen: the glow of a figure is the same at every picture size.
    const float pixels = static_cast<float>(size) * static_cast<float>(size);
    const float energy = (1.0f - keep) / static_cast<float>(path.size() - 1) * pixels;
    // A spot narrower than half a pixel would fall between pixel centres.
    const float sigma = std::max(kScopeNarrowestSpot, settings.beam_sigma * static_cast<float>(size));
    const int bands = scope_detail::band_count(settings);
    scope_detail::run_bands(bands, [&](int band) {
        scope_detail::draw_path(screen.glow, size, path, energy, sigma, keep, band, bands);
    });
}

int scope_lead_in_frames(const ScopeSettings& settings) {
    require(settings, "scope_lead_in_frames");
    const double keep = scope_detail::frame_decay(settings);
    // Ten seconds of frames at most: a persistence that long is a still picture anyway.
    const int most = 10 * settings.fps;
    int frames = 0;
    for (double left = 1.0; left > 1e-4 && frames < most; left *= keep) ++frames;
    return keep == 0.0 ? 0 : frames;
}

std::int64_t scope_sample_at(double seconds, int sample_rate) {
    const std::int64_t sample = saturating_cast<std::int64_t>(std::floor(seconds * sample_rate + 0.5));
    return std::clamp(sample, -kFarthestSample, kFarthestSample);
}

RgbImage render_scope_frame(const StereoSamples& samples, std::int64_t end, const ScopeSettings& settings) {
    ScopeScreen screen = make_scope_screen(settings);
    const std::int64_t frame = scope_frame_samples(settings);
    for (int k = scope_lead_in_frames(settings); k >= 0; --k) {
        expose_scope_frame(screen, samples, end - k * frame, settings);
    }
    return develop_scope_frame(screen, settings);
}

namespace scope_detail {

float frame_decay(const ScopeSettings& settings) {
    if (settings.persistence <= 0.0f) return 0.0f;
    return static_cast<float>(exp_series(-1.0 / (settings.fps * static_cast<double>(settings.persistence))));
}

int band_count(const ScopeSettings& settings) {
    if (settings.threads > 0) return settings.threads;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace scope_detail

}  // namespace lumo
