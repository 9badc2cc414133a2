// The whole show, prepared once: figure lengths, the voice table and the closing input.
#include <gtest/gtest.h>

#include <set>

#include "show/prepare.hpp"

namespace lumo {
namespace {

class PreparedShowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        RandomEngine random(2026);
        show_ = new PreparedShow(prepare_show(random));
    }
    static void TearDownTestSuite() {
        delete show_;
        show_ = nullptr;
    }
    static const ChannelPair& figure(int number) {
        for (int voice = 1; voice <= static_cast<int>(kFigureCount); ++voice) {
            if (figure_of_voice(voice) == number) return show_->voice_figures[voice - 1];
        }
        throw std::logic_error("no voice plays figure " + std::to_string(number));
    }
    static PointList points_of(const ChannelPair& pair) {
        PointList points(pair.x.size());
        for (std::size_t i = 0; i < points.size(); ++i) points[i] = {pair.x[i], pair.y[i]};
        return points;
    }
    static PreparedShow* show_;
};

PreparedShow* PreparedShowTest::show_ = nullptr;

TEST_F(PreparedShowTest, EveryVoicePlaysOneFigureInBothChannels) {
    std::set<int> figures;
    for (int voice = 1; voice <= static_cast<int>(kFigureCount); ++voice) {
        figures.insert(figure_of_voice(voice));
        const ChannelPair& pair = show_->voice_figures[voice - 1];
        EXPECT_EQ(pair.x.size(), pair.y.size()) << "voice " << voice;
        EXPECT_FALSE(pair.x.empty()) << "voice " << voice;
    }
    EXPECT_EQ(figures.size(), kFigureCount);
    EXPECT_EQ(*figures.begin(), 1);
    EXPECT_EQ(*figures.rbegin(), 27);
    ASSERT_NE(show_->score, nullptr);
    EXPECT_EQ(show_->score->size(), 51u);
}

TEST_F(PreparedShowTest, FigureLengthsAreThoseTheScoreWasWrittenFor) {
    for (int clip_figure = 4; clip_figure <= 11; ++clip_figure) {
        EXPECT_EQ(figure(clip_figure).x.size(), 289'786u) << "figure " << clip_figure;
    }
    EXPECT_EQ(figure(12).x.size(), 399u * 1920u);  // blocks: every frame draws
    EXPECT_EQ(figure(25).x.size(), 8u * 74u * 1920u);  // the melody figure
    EXPECT_EQ(figure(26).x.size(), 299u * 1920u);  // the turning hand never leaves the screen
    EXPECT_EQ(figure(27).x.size(), 3'340'800u);     // the closing figure
    for (int drawn : {1, 2, 3, 13, 14, 15, 16, 17, 20, 24}) {
        EXPECT_LE(figure(drawn).x.size(), 149u * 1920u) << "figure " << drawn;
    }
    for (int drawn : {21, 22, 23}) EXPECT_LE(figure(drawn).x.size(), 299u * 1920u) << "figure " << drawn;
    EXPECT_LE(figure(18).x.size(), 11u * 1920u);
    EXPECT_LE(figure(19).x.size(), 17u * 1920u);
}

TEST_F(PreparedShowTest, ClosingInputIsTheEndOfTheLongHandReversed) {
    const PointList long_hand = points_of(figure(26));
    const PointList closing = closing_input(long_hand);
    ASSERT_EQ(closing.size(), 1920u);
    EXPECT_EQ(closing.front(), long_hand.back());
    EXPECT_EQ(closing.back(), long_hand[572'160]);
}

TEST(ClosingInput, ShortFiguresGiveAllTheirPointsReversed) {
    const PointList three = {{1, 1}, {2, 2}, {3, 3}};
    EXPECT_EQ(closing_input(three), (PointList{{3, 3}, {2, 2}, {1, 1}}));
    EXPECT_TRUE(closing_input({}).empty());
}

TEST(VoiceTable, FiguresByVoice) {
    EXPECT_EQ(figure_of_voice(1), 12);   // blocks
    EXPECT_EQ(figure_of_voice(2), 6);    // clip 3 opens the show
    EXPECT_EQ(figure_of_voice(21), 26);  // the long hand, whose end starts the closing figure
    EXPECT_EQ(figure_of_voice(27), 27);
    EXPECT_EXIT(figure_of_voice(28), testing::ExitedWithCode(101), "index out of bounds");
}

}  // namespace
}  // namespace lumo
