#include "show/prepare.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#if !defined(__wasi__)
#include <thread>
#endif
#include <utility>

#include "core/clock.hpp"
#include "core/fatal.hpp"
#include "core/threads.hpp"
#include "effects/blocks.hpp"
#include "effects/notes.hpp"
#include "effects/objects.hpp"
#include "wave/wav.hpp"

namespace lumo {

namespace {

using enum Figure;

// Radians per frame, written as the exact 32-bit values the show was composed with.
constexpr float kThirdDegree = 0.0058177644f;
constexpr float kFifthDegree = 0.0034906587f;
constexpr float kHalfDegree = 0.008726646f;
constexpr float kTwoDegrees = 0.034906585f;
constexpr float kFourAndAHalfDegrees = 0.07853982f;

constexpr std::optional<Lowpass> kNoLowpass = std::nullopt;
constexpr std::optional<Lowpass> kOpeningLowpass = Lowpass{0.0f, 6000.0f};

// One object figure of the show: obj's arguments by name, what most figures share as the
// defaults.  `face_every` matters to the dot modes only; the outline and triangle modes
// draw every face.
struct ObjectFigure {
    std::int32_t length;  // of the animation: 72 is 149 frames (about 3 s)
    int model;            // 1 … 11, as the assets number them
    ObjMode mode;
    float rot_y = 0.0f;  // radians a frame about each axis
    float rot_z = 0.0f;
    float rot_x = 0.0f;
    float step = 1.0f;  // between the drawn points of a line
    float scale_start;  // the gain at the first sample, and at the last
    float scale_end;
    std::optional<Lowpass> lowpass = kNoLowpass;
    unsigned repeat = 2;  // every object figure holds each drawn point for two samples
    std::int32_t face_every = 0;
};
using enum ObjMode;

// The order in which the workers take the figures up: the costliest first (as
// prepare_once --by-figure counts them), so that the workers finish close together; the
// clips early all the same, as the memory their decoded points leave behind is taken up
// again by the figures after them.  The closing figure starts from the end of the long
// hand, so one job makes both, the long hand first.
constexpr auto kJobs = std::to_array<Figure>({
    DetailedFigureOutline,
    ClosingFigure,
    Clip1,
    Clip2,
    Clip3,
    Clip4,
    Clip5,
    Clip6,
    Clip7,
    Clip8,
    TurnedHandWireframe,
    LowDetailFigureOutline,
    DetailedPointsFiltered,
    LowDetailPointsFiltered,
    Blocks,
    DetailedFigureFlip,
    Title1,
    RaisedHandAboutOrigin,
    Title3,
    SkullPoints,
    TurnedSkullPoints,
    MelodyFigure,
    Title2,
    LogoOutlineStill,
    LogoOutlineTumbling,
    RaisedHandSpin,
});

// Every figure once, the long hand through the closing figure's job.
constexpr bool jobs_cover_every_figure() {
    std::array<int, kFigureCount> made{};
    for (const Figure figure : kJobs) {
        ++made[static_cast<std::size_t>(figure)];
        if (figure == ClosingFigure) ++made[static_cast<std::size_t>(RaisedHandLong)];
    }
    return std::ranges::all_of(made, [](int count) { return count == 1; });
}
static_assert(jobs_cover_every_figure());

ChannelPair decode_clip(int number) {
    Result<ChannelPair> decoded = read_wav_channels(assets::clip(number));
    if (!decoded) fatal_unwrap(decoded.error().message());
    return std::move(decoded).value();
}

ChannelPair& slot_of(PreparedShow& show, Figure figure) {
    return show.voice_figures[static_cast<std::size_t>(voice_of(figure) - 1)];
}

}  // namespace

namespace detail {

ShowInputs load_show_inputs(unsigned threads) {
    ShowInputs inputs;
    run_on_threads(inputs.models.size(), threads, [&inputs](std::size_t i) {
        inputs.models[i] = load_obj(assets::model(static_cast<int>(i) + 1));
    });
    inputs.melody = make_melody();
    return inputs;
}

std::vector<RandomEngine> figure_engines(RandomEngine& random) {
    // Every figure gets one, whether it draws or not, so a figure that starts drawing
    // leaves the others' numbers as they were.
    std::vector<RandomEngine> engines;
    engines.reserve(kFigureCount);
    for (std::size_t i = 0; i < kFigureCount; ++i) engines.emplace_back(random());
    return engines;
}

ChannelPair make_figure(Figure figure, const ShowInputs& inputs, RandomEngine& random) {
    const auto draw = [&](const ObjectFigure& row) {
        const Model& model = inputs.models[static_cast<std::size_t>(row.model - 1)];
        return obj(row.length, model, row.mode, row.rot_y, row.rot_z, row.rot_x, row.step, row.scale_start,
                   row.scale_end, row.lowpass, row.repeat, row.face_every, random);
    };
    switch (figure) {
        case Title1:
            return draw({.length = 72, .model = 1, .mode = DotsAboutCentre, .rot_y = kThirdDegree,
                         .scale_start = 0.5f, .scale_end = 1.0f, .face_every = 2});
        case Title2:
            return draw({.length = 72, .model = 2, .mode = DotsAboutCentre, .rot_y = kThirdDegree,
                         .scale_start = 0.5f, .scale_end = 1.0f, .face_every = 2});
        case Title3:
            return draw({.length = 72, .model = 3, .mode = DotsAboutCentre, .rot_y = kThirdDegree,
                         .scale_start = 0.5f, .scale_end = 1.0f, .face_every = 3});
        case Clip1:
        case Clip2:
        case Clip3:
        case Clip4:
        case Clip5:
        case Clip6:
        case Clip7:
        case Clip8:
            return decode_clip(figure_number(figure) - figure_number(Clip1) + 1);
        case Blocks:
            return blocks(400, random);
        case SkullPoints:
            return draw({.length = 72, .model = 4, .mode = DotsAboutCentre, .rot_y = -kFifthDegree, .step = 2.0f,
                         .scale_start = 0.0f, .scale_end = 0.8f, .face_every = 3});
        case TurnedSkullPoints:
            return draw({.length = 72, .model = 5, .mode = DotsAboutCentre, .rot_y = kFifthDegree,
                         .rot_x = kFifthDegree, .step = 2.0f, .scale_start = 0.0f, .scale_end = 0.8f,
                         .face_every = 3});
        case LogoOutlineStill:
            return draw({.length = 72, .model = 6, .mode = Outline, .scale_start = 3.0f, .scale_end = 0.0f});
        case LogoOutlineTumbling:
            return draw({.length = 72, .model = 6, .mode = Outline, .rot_y = kTwoDegrees, .rot_z = kTwoDegrees,
                         .rot_x = kTwoDegrees, .scale_start = 0.0f, .scale_end = 3.0f});
        case DetailedFigureOutline:
            return draw({.length = 72, .model = 7, .mode = Outline, .rot_y = kTwoDegrees, .rot_z = kHalfDegree,
                         .rot_x = kHalfDegree, .scale_start = 0.0f, .scale_end = 0.8f});
        case DetailedFigureFlip:
            return draw({.length = 6, .model = 7, .mode = Outline, .rot_y = -kFourAndAHalfDegrees,
                         .rot_z = kFourAndAHalfDegrees, .scale_start = 1.0f, .scale_end = 0.0f});
        case RaisedHandSpin:
            return draw({.length = 9, .model = 8, .mode = DotsAboutCentre, .rot_y = -kTwoDegrees,
                         .rot_z = kTwoDegrees, .scale_start = 5.0f, .scale_end = 0.0f, .face_every = 2});
        case RaisedHandAboutOrigin:
            return draw({.length = 72, .model = 8, .mode = DotsAboutOrigin, .rot_x = kHalfDegree,
                         .scale_start = 1.0f, .scale_end = 5.0f, .face_every = 3});
        case LowDetailPointsFiltered:
            return draw({.length = 144, .model = 9, .mode = DotsAboutCentre, .rot_y = -kTwoDegrees,
                         .scale_start = 0.0f, .scale_end = 1.0f, .lowpass = kOpeningLowpass, .face_every = 2});
        case LowDetailFigureOutline:
            return draw({.length = 144, .model = 9, .mode = Outline, .rot_y = kTwoDegrees, .rot_z = kHalfDegree,
                         .rot_x = kHalfDegree, .scale_start = 0.0f, .scale_end = 0.8f});
        case DetailedPointsFiltered:
            return draw({.length = 144, .model = 7, .mode = DotsAboutCentre, .rot_y = -kTwoDegrees,
                         .scale_start = 1.0f, .scale_end = 1.0f, .lowpass = kOpeningLowpass, .face_every = 2});
        case TurnedHandWireframe:
            return draw({.length = 72, .model = 10, .mode = Triangles, .rot_x = -kHalfDegree,
                         .scale_start = 1.0f, .scale_end = 5.0f, .face_every = 3});
        case MelodyFigure:
            return obj_note(75, inputs.melody, inputs.models[10], 0.7f);
        case RaisedHandLong:
            return draw({.length = 144, .model = 8, .mode = DotsAboutOrigin, .rot_z = -kThirdDegree,
                         .rot_x = kTwoDegrees, .scale_start = 1.0f, .scale_end = 5.0f, .face_every = 3});
        case ClosingFigure:
            break;
    }
    fatal("the closing figure is made from the long hand: make_closing_figure");
}

ChannelPair make_closing_figure(const ChannelPair& long_hand, const ShowInputs& inputs) {
    return loppu(75, closing_input(long_hand), inputs.melody, 1.0f);
}

}  // namespace detail

unsigned preparation_threads() {
#if defined(__wasi__)
    return 1;
#else
    constexpr unsigned kMaxThreads = 4;
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
#endif
}

PreparedShow prepare_show(RandomEngine& random, unsigned threads) {
    std::vector<RandomEngine> engines = detail::figure_engines(random);
    const detail::ShowInputs inputs = detail::load_show_inputs(threads);
    const auto engine_of = [&engines](Figure figure) -> RandomEngine& {
        return engines[static_cast<std::size_t>(figure)];
    };
    PreparedShow show;
    run_on_threads(kJobs.size(), threads, [&](std::size_t job) {
        const Figure figure = kJobs[job];
        if (figure == ClosingFigure) {
            ChannelPair& long_hand = slot_of(show, RaisedHandLong);
            long_hand = detail::make_figure(RaisedHandLong, inputs, engine_of(RaisedHandLong));
            slot_of(show, ClosingFigure) = detail::make_closing_figure(long_hand, inputs);
        } else {
            slot_of(show, figure) = detail::make_figure(figure, inputs, engine_of(figure));
        }
    });
    show.score = make_score();
    return show;
}

const ChannelPair& channels_of(const PreparedShow& show, Figure figure) {
    return show.voice_figures[static_cast<std::size_t>(voice_of(figure) - 1)];
}

PointList closing_input(const ChannelPair& figure) {
    const std::size_t count = std::min(figure.size(), kSliceSamples);
    PointList input;
    input.reserve(count);
    for (std::size_t i = 1; i <= count; ++i) input.push_back(figure[figure.size() - i]);
    return input;
}

}  // namespace lumo
