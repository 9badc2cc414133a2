#include "show/prepare.hpp"

#include <optional>
#include <utility>

#include "assets/assets.hpp"
#include "core/clock.hpp"
#include "core/fatal.hpp"
#include "effects/blocks.hpp"
#include "effects/notes.hpp"
#include "effects/objects.hpp"
#include "obj/obj.hpp"
#include "wave/wav.hpp"

namespace lumo {

namespace {

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

Model load_model(int number) { return load_obj(assets::model(number)); }

PointList decode_clip(int number) {
    Result<PointList> decoded = read_wav_to_vec(assets::clip(number));
    if (!decoded) fatal_unwrap(decoded.error().message());
    return std::move(decoded).value();
}

// Each figure is split into its voice's two channels as soon as it is made and then
// released, so a figure and its pair are never held side by side for long.
void add(PreparedShow& show, Figure figure, const PointList& points) {
    show.voice_figures[static_cast<std::size_t>(voice_of(figure) - 1)] = split_channels(points);
}

}  // namespace

PreparedShow prepare_show(RandomEngine& random) {
    using enum Figure;
    PreparedShow show;
    {
        const Model title1 = load_model(1);
        add(show, Title1, obj(72, title1, 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 2, random));
    }
    {
        const Model title2 = load_model(2);
        add(show, Title2, obj(72, title2, 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 2, random));
    }
    {
        const Model title3 = load_model(3);
        add(show, Title3, obj(72, title3, 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 3, random));
    }
    add(show, Clip1, decode_clip(1));
    add(show, Clip2, decode_clip(2));
    add(show, Clip3, decode_clip(3));
    add(show, Clip4, decode_clip(4));
    add(show, Clip5, decode_clip(5));
    add(show, Clip6, decode_clip(6));
    add(show, Clip7, decode_clip(7));
    add(show, Clip8, decode_clip(8));
    add(show, Blocks, blocks(400, random));
    {
        const Model skull = load_model(4);
        add(show, SkullPoints,
            obj(72, skull, 1, -kFifthDegree, 0, 0, 2.0f, 0.0f, 0.8f, kNoLowpass, kRepeat, 3, random));
    }
    {
        const Model turned_skull = load_model(5);
        add(show, TurnedSkullPoints,
            obj(72, turned_skull, 1, kFifthDegree, 0, kFifthDegree, 2.0f, 0.0f, 0.8f, kNoLowpass, kRepeat, 3, random));
    }
    {
        const Model logo = load_model(6);
        add(show, LogoOutlineStill, obj(72, logo, 3, 0, 0, 0, 1.0f, 3.0f, 0.0f, kNoLowpass, kRepeat, 0, random));
        add(show, LogoOutlineTumbling, obj(72, logo, 3, kTwoDegrees, kTwoDegrees, kTwoDegrees, 1.0f, 0.0f, 3.0f,
                                           kNoLowpass, kRepeat, 0, random));
    }
    const Model figure = load_model(7);
    add(show, DetailedFigureOutline, obj(72, figure, 3, kTwoDegrees, kHalfDegree, kHalfDegree, 1.0f, 0.0f, 0.8f,
                                         kNoLowpass, kRepeat, 0, random));
    add(show, DetailedFigureFlip, obj(6, figure, 3, -kFourAndAHalfDegrees, kFourAndAHalfDegrees, 0, 1.0f, 1.0f,
                                      0.0f, kNoLowpass, kRepeat, 0, random));
    const Model hand = load_model(8);
    add(show, RaisedHandSpin,
        obj(9, hand, 1, -kTwoDegrees, kTwoDegrees, 0, 1.0f, 5.0f, 0.0f, kNoLowpass, kRepeat, 2, random));
    add(show, RaisedHandAboutOrigin,
        obj(72, hand, 0, 0, 0, kHalfDegree, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random));
    {
        const Model small_figure = load_model(9);
        add(show, LowDetailPointsFiltered, obj(144, small_figure, 1, -kTwoDegrees, 0, 0, 1.0f, 0.0f, 1.0f,
                                               kOpeningLowpass, kRepeat, 2, random));
        add(show, LowDetailFigureOutline, obj(144, small_figure, 3, kTwoDegrees, kHalfDegree, kHalfDegree, 1.0f,
                                              0.0f, 0.8f, kNoLowpass, kRepeat, 0, random));
    }
    add(show, DetailedPointsFiltered,
        obj(144, figure, 1, -kTwoDegrees, 0, 0, 1.0f, 1.0f, 1.0f, kOpeningLowpass, kRepeat, 2, random));
    {
        const Model turned_hand = load_model(10);
        add(show, TurnedHandWireframe,
            obj(72, turned_hand, 2, 0, 0, -kHalfDegree, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random));
    }
    const std::vector<Note> melody = make_melody();
    {
        const Model posed_figure = load_model(11);
        add(show, MelodyFigure, obj_note(75, melody, posed_figure, 0.7f));
    }
    PointList closing;
    {
        const PointList long_hand =
            obj(144, hand, 0, 0, -kThirdDegree, kTwoDegrees, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random);
        add(show, RaisedHandLong, long_hand);
        closing = closing_input(long_hand);
    }
    add(show, ClosingFigure, loppu(75, closing, melody, 1.0f));
    show.score = make_score();
    return show;
}

const ChannelPair& channels_of(const PreparedShow& show, Figure figure) {
    return show.voice_figures[static_cast<std::size_t>(voice_of(figure) - 1)];
}

PointList closing_input(const PointList& figure) {
    const std::size_t count = figure.size() < kSliceSamples ? figure.size() : kSliceSamples;
    return PointList(figure.rbegin(), figure.rbegin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace lumo
