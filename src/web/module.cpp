// The page's WebAssembly module: lumo's own preparation and playback code, driven by the
// page's Worker through a few C functions.  The Worker hands over the models, prepares the
// show and then asks for its sound buffer by buffer, exactly as lumo-render --wav mixes it
// (the same playback callback, the same buffers of kRenderBufferFrames).
//
// A broken contract stops the module as it stops lumo: the message goes to stderr and
// proc_exit ends the call, which the Worker reports on the page.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/render_mix.hpp"
#include "app/render_options.hpp"
#include "core/random.hpp"
#include "show/catalogue.hpp"
#include "show/prepare.hpp"
#include "web/assets.hpp"

#define LUMO_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace lumo::web {
namespace {

struct Module {
    std::optional<PreparedShow> show;  // until the mix takes its wavetables over
    std::optional<OfflineMix> mix;
    std::vector<float> figure;         // the last figure asked for, x and y interleaved
    std::vector<std::int16_t> sound;   // the last stretch mixed
};

Module& module() {
    static Module instance;
    return instance;
}

}  // namespace
}  // namespace lumo::web

using lumo::web::module;

// Room for `bytes` the page fills (a model's text); lumo_set_model takes it back.
LUMO_EXPORT(lumo_alloc) void* lumo_alloc(std::size_t bytes) { return std::malloc(bytes); }

LUMO_EXPORT(lumo_set_model) void lumo_set_model(int number, char* text, std::size_t bytes) {
    lumo::web::set_model(number, std::string(text, bytes));
    std::free(text);
}

LUMO_EXPORT(lumo_buffer_frames) std::uint32_t lumo_buffer_frames() { return lumo::kRenderBufferFrames; }
LUMO_EXPORT(lumo_sample_rate) std::uint32_t lumo_sample_rate() { return lumo::kSampleRate; }
LUMO_EXPORT(lumo_show_seconds) double lumo_show_seconds() { return lumo::kShowSeconds; }

// Prepares the show seeded with the 64-bit number high:low, as lumo-render --seed does.
// Returns 0, or 1 when the page has not handed over every model.
LUMO_EXPORT(lumo_prepare) int lumo_prepare(std::uint32_t seed_high, std::uint32_t seed_low) {
    if (!lumo::web::models_set()) return 1;
    lumo::RandomEngine random((std::uint64_t{seed_high} << 32) | seed_low);
    module().mix.reset();
    module().show = lumo::prepare_show(random);
    return 0;
}

// Figure `number` (1 … 27, the order of --figures) of the prepared show, before the mix
// starts: x and y interleaved; lumo_figure_frames says how many frames.
LUMO_EXPORT(lumo_figure) const float* lumo_figure(int number) {
    std::vector<float>& out = module().figure;
    out.clear();
    if (!module().show || number < 1 || number > static_cast<int>(lumo::kFigureCount)) return nullptr;
    const lumo::ChannelPair& pair = lumo::channels_of(*module().show, static_cast<lumo::Figure>(number - 1));
    out.reserve(pair.x.size() * 2);
    for (std::size_t i = 0; i < pair.x.size() && i < pair.y.size(); ++i) {
        out.push_back(pair.x[i]);
        out.push_back(pair.y[i]);
    }
    return out.data();
}

LUMO_EXPORT(lumo_figure_frames) std::size_t lumo_figure_frames() { return module().figure.size() / 2; }

// Mixes the next `frames` frames (a whole number of buffers, but for the show's last
// stretch) as 16-bit samples, x and y interleaved, and returns where they are; the first
// call hands the prepared show's wavetables to the playback state.  Null before
// lumo_prepare.
LUMO_EXPORT(lumo_mix) const std::int16_t* lumo_mix(std::uint32_t frames) {
    if (!module().mix) {
        if (!module().show) return nullptr;
        module().mix = lumo::make_offline_mix(std::move(*module().show));
        module().show.reset();
        module().figure = {};
    }
    std::vector<std::int16_t>& sound = module().sound;
    sound.clear();
    sound.reserve(static_cast<std::size_t>(frames) * lumo::kChannels);
    (void)lumo::mix_frames<std::int16_t>(*module().mix, frames, [&](std::span<const std::int16_t> out) {
        sound.insert(sound.end(), out.begin(), out.end());
        return lumo::Status{};
    });
    return sound.data();
}
