// The show's score and melody, and what the playback callback plays from the score.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "show/playback.hpp"
#include "show/score.hpp"

namespace lumo {
namespace {

// Each figure voice plays a constant with a bit of its own (voices 1 … 13 on x, 14 … 27
// on y), so one rendered frame tells exactly which voices sound.
PlaybackState flagged_state() {
    std::array<ChannelPair, kVoiceCount - 1> figures;
    for (int v = 1; v < static_cast<int>(kVoiceCount); ++v) {
        const float x = v <= 13 ? std::ldexp(1.0f, -v) : 0.0f;
        const float y = v > 13 ? std::ldexp(1.0f, -(v - 13)) : 0.0f;
        figures[v - 1] = {{x}, {y}};
    }
    return make_playback_state({0, 0}, std::move(figures), make_score(), 64);
}

std::set<int> sounding(float t) {
    PlaybackState state = flagged_state();
    std::vector<double> frame(2);
    render_buffer<double>(state, frame, t);
    std::set<int> voices;
    for (int v = 1; v < static_cast<int>(kVoiceCount); ++v) {
        const double bit = v <= 13 ? std::ldexp(1.0, -v) : std::ldexp(1.0, -(v - 13));
        const double channel = v <= 13 ? frame[0] : frame[1];
        if (static_cast<long long>(channel / bit) % 2 == 1) voices.insert(v);
    }
    return voices;
}

TEST(Score, FiftyOneOrderedHalfOpenEvents) {
    std::shared_ptr<const Score> score = make_score();
    ASSERT_EQ(score->size(), 51u);
    EXPECT_EQ(score->capacity(), 51u);
    std::set<int> codes;
    for (std::size_t i = 0; i < score->size(); ++i) {
        const ScoreEvent& e = (*score)[i];
        EXPECT_LT(e.start, e.end) << "event " << i + 1;
        if (i > 0) {
            EXPECT_LE((*score)[i - 1].start, e.start) << "event " << i + 1;
        }
        EXPECT_GE(e.voice, 6) << "event " << i + 1;
        EXPECT_LE(e.voice, 32) << "event " << i + 1;
        codes.insert(e.voice);
    }
    EXPECT_EQ(codes.size(), 24u);  // 6 … 32 less 13, 21 and 22
    for (int unused : {13, 21, 22}) EXPECT_FALSE(codes.contains(unused));
    EXPECT_EQ(score->front().voice, 7);
    EXPECT_EQ(score->back().start, 119.90625f);
    EXPECT_EQ(score->back().end, 153.5625f);
    EXPECT_EQ(score->back().voice, 32);
}

TEST(Score, WhatSoundsWhen) {
    EXPECT_EQ(sounding(0.0f), (std::set<int>{2}));             // clip 3
    EXPECT_EQ(sounding(6.0f), (std::set<int>{3}));             // clip 4, clip 3 over
    EXPECT_EQ(sounding(18.0f), (std::set<int>{23}));           // title 1
    EXPECT_EQ(sounding(28.0f), (std::set<int>{1, 5}));         // clip 1 under the blocks
    EXPECT_EQ(sounding(36.1f), (std::set<int>{6, 10}));        // clip 2 and the short skull
    EXPECT_EQ(sounding(36.3f), (std::set<int>{6}));
    EXPECT_EQ(sounding(41.95f), (std::set<int>{}));            // the gap before the tumbling logo
    EXPECT_EQ(sounding(47.0f), (std::set<int>{5}));
    EXPECT_EQ(sounding(85.0f), (std::set<int>{22}));           // melody figure alone
    EXPECT_EQ(sounding(97.0f), (std::set<int>{20}));
    EXPECT_EQ(sounding(119.95f), (std::set<int>{21, 27}));  // long hand and the closing figure
    EXPECT_EQ(sounding(153.5f), (std::set<int>{27}));
    EXPECT_EQ(sounding(153.5625f), (std::set<int>{}));
    EXPECT_EQ(sounding(160.0f), (std::set<int>{}));
}

TEST(Melody, EightNotesInOrder) {
    const std::vector<Note> melody = make_melody();
    ASSERT_EQ(melody.size(), 8u);
    EXPECT_EQ(melody.capacity(), 8u);
    EXPECT_EQ(melody[3].octave, 3);
    EXPECT_EQ(melody[6].name, NoteName::Db);
    EXPECT_EQ(melody[7].frequency, 51.91f);
}

}  // namespace
}  // namespace lumo
