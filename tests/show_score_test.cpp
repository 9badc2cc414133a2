// What the score must be for the playback callback to play it as written: the events'
// values themselves are pinned by the golden test of show preparation.
#include <gtest/gtest.h>

#include <memory>

#include "show/score.hpp"

namespace lumo {
namespace {

TEST(Score, OrderedHalfOpenEventsOfFigureVoicesThatNeverOverlapThemselves) {
    std::shared_ptr<const Score> score = make_score();
    ASSERT_EQ(score->size(), 51u);
    EXPECT_EQ(score->capacity(), 51u);
    for (std::size_t i = 0; i < score->size(); ++i) {
        const ScoreEvent& e = (*score)[i];
        EXPECT_LT(e.start, e.end) << "event " << i + 1;
        if (i > 0) {
            EXPECT_LE((*score)[i - 1].start, e.start) << "event " << i + 1;
        }
        EXPECT_GT(e.voice, kLastSynthCode) << "event " << i + 1;
        EXPECT_LE(e.voice, kLastVoiceCode) << "event " << i + 1;
        // A voice named twice at once would step twice as fast.
        for (std::size_t j = 0; j < i; ++j) {
            const ScoreEvent& other = (*score)[j];
            if (other.voice == e.voice) {
                EXPECT_LE(other.end, e.start) << "events " << j + 1 << " and " << i + 1;
            }
        }
    }
}

TEST(Score, EventsPlayingAFigureAreItsCodesInScoreOrder) {
    const std::vector<ScoreEvent> closing = events_playing(Figure::ClosingFigure);
    ASSERT_EQ(closing.size(), 1u);
    EXPECT_EQ(closing[0].start, 119.90625f);
    EXPECT_EQ(closing[0].voice, voice_code(Figure::ClosingFigure));
    EXPECT_TRUE(events_playing(Figure::Clip7).empty());  // prepared, never played
    std::size_t total = 0;
    for (const FigureEntry& entry : kFigures) total += events_playing(entry.figure).size();
    EXPECT_EQ(total, 51u);
}

}  // namespace
}  // namespace lumo
