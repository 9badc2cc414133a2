// The page's WebAssembly module: lumo's own preparation and playback code, driven by the
// page's Worker through a few C functions.  The Worker hands over the models, prepares the
// show and then asks for its sound stretch by stretch, exactly as lumo-render --wav mixes
// it (the same playback callback, the same buffers of kRenderBufferFrames).
//
// The figures are made one at a time, in the order the score first plays them, each only
// as the mix is about to need it: the sound starts once the opening's clip is made, not
// after the whole show.  A voice whose figure is not made yet is never active in a mixed
// buffer (the mix stops short of its first event), and an inactive voice does not move,
// so the samples are those of lumo-render.  Every figure draws from its own random engine,
// so the order they are made in changes none of them.
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

struct Module {
    std::optional<PreparedShow> show;  // until the mix takes its wavetables over
    std::optional<OfflineMix> mix;
    std::vector<RandomEngine> engines;
    std::optional<detail::ShowInputs> inputs;
    std::array<bool, kFigureCount> made{};
    std::vector<float> figure;         // the last figure asked for, x and y interleaved
    std::vector<std::int16_t> sound;   // the last stretch mixed
};

Module& module() {
    static Module instance;
    return instance;
}

bool is_made(Figure figure) { return module().made[static_cast<std::size_t>(figure)]; }

bool is_clip(Figure figure) {
    constexpr auto kClips = std::to_array<Figure>({Clip1, Clip2, Clip3, Clip4, Clip5, Clip6, Clip7, Clip8});
    return std::ranges::find(kClips, figure) != kClips.end();
}

// When the score first plays `figure`, or infinity if never.  The closing figure is made
// from the long hand, with it, so it counts as the long hand's.
float first_use(Figure figure) {
    float first = std::numeric_limits<float>::infinity();
    for (const ScoreEvent& event : events_playing(figure)) first = std::min(first, event.start);
    if (figure == RaisedHandLong) first = std::min(first, first_use(ClosingFigure));
    return first;
}

// The figure the mix needs next, or nothing when all are made.
std::optional<Figure> next_figure() {
    std::optional<Figure> next;
    float soonest = 0.0f;
    for (const FigureEntry& entry : kFigures) {
        if (entry.figure == ClosingFigure || is_made(entry.figure)) continue;
        const float first = first_use(entry.figure);
        if (!next || first < soonest) {
            next = entry.figure;
            soonest = first;
        }
    }
    return next;
}

// Gives `figure` its wavetables: in the prepared show, or once the mix has started, in the
// playback state.
void hand_over(Figure figure, ChannelPair made) {
    Module& m = module();
    if (m.mix) {
        Voice& voice = m.mix->state.voices[static_cast<std::size_t>(voice_of(figure))];
        voice.x.wave = std::move(made.x);
        voice.y.wave = std::move(made.y);
    } else if (m.show) {
        m.show->voice_figures[static_cast<std::size_t>(voice_of(figure) - 1)] = std::move(made);
    }
    m.made[static_cast<std::size_t>(figure)] = true;
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
// but for its figures (lumo_make_figure).  Returns 0, or 1 when the page has not handed
// over every model.
LUMO_EXPORT(lumo_prepare) int lumo_prepare(std::uint32_t seed_high, std::uint32_t seed_low) {
    using namespace lumo;
    if (!web::models_set()) return 1;
    auto& m = module();
    RandomEngine random((std::uint64_t{seed_high} << 32) | seed_low);
    m.mix.reset();
    m.made = {};
    m.engines = detail::figure_engines(random);
    m.inputs.reset();  // read with the first figure that is drawn from the models
    m.show = PreparedShow{};
    m.show->score = make_score();
    return 0;
}

// The figure the mix needs next (1 … 27, the order of --figures), or 0 when all are made.
LUMO_EXPORT(lumo_next_figure) int lumo_next_figure() {
    const std::optional<lumo::Figure> next = lumo::web::next_figure();
    return next ? lumo::figure_number(*next) : 0;
}

// Makes figure `number` (1 … 27; the closing figure comes with the long hand) unless it is
// made already.
LUMO_EXPORT(lumo_make_figure) void lumo_make_figure(int number) {
    using namespace lumo;
    using enum Figure;
    auto& m = module();
    const auto figure = static_cast<Figure>(checked_index(static_cast<std::size_t>(number) - 1, kFigureCount));
    if (figure == ClosingFigure || web::is_made(figure) || m.engines.empty()) return;
    // The clips come from their own generator: the sound starts without parsing a model.
    static const detail::ShowInputs no_inputs{};
    if (!web::is_clip(figure) && !m.inputs) m.inputs = detail::load_show_inputs(1);
    const detail::ShowInputs& inputs = m.inputs ? *m.inputs : no_inputs;
    RandomEngine& engine = m.engines[static_cast<std::size_t>(figure)];
    ChannelPair made = detail::make_figure(figure, inputs, engine);
    if (figure == RaisedHandLong) web::hand_over(ClosingFigure, detail::make_closing_figure(made, inputs));
    web::hand_over(figure, std::move(made));
}

// How many frames may be mixed from the start before a figure not yet made would sound:
// the start of the first buffer whose show time reaches that figure's first event.
LUMO_EXPORT(lumo_mix_limit) double lumo_mix_limit() {
    const std::optional<lumo::Figure> next = lumo::web::next_figure();
    const auto buffer = static_cast<std::uint64_t>(lumo::kRenderBufferFrames);
    const std::uint64_t end = static_cast<std::uint64_t>(lumo::kShowSeconds * lumo::kSampleRate) + buffer;
    if (!next) return std::numeric_limits<double>::infinity();
    const float first = lumo::web::first_use(*next);
    std::uint64_t frame = 0;
    while (frame < end && lumo::show_time_at_frame(frame) < first) frame += buffer;
    return static_cast<double>(frame);
}

// Figure `number` (1 … 27, the order of --figures) of the prepared show once it is made,
// before the mix starts: x and y interleaved; lumo_figure_frames says how many frames.
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
