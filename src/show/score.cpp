#include "show/score.hpp"

#include <array>

namespace lumo {

namespace {

using enum Figure;

constexpr ScoreEvent play(float start, float end, Figure figure) { return {start, end, voice_code(figure)}; }

// Times in seconds on the show clock; every one is exact in a 32-bit float.
constexpr auto kScore = std::to_array<ScoreEvent>({
    play(0.0f, 6.0f, Clip3),
    play(6.0f, 12.0f, Clip4),
    play(12.0f, 18.0f, Clip5),
    play(18.0f, 19.5f, Title1),
    play(19.5f, 21.0f, Title2),
    play(21.0f, 24.0f, Title3),
    play(24.0f, 27.0f, DetailedFigureOutline),
    play(27.0f, 30.0f, Clip1),
    play(27.0f, 30.0f, Blocks),
    play(30.0f, 33.0f, Clip1),
    play(30.0f, 33.0f, Blocks),
    play(33.0f, 36.0f, Clip1),
    play(33.0f, 36.0f, SkullPoints),
    play(36.0f, 39.0f, Clip2),
    play(36.0f, 36.28125f, SkullPoints),
    play(39.0f, 41.90625f, LogoOutlineStill),
    play(42.0f, 45.0f, LogoOutlineTumbling),
    play(45.0f, 48.0f, Clip1),
    play(45.0f, 46.40625f, SkullPoints),
    play(48.0f, 51.0f, Clip1),
    play(48.0f, 51.0f, TurnedSkullPoints),
    play(51.0f, 54.0f, Clip1),
    play(51.0f, 54.0f, Blocks),
    play(54.0f, 57.0f, Clip1),
    play(54.0f, 57.0f, Blocks),
    play(57.0f, 60.0f, Clip1),
    play(57.0f, 60.0f, TurnedHandWireframe),
    play(60.0f, 63.0f, Clip6),
    play(60.0f, 63.0f, DetailedFigureOutline),
    play(63.0f, 66.0f, Clip1),
    play(63.0f, 66.0f, Blocks),
    play(66.0f, 69.0f, Clip1),
    play(66.0f, 69.0f, Blocks),
    play(69.0f, 72.0f, Clip1),
    play(69.0f, 72.0f, SkullPoints),
    play(72.0f, 75.0f, Clip6),
    play(72.0f, 75.0f, TurnedSkullPoints),
    play(75.0f, 87.0f, MelodyFigure),
    play(75.0f, 78.0f, Clip1),
    play(78.0f, 81.0f, Clip1),
    play(81.0f, 84.0f, Clip1),
    play(87.0f, 90.0f, RaisedHandAboutOrigin),
    play(90.0f, 93.0f, Clip8),
    play(93.0f, 96.0f, Clip8),
    play(93.0f, 99.0f, DetailedPointsFiltered),
    play(99.0f, 102.0f, Clip8),
    play(99.0f, 108.0f, LowDetailFigureOutline),
    play(108.0f, 111.0f, Clip8),
    play(108.0f, 114.0f, LowDetailPointsFiltered),
    play(114.0f, 120.0f, RaisedHandLong),
    play(119.90625f, 153.5625f, ClosingFigure),
});

constexpr std::array<Note, 8> kMelody = {{
    {1, NoteName::C, 32.7f},
    {1, NoteName::E, 41.2f},
    {1, NoteName::Ab, 51.91f},
    {3, NoteName::C, 130.81f},
    {1, NoteName::E, 41.2f},
    {1, NoteName::B, 61.74f},
    {2, NoteName::Db, 69.3f},
    {1, NoteName::Ab, 51.91f},
}};

}  // namespace

std::shared_ptr<const Score> make_score() {
    // Built from the iterator range so that capacity equals length.
    return std::make_shared<const Score>(kScore.begin(), kScore.end());
}

std::vector<ScoreEvent> events_playing(Figure figure) {
    std::vector<ScoreEvent> events;
    for (const ScoreEvent& event : kScore) {
        if (event.voice == voice_code(figure)) events.push_back(event);
    }
    return events;
}

std::vector<Note> make_melody() { return std::vector<Note>(kMelody.begin(), kMelody.end()); }

}  // namespace lumo
