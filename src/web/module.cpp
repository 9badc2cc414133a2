// The page's WebAssembly module: lumo's own preparation and playback code, driven by the
// page's Worker through a few C functions.  The Worker hands over the models, prepares the
// show and then asks for its sound stretch by stretch, exactly as lumo-render --wav mixes
// it (the same playback callback, the same buffers of kRenderBufferFrames).
//
// The clips are made last, one at a time in the order the score first plays them, each
// only as the mix is about to need it: making one costs more than everything else the show
// prepares, so the sound starts after the first clip, not all eight.  A voice whose clip is
// not made yet is never active in a mixed buffer (the mix stops short of its first event),
// and an inactive voice does not move, so the samples are those of lumo-render.
//
// A broken contract stops the module as it stops lumo: the message goes to stderr and
// proc_exit ends the call, which the Worker reports on the page.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/render_mix.hpp"
#include "app/render_options.hpp"
#include "core/fatal.hpp"
#include "core/random.hpp"
#include "show/catalogue.hpp"
#include "show/prepare.hpp"
#include "show/score.hpp"
#include "web/assets.hpp"

#define LUMO_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace lumo::web {
namespace {

using enum Figure;

constexpr auto kClips = std::to_array<Figure>({Clip1, Clip2, Clip3, Clip4, Clip5, Clip6, Clip7, Clip8});

struct Module {
    std::optional<PreparedShow> show;  // until the mix takes its wavetables over
    std::optional<OfflineMix> mix;
    std::vector<RandomEngine> engines;
    std::optional<detail::ShowInputs> inputs;
    std::array<bool, kClips.size()> clips_made{};
    std::vector<float> figure;         // the last figure asked for, x and y interleaved
    std::vector<std::int16_t> sound;   // the last stretch mixed
};

Module& module() {
    static Module instance;
    return instance;
}

bool is_clip(Figure figure) { return std::ranges::find(kClips, figure) != kClips.end(); }

ChannelPair& slot_of(PreparedShow& show, Figure figure) {
    return show.voice_figures[static_cast<std::size_t>(voice_of(figure) - 1)];
}

// When the score first plays clip `index`, or infinity if never.
float first_use(std::size_t index) {
    float first = std::numeric_limits<float>::infinity();
    for (const ScoreEvent& event : events_playing(kClips[index])) first = std::min(first, event.start);
    return first;
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

// Prepares the show seeded with the 64-bit number high:low, as lumo-render --seed does,
// but for the clips (lumo_make_clip).  Returns 0, or 1 when the page has not handed over
// every model.
LUMO_EXPORT(lumo_prepare) int lumo_prepare(std::uint32_t seed_high, std::uint32_t seed_low) {
    using namespace lumo;
    if (!web::models_set()) return 1;
    auto& m = module();
    RandomEngine random((std::uint64_t{seed_high} << 32) | seed_low);
    m.mix.reset();
    m.clips_made = {};
    m.engines = detail::figure_engines(random);
    m.inputs = detail::load_show_inputs(1);
    PreparedShow show;
    for (const FigureEntry& entry : kFigures) {
        const Figure figure = entry.figure;
        RandomEngine& engine = m.engines[static_cast<std::size_t>(figure)];
        if (web::is_clip(figure) || figure == Figure::ClosingFigure) continue;
        web::slot_of(show, figure) = detail::make_figure(figure, *m.inputs, engine);
        if (figure == Figure::RaisedHandLong) {
            web::slot_of(show, Figure::ClosingFigure) =
                detail::make_closing_figure(web::slot_of(show, figure), *m.inputs);
        }
    }
    show.score = make_score();
    m.show = std::move(show);
    return 0;
}

// The clip the mix needs next (1 … 8), or 0 when all are made.
LUMO_EXPORT(lumo_next_clip) int lumo_next_clip() {
    int next = 0;
    float soonest = 0.0f;
    for (std::size_t i = 0; i < lumo::web::kClips.size(); ++i) {
        if (module().clips_made[i]) continue;
        const float first = lumo::web::first_use(i);
        if (next == 0 || first < soonest) {
            next = static_cast<int>(i) + 1;
            soonest = first;
        }
    }
    return next;
}

// Makes clip `number` (1 … 8) and gives it to its voice, in the prepared show or, once
// the mix has started, in the playback state.
LUMO_EXPORT(lumo_make_clip) void lumo_make_clip(int number) {
    using namespace lumo;
    auto& m = module();
    const std::size_t index = checked_index(static_cast<std::size_t>(number) - 1, web::kClips.size());
    const Figure figure = web::kClips[index];
    if (m.clips_made[index] || !m.inputs) return;
    ChannelPair made = detail::make_figure(figure, *m.inputs, m.engines[static_cast<std::size_t>(figure)]);
    if (m.mix) {
        Voice& voice = m.mix->state.voices[static_cast<std::size_t>(voice_of(figure))];
        voice.x.wave = std::move(made.x);
        voice.y.wave = std::move(made.y);
    } else if (m.show) {
        web::slot_of(*m.show, figure) = std::move(made);
    }
    m.clips_made[index] = true;
}

// How many frames may be mixed from the start before a clip not yet made would sound: the
// start of the first buffer whose show time reaches that clip's first event.
LUMO_EXPORT(lumo_mix_limit) double lumo_mix_limit() {
    const int next = lumo_next_clip();
    const auto buffer = static_cast<std::uint64_t>(lumo::kRenderBufferFrames);
    const std::uint64_t end = static_cast<std::uint64_t>(lumo::kShowSeconds * lumo::kSampleRate) + buffer;
    if (next == 0) return std::numeric_limits<double>::infinity();
    const float first = lumo::web::first_use(static_cast<std::size_t>(next) - 1);
    std::uint64_t frame = 0;
    while (frame < end && lumo::show_time_at_frame(frame) < first) frame += buffer;
    return static_cast<double>(frame);
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
