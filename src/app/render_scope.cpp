#include "app/render_scope.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <vector>

#include "app/render_picture.hpp"
#include "scope/gl/gl_scope.hpp"
#include "screen/offscreen.hpp"

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
        const RgbImage frame =
            gpu ? gpu->render_frame(window.samples(), end) : render_scope_frame(window.samples(), end, settings);
        if (Status taken = take(index, frame); !taken) return taken;
    }
    return {};
}

std::string scope_frame_name(double seconds) {
    char name[48];
    std::snprintf(name, sizeof name, "scope-%.3f.png", seconds);
    return name;
}

Status write_scope_frames(PreparedShow show, const RenderOptions& options) {
    const ScopeSettings settings{.size = options.size};
    std::vector<std::int64_t> ends;
    for (const double seconds : options.at) ends.push_back(scope_sample_at(seconds));
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
    OfflineMix mix = make_offline_mix(std::move(show));
    Status written = render_scope_frames(
        mix, ends, settings,
        [&](std::size_t index, const RgbImage& frame) {
            const std::string name = scope_frame_name(options.at[index]);
            std::fprintf(stderr, "lumo-render: %s\n", name.c_str());
            return write_picture(frame, (std::filesystem::path(options.path) / name).string());
        },
        gpu.get());
    gpu.reset();  // while its context is still current
    return written;
}

}  // namespace lumo
