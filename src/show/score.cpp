#include "show/score.hpp"

#include <array>

namespace lumo {

namespace {

// Times in seconds on the show clock; every one is exact in a 32-bit float.
constexpr std::array<ScoreEvent, 51> kScore = {{
    {0.0f, 6.0f, 7},          // clip 3
    {6.0f, 12.0f, 8},         // clip 4
    {12.0f, 18.0f, 9},        // clip 5
    {18.0f, 19.5f, 28},       // title 1
    {19.5f, 21.0f, 29},       // title 2
    {21.0f, 24.0f, 30},       // title 3
    {24.0f, 27.0f, 18},       // detailed figure outline
    {27.0f, 30.0f, 10},       // clip 1
    {27.0f, 30.0f, 6},        // blocks
    {30.0f, 33.0f, 10},       // clip 1
    {30.0f, 33.0f, 6},        // blocks
    {33.0f, 36.0f, 10},       // clip 1
    {33.0f, 36.0f, 15},       // skull points
    {36.0f, 39.0f, 11},       // clip 2
    {36.0f, 36.28125f, 15},   // skull points
    {39.0f, 41.90625f, 16},   // logo outline, still
    {42.0f, 45.0f, 17},       // logo outline, tumbling
    {45.0f, 48.0f, 10},       // clip 1
    {45.0f, 46.40625f, 15},   // skull points
    {48.0f, 51.0f, 10},       // clip 1
    {48.0f, 51.0f, 19},       // turned skull points
    {51.0f, 54.0f, 10},       // clip 1
    {51.0f, 54.0f, 6},        // blocks
    {54.0f, 57.0f, 10},       // clip 1
    {54.0f, 57.0f, 6},        // blocks
    {57.0f, 60.0f, 10},       // clip 1
    {57.0f, 60.0f, 31},       // turned hand wireframe
    {60.0f, 63.0f, 12},       // clip 6
    {60.0f, 63.0f, 18},       // detailed figure outline
    {63.0f, 66.0f, 10},       // clip 1
    {63.0f, 66.0f, 6},        // blocks
    {66.0f, 69.0f, 10},       // clip 1
    {66.0f, 69.0f, 6},        // blocks
    {69.0f, 72.0f, 10},       // clip 1
    {69.0f, 72.0f, 15},       // skull points
    {72.0f, 75.0f, 12},       // clip 6
    {72.0f, 75.0f, 19},       // turned skull points
    {75.0f, 87.0f, 27},       // melody figure
    {75.0f, 78.0f, 10},       // clip 1
    {78.0f, 81.0f, 10},       // clip 1
    {81.0f, 84.0f, 10},       // clip 1
    {87.0f, 90.0f, 20},       // raised hand points about the origin
    {90.0f, 93.0f, 14},       // clip 8
    {93.0f, 96.0f, 14},       // clip 8
    {93.0f, 99.0f, 25},       // detailed figure points, filtered
    {99.0f, 102.0f, 14},      // clip 8
    {99.0f, 108.0f, 24},      // low-detail figure outline
    {108.0f, 111.0f, 14},     // clip 8
    {108.0f, 114.0f, 23},     // low-detail figure points, filtered
    {114.0f, 120.0f, 26},     // raised hand points, long
    {119.90625f, 153.5625f, 32},  // closing figure
}};

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

std::vector<Note> make_melody() { return std::vector<Note>(kMelody.begin(), kMelody.end()); }

}  // namespace lumo
