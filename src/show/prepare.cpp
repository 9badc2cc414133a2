#include "show/prepare.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <optional>
#include <system_error>
#if !defined(__wasi__)
#include <thread>
#endif
#include <utility>

#include "core/clock.hpp"
#include "core/fatal.hpp"
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

// Every object figure holds each drawn point for two samples.
constexpr unsigned kRepeat = 2;

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

// Runs work(0) … work(count - 1), each once and taken up in that order, on `threads`
// threads: the calling one and helpers that are joined before it returns.
#if defined(__wasi__)
// The page's WebAssembly build has no threads: the calling one does every job, in order.
template <class Work> void run_on_threads(std::size_t count, unsigned, Work work) {
    for (std::size_t i = 0; i < count; ++i) work(i);
}
#else
template <class Work> void run_on_threads(std::size_t count, unsigned threads, Work work) {
    std::atomic<std::size_t> next{0};
    const auto take_up_work = [&] {
        for (std::size_t i = next++; i < count; i = next++) work(i);
    };
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < std::min<std::size_t>(threads, count); ++t) {
        try {
            helpers.emplace_back(take_up_work);
        } catch (const std::system_error&) {
            break;  // the threads there are take up the rest
        }
    }
    take_up_work();
}
#endif

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
    const auto model = [&inputs](int number) -> const Model& {
        return inputs.models[static_cast<std::size_t>(number - 1)];
    };
    switch (figure) {
        case Title1:
            return obj(72, model(1), 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 2, random);
        case Title2:
            return obj(72, model(2), 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 2, random);
        case Title3:
            return obj(72, model(3), 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 3, random);
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
            return obj(72, model(4), 1, -kFifthDegree, 0, 0, 2.0f, 0.0f, 0.8f, kNoLowpass, kRepeat, 3, random);
        case TurnedSkullPoints:
            return obj(72, model(5), 1, kFifthDegree, 0, kFifthDegree, 2.0f, 0.0f, 0.8f, kNoLowpass, kRepeat, 3,
                       random);
        case LogoOutlineStill:
            return obj(72, model(6), 3, 0, 0, 0, 1.0f, 3.0f, 0.0f, kNoLowpass, kRepeat, 0, random);
        case LogoOutlineTumbling:
            return obj(72, model(6), 3, kTwoDegrees, kTwoDegrees, kTwoDegrees, 1.0f, 0.0f, 3.0f, kNoLowpass, kRepeat,
                       0, random);
        case DetailedFigureOutline:
            return obj(72, model(7), 3, kTwoDegrees, kHalfDegree, kHalfDegree, 1.0f, 0.0f, 0.8f, kNoLowpass, kRepeat,
                       0, random);
        case DetailedFigureFlip:
            return obj(6, model(7), 3, -kFourAndAHalfDegrees, kFourAndAHalfDegrees, 0, 1.0f, 1.0f, 0.0f, kNoLowpass,
                       kRepeat, 0, random);
        case RaisedHandSpin:
            return obj(9, model(8), 1, -kTwoDegrees, kTwoDegrees, 0, 1.0f, 5.0f, 0.0f, kNoLowpass, kRepeat, 2, random);
        case RaisedHandAboutOrigin:
            return obj(72, model(8), 0, 0, 0, kHalfDegree, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random);
        case LowDetailPointsFiltered:
            return obj(144, model(9), 1, -kTwoDegrees, 0, 0, 1.0f, 0.0f, 1.0f, kOpeningLowpass, kRepeat, 2, random);
        case LowDetailFigureOutline:
            return obj(144, model(9), 3, kTwoDegrees, kHalfDegree, kHalfDegree, 1.0f, 0.0f, 0.8f, kNoLowpass,
                       kRepeat, 0, random);
        case DetailedPointsFiltered:
            return obj(144, model(7), 1, -kTwoDegrees, 0, 0, 1.0f, 1.0f, 1.0f, kOpeningLowpass, kRepeat, 2, random);
        case TurnedHandWireframe:
            return obj(72, model(10), 2, 0, 0, -kHalfDegree, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random);
        case MelodyFigure:
            return obj_note(75, inputs.melody, model(11), 0.7f);
        case RaisedHandLong:
            return obj(144, model(8), 0, 0, -kThirdDegree, kTwoDegrees, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3,
                       random);
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
