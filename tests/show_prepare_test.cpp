// The whole show prepared from one seed, pinned figure by figure: the show's arithmetic
// is exact, so a length and a fingerprint of every figure's samples catch any change to
// any sample, whichever module it comes from.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdint>
#include <iterator>
#include <string>

#include "show/prepare.hpp"

namespace lumo {
namespace {

// 64-bit FNV-1a.
struct Fingerprint {
    std::uint64_t value = 0xcbf29ce484222325u;

    void add(std::uint8_t byte) { value = (value ^ byte) * 0x100000001b3u; }
    void add(float v) {
        const auto bits = std::bit_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) add(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
};

// Over the bytes that lumo-render --figures writes: each point's x, then its y, as
// little-endian floats.
std::uint64_t fingerprint(const ChannelPair& pair) {
    Fingerprint f;
    for (std::size_t i = 0; i < pair.x.size() && i < pair.y.size(); ++i) {
        f.add(pair.x[i]);
        f.add(pair.y[i]);
    }
    return f.value;
}

struct Golden {
    Figure figure;
    std::size_t length;
    std::uint64_t fingerprint;
};

using enum Figure;

// lumo-render --figures DIR --seed 7, in rendering order.
constexpr Golden kGolden[] = {
    {Title1, 286080, 0x8b343e3aa7559050},
    {Title2, 286080, 0x4c9da73b2d7cae82},
    {Title3, 286080, 0xca959df4703ee0ac},
    {Clip1, 289786, 0x761182df7075c4ac},
    {Clip2, 289786, 0x7772b1ab39246640},
    {Clip3, 289786, 0xf21870e43081e037},
    {Clip4, 289786, 0x5608201604f18038},
    {Clip5, 289786, 0x0020cdb1908771e5},
    {Clip6, 289786, 0xa4b79df9bd351906},
    {Clip7, 289786, 0x778a773ea6f736e4},
    {Clip8, 289786, 0x608cbb1c188005a9},
    {Blocks, 766080, 0xf6cfc87a935cc3dd},
    {SkullPoints, 286080, 0x921e3ccc73ab4384},
    {TurnedSkullPoints, 286080, 0xa07e38b5e1ce18a8},
    {LogoOutlineStill, 286080, 0x460f86ebb151b321},
    {LogoOutlineTumbling, 286080, 0x8f695fa8994d3423},
    {DetailedFigureOutline, 286080, 0x6acaf234f976c6cc},
    {DetailedFigureFlip, 21120, 0x0c449bc5ee4203cd},
    {RaisedHandSpin, 32640, 0xa8eacade2b198951},
    {RaisedHandAboutOrigin, 286080, 0x2640fa2c05926d7e},
    {LowDetailPointsFiltered, 574080, 0x75175789665b9a73},
    {LowDetailFigureOutline, 574080, 0xb344a4f211d53f41},
    {DetailedPointsFiltered, 574080, 0xb8a8963b49c89b0a},
    {TurnedHandWireframe, 286080, 0xa2da8d371f5b6ac6},
    {MelodyFigure, 1136640, 0xa4fa6c183ea3c0dc},
    {RaisedHandLong, 574080, 0x56837279addcc2ca},
    {ClosingFigure, 3340800, 0x3afb7edc8572d74a},
};
static_assert(std::size(kGolden) == kFigureCount);

// The 51 events' start, end (little-endian floats) and code, in order.
constexpr std::uint64_t kScoreFingerprint = 0xf19917e174aed411;

// The same bytes whatever the number of threads: one, and more than the figures that
// run side by side on any machine that tests this.
class PreparedShowOnThreads : public testing::TestWithParam<unsigned> {};

TEST_P(PreparedShowOnThreads, SeedSevenGivesTheGoldenFiguresAndScore) {
    RandomEngine random(7);
    const PreparedShow show = prepare_show(random, GetParam());
    // After a deliberate change to a model, a clip or an effect, the failure prints the
    // new length and fingerprint of every figure, to copy into kGolden.
    std::string table;
    for (const Golden& golden : kGolden) {
        SCOPED_TRACE(description_of(golden.figure));
        const ChannelPair& pair = channels_of(show, golden.figure);
        EXPECT_EQ(pair.x.size(), golden.length);
        EXPECT_EQ(pair.y.size(), golden.length);
        EXPECT_EQ(fingerprint(pair), golden.fingerprint);
        char row[128];
        std::snprintf(row, sizeof row, "    %zu, 0x%016llx  // %s\n", pair.x.size(),
                      static_cast<unsigned long long>(fingerprint(pair)), description_of(golden.figure));
        table += row;
    }
    if (HasFailure()) ADD_FAILURE() << "the figures now (rows in kGolden's order):\n" << table;
    ASSERT_NE(show.score, nullptr);
    Fingerprint score;
    for (const ScoreEvent& event : *show.score) {
        score.add(event.start);
        score.add(event.end);
        score.add(event.voice);
    }
    EXPECT_EQ(show.score->size(), 51u);
    EXPECT_EQ(score.value, kScoreFingerprint);
}

INSTANTIATE_TEST_SUITE_P(Threads, PreparedShowOnThreads, testing::Values(1u, 4u));

// The show's own closing input (a full slice) is pinned above; shorter figures give all
// their points.
TEST(ClosingInput, ShortFiguresGiveAllTheirPointsReversed) {
    const ChannelPair three = {{1, 2, 3}, {4, 5, 6}};
    EXPECT_EQ(closing_input(three), (PointList{{3, 6}, {2, 5}, {1, 4}}));
    EXPECT_TRUE(closing_input({}).empty());
}

}  // namespace
}  // namespace lumo
