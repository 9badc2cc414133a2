#include "app/render_scope.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <vector>

#include "app/render_picture.hpp"
#if LUMO_GPU
#include "scope/gl/gl_scope.hpp"
#include "screen/offscreen.hpp"
#endif

namespace lumo {

Status render_scope_frames(OfflineMix& mix, std::span<const std::int64_t> ends, const ScopeSettings& settings,
                           const std::function<Status(std::size_t index, const RgbImage& frame)>& take,
                           GlScope* gpu) {
    std::vector<std::size_t> order(ends.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return ends[a] < ends[b]; });
    // A frame reads its own samples, the lead-in frames whose glow still shows, and the
    // reconstruction filter's reach on either side.
    const std::int64_t reads_before =
        (scope_lead_in_frames(settings) + 1) * scope_frame_samples(settings) + kScopeFilterLobes;
    MixWindow window{{}, static_cast<std::int64_t>(mix.next_frame)};
    for (const std::size_t index : order) {
        const std::int64_t end = ends[index];
        mix_until(mix, window, end - reads_before, end + kScopeFilterLobes);
#if LUMO_GPU
        const RgbImage frame =
            gpu ? gpu->render_frame(window.samples(), end) : render_scope_frame(window.samples(), end, settings);
#else
        (void)gpu;  // a build without GL ES never makes one
        const RgbImage frame = render_scope_frame(window.samples(), end, settings);
#endif
        if (Status taken = take(index, frame); !taken) return taken;
    }
    return {};
}

std::string scope_frame_name(double seconds) {
    char name[48];
    std::snprintf(name, sizeof name, "scope-%.3f.png", seconds);
    return name;
}

Result<RgbImage> render_input_frame(WavStream& input, double seconds, const ScopeSettings& settings) {
    const std::int64_t end = scope_sample_at(seconds, settings.sample_rate);
    const std::int64_t reads_before =
        (scope_lead_in_frames(settings) + 1) * scope_frame_samples(settings) + kScopeFilterLobes;
    std::vector<float> window(static_cast<std::size_t>(reads_before + kScopeFilterLobes) * kChannels);
    if (Status read = input.read(end - reads_before, window); !read) return read.error();
    return render_scope_frame({window, end - reads_before}, end, settings);
}

Result<ScopeSettings> input_scope_settings(const WavStream& input, const RenderOptions& options, int size) {
    const ScopeSettings settings = scope_settings(options, input.sample_rate(), size);
    if (Status fits = check_scope_settings(settings); !fits) return Error(input.name() + ": " + fits.error().message());
    return settings;
}

Status write_input_scope_frames(WavStream& input, const RenderOptions& options) {
    const Result<ScopeSettings> settings = input_scope_settings(input, options, options.size);
    if (!settings) return settings.error();
    for (const double seconds : options.at) {
        const Result<RgbImage> frame = render_input_frame(input, seconds, settings.value());
        if (!frame) return frame.error();
        const std::string name = scope_frame_name(seconds);
        std::fprintf(stderr, "lumo-render: %s\n", name.c_str());
        if (Status written = write_picture(frame.value(), (std::filesystem::path(options.path) / name).string()); !written) {
            return written;
        }
    }
    return {};
}

Status write_scope_frames(PreparedShow show, const RenderOptions& options) {
    const ScopeSettings settings = scope_settings(options, kScopeSampleRate, options.size);
    std::vector<std::int64_t> ends;
    for (const double seconds : options.at) ends.push_back(scope_sample_at(seconds));
#if LUMO_GPU
    std::unique_ptr<OffscreenGl> context;
    std::unique_ptr<GlScope> gpu;
    if (options.gpu) {
        Result<std::unique_ptr<OffscreenGl>> made = OffscreenGl::make();
        if (!made.ok()) return made.error();
        context = std::move(made.value());
        Result<std::unique_ptr<GlScope>> scope = GlScope::make(settings);
        if (!scope.ok()) return scope.error();
        gpu = std::move(scope.value());
    }
    GlScope* drawer = gpu.get();
#else
    if (options.gpu) return Error("this lumo-render was built without GL ES, so --gpu is not available");
    GlScope* drawer = nullptr;
#endif
    OfflineMix mix = make_offline_mix(std::move(show));
    Status written = render_scope_frames(
        mix, ends, settings,
        [&](std::size_t index, const RgbImage& frame) {
            const std::string name = scope_frame_name(options.at[index]);
            std::fprintf(stderr, "lumo-render: %s\n", name.c_str());
            return write_picture(frame, (std::filesystem::path(options.path) / name).string());
        },
        drawer);
#if LUMO_GPU
    gpu.reset();  // while its context is still current
#endif
    return written;
}

}  // namespace lumo
