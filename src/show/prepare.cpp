#include "show/prepare.hpp"

#include <optional>
#include <utility>

#include "assets/assets.hpp"
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

// Figures are numbered in rendering order; each one is split into its voice's two
// channels as soon as it is made and then released, so a figure and its pair are never
// held side by side for long.
class Figures {
public:
    void add(int figure, const PointList& points) { pairs_[figure - 1] = split_channels(points); }
    ChannelPair take(int figure) { return std::move(pairs_[figure - 1]); }

private:
    std::array<ChannelPair, kFigureCount> pairs_;
};

}  // namespace

PreparedShow prepare_show(RandomEngine& random) {
    Figures figures;
    {
        const Model title1 = load_model(1);
        figures.add(1, obj(72, title1, 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 2, random));
    }
    {
        const Model title2 = load_model(2);
        figures.add(2, obj(72, title2, 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 2, random));
    }
    {
        const Model title3 = load_model(3);
        figures.add(3, obj(72, title3, 1, kThirdDegree, 0, 0, 1.0f, 0.5f, 1.0f, kNoLowpass, kRepeat, 3, random));
    }
    for (int clip = 1; clip <= assets::kClipCount; ++clip) figures.add(3 + clip, decode_clip(clip));
    figures.add(12, blocks(400, random));
    {
        const Model skull = load_model(4);
        figures.add(13, obj(72, skull, 1, -kFifthDegree, 0, 0, 2.0f, 0.0f, 0.8f, kNoLowpass, kRepeat, 3, random));
    }
    {
        const Model turned_skull = load_model(5);
        figures.add(14, obj(72, turned_skull, 1, kFifthDegree, 0, kFifthDegree, 2.0f, 0.0f, 0.8f, kNoLowpass,
                            kRepeat, 3, random));
    }
    {
        const Model logo = load_model(6);
        figures.add(15, obj(72, logo, 3, 0, 0, 0, 1.0f, 3.0f, 0.0f, kNoLowpass, kRepeat, 0, random));
        figures.add(16, obj(72, logo, 3, kTwoDegrees, kTwoDegrees, kTwoDegrees, 1.0f, 0.0f, 3.0f, kNoLowpass,
                            kRepeat, 0, random));
    }
    const Model figure = load_model(7);
    figures.add(17, obj(72, figure, 3, kTwoDegrees, kHalfDegree, kHalfDegree, 1.0f, 0.0f, 0.8f, kNoLowpass,
                        kRepeat, 0, random));
    figures.add(18, obj(6, figure, 3, -kFourAndAHalfDegrees, kFourAndAHalfDegrees, 0, 1.0f, 1.0f, 0.0f,
                        kNoLowpass, kRepeat, 0, random));
    const Model hand = load_model(8);
    figures.add(19, obj(9, hand, 1, -kTwoDegrees, kTwoDegrees, 0, 1.0f, 5.0f, 0.0f, kNoLowpass, kRepeat, 2, random));
    figures.add(20, obj(72, hand, 0, 0, 0, kHalfDegree, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random));
    {
        const Model small_figure = load_model(9);
        figures.add(21, obj(144, small_figure, 1, -kTwoDegrees, 0, 0, 1.0f, 0.0f, 1.0f, kOpeningLowpass,
                            kRepeat, 2, random));
        figures.add(22, obj(144, small_figure, 3, kTwoDegrees, kHalfDegree, kHalfDegree, 1.0f, 0.0f, 0.8f,
                            kNoLowpass, kRepeat, 0, random));
    }
    figures.add(23, obj(144, figure, 1, -kTwoDegrees, 0, 0, 1.0f, 1.0f, 1.0f, kOpeningLowpass, kRepeat, 2, random));
    {
        const Model turned_hand = load_model(10);
        figures.add(24, obj(72, turned_hand, 2, 0, 0, -kHalfDegree, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random));
    }
    const std::vector<Note> melody = make_melody();
    {
        const Model posed_figure = load_model(11);
        figures.add(25, obj_note(75, melody, posed_figure, 0.7f));
    }
    PointList closing;
    {
        const PointList long_hand =
            obj(144, hand, 0, 0, -kThirdDegree, kTwoDegrees, 1.0f, 1.0f, 5.0f, kNoLowpass, kRepeat, 3, random);
        figures.add(26, long_hand);
        closing = closing_input(long_hand);
    }
    figures.add(27, loppu(75, closing, melody, 1.0f));

    PreparedShow show;
    for (int voice = 1; voice <= static_cast<int>(kFigureCount); ++voice) {
        show.voice_figures[voice - 1] = figures.take(figure_of_voice(voice));
    }
    show.score = make_score();
    return show;
}

PointList closing_input(const PointList& figure) {
    constexpr std::size_t kSlice = 1920;
    const std::size_t count = figure.size() < kSlice ? figure.size() : kSlice;
    return PointList(figure.rbegin(), figure.rbegin() + static_cast<std::ptrdiff_t>(count));
}

int figure_of_voice(int voice) {
    static constexpr int figures[kFigureCount] = {12, 6,  7,  8,  4,  5,  9,  10, 11, 13, 15, 16, 17, 14,
                                                  20, 19, 18, 21, 22, 23, 26, 25, 1,  2,  3,  24, 27};
    return figures[checked_index(static_cast<std::size_t>(voice - 1), kFigureCount)];
}

}  // namespace lumo
