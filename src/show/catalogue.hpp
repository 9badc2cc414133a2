// The show's figures: each one named once, with the voice that plays it and what it
// shows.
//
// Every other number a figure has is derived from this table: its number in rendering
// order (the enum's order), the voice table, the score's voice codes (score.hpp) and
// lumo-render's file names and labels.  Adding a figure means one row here, one call in
// show preparation and the score rows that play it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumo {

// In rendering order.
enum class Figure : std::uint8_t {
    Title1,
    Title2,
    Title3,
    Clip1,
    Clip2,
    Clip3,
    Clip4,
    Clip5,
    Clip6,
    Clip7,
    Clip8,
    Blocks,
    SkullPoints,
    TurnedSkullPoints,
    LogoOutlineStill,
    LogoOutlineTumbling,
    DetailedFigureOutline,
    DetailedFigureFlip,
    RaisedHandSpin,
    RaisedHandAboutOrigin,
    LowDetailPointsFiltered,
    LowDetailFigureOutline,
    DetailedPointsFiltered,
    TurnedHandWireframe,
    MelodyFigure,
    RaisedHandLong,
    ClosingFigure,
};

struct FigureEntry {
    Figure figure;
    std::uint8_t voice;       // 1 … 27; voice 0 is the synth voice, which plays no figure
    const char* description;  // for labels
};

inline constexpr auto kFigures = std::to_array<FigureEntry>({
    {Figure::Title1, 23, "title 1"},
    {Figure::Title2, 24, "title 2"},
    {Figure::Title3, 25, "title 3"},
    {Figure::Clip1, 5, "clip 1"},
    {Figure::Clip2, 6, "clip 2"},
    {Figure::Clip3, 2, "clip 3"},
    {Figure::Clip4, 3, "clip 4"},
    {Figure::Clip5, 4, "clip 5"},
    {Figure::Clip6, 7, "clip 6"},
    {Figure::Clip7, 8, "clip 7"},
    {Figure::Clip8, 9, "clip 8"},
    {Figure::Blocks, 1, "blocks"},
    {Figure::SkullPoints, 10, "skull points"},
    {Figure::TurnedSkullPoints, 14, "turned skull points"},
    {Figure::LogoOutlineStill, 11, "logo outline, still"},
    {Figure::LogoOutlineTumbling, 12, "logo outline, tumbling"},
    {Figure::DetailedFigureOutline, 13, "detailed figure outline"},
    {Figure::DetailedFigureFlip, 17, "detailed figure, short flip"},
    {Figure::RaisedHandSpin, 16, "raised hand, short spin"},
    {Figure::RaisedHandAboutOrigin, 15, "raised hand about the origin"},
    {Figure::LowDetailPointsFiltered, 18, "low-detail points, filtered"},
    {Figure::LowDetailFigureOutline, 19, "low-detail figure outline"},
    {Figure::DetailedPointsFiltered, 20, "detailed points, filtered"},
    {Figure::TurnedHandWireframe, 26, "turned hand wireframe"},
    {Figure::MelodyFigure, 22, "melody figure"},
    {Figure::RaisedHandLong, 21, "raised hand, long"},
    {Figure::ClosingFigure, 27, "closing figure"},
});

inline constexpr std::size_t kFigureCount = kFigures.size();

constexpr const FigureEntry& entry_of(Figure figure) { return kFigures[static_cast<std::size_t>(figure)]; }

// 1 … 27, in rendering order.
constexpr int figure_number(Figure figure) { return static_cast<int>(figure) + 1; }

// The voice (1 … 27) whose wavetables the figure becomes.
constexpr int voice_of(Figure figure) { return entry_of(figure).voice; }

constexpr const char* description_of(Figure figure) { return entry_of(figure).description; }

namespace detail {

// Rows in enum order, and every voice from 1 to 27 taken by exactly one figure.
constexpr bool catalogue_is_consistent() {
    std::array<int, kFigureCount + 1> figures_of_voice{};
    for (std::size_t i = 0; i < kFigureCount; ++i) {
        if (static_cast<std::size_t>(kFigures[i].figure) != i) return false;
        const std::size_t voice = kFigures[i].voice;
        if (voice < 1 || voice > kFigureCount) return false;
        ++figures_of_voice[voice];
    }
    for (std::size_t voice = 1; voice <= kFigureCount; ++voice) {
        if (figures_of_voice[voice] != 1) return false;
    }
    return true;
}

}  // namespace detail

static_assert(detail::catalogue_is_consistent(), "one row per figure, in enum order, one figure per voice");

}  // namespace lumo
