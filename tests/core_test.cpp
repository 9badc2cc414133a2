// The core helpers every module leans on: conversions, errors, the random generator.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/convert.hpp"
#include "core/error.hpp"
#include "core/fatal.hpp"
#include "core/points.hpp"
#include "core/random.hpp"

namespace lumo {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SaturatingCast, TruncatesTowardZeroAndSaturates) {
    EXPECT_EQ(to_grid(3.7f), 3);
    EXPECT_EQ(to_grid(-3.7f), -3);
    EXPECT_EQ(to_grid(127.9f), 127);
    EXPECT_EQ(to_grid(128.0f), 127);
    EXPECT_EQ(to_grid(200.0f), 127);
    EXPECT_EQ(to_grid(-128.0f), -128);
    EXPECT_EQ(to_grid(-129.5f), -128);
    EXPECT_EQ(to_grid(kNaN), 0);
    EXPECT_EQ(to_grid(-kInf), -128);

    EXPECT_EQ(to_index(-0.5f), 0u);
    EXPECT_EQ(to_index(-7.0f), 0u);
    EXPECT_EQ(to_index(kNaN), 0u);
    EXPECT_EQ(to_index(2.9f), 2u);

    EXPECT_EQ(saturating_cast<std::int32_t>(2147483648.0f), INT32_MAX);
    EXPECT_EQ(saturating_cast<std::int32_t>(-2147483648.0f), INT32_MIN);
    EXPECT_EQ(saturating_cast<std::int64_t>(9223371487098961920.0f), 9223371487098961920);
    EXPECT_EQ(saturating_cast<std::int64_t>(9223372036854775808.0f), INT64_MAX);
    EXPECT_EQ(saturating_cast<std::uint32_t>(4294967296.0f), UINT32_MAX);
    EXPECT_EQ(saturating_cast<std::uint32_t>(-1.0f), 0u);
    EXPECT_EQ(saturating_cast<std::uint32_t>(kInf), UINT32_MAX);
    EXPECT_EQ(saturating_cast<std::uint32_t>(std::ceil(1.0 / 0.0)), UINT32_MAX);
    EXPECT_EQ(saturating_cast<std::int16_t>(-32768.5f), -32768);
}

TEST(Error, ReportListsTheCauses) {
    const Error plain("Default output device is not available");
    EXPECT_EQ(plain.report(), "Default output device is not available");
    const Error one = Error("inner").context("outer");
    EXPECT_EQ(one.report(), "outer\n\nCaused by:\n    inner");
    const Error two = Error("root").context("middle").context("top");
    EXPECT_EQ(two.report(), "top\n\nCaused by:\n    0: middle\n    1: root");
    EXPECT_EQ(Error("say \"hi\"\n").debug(), "Error { message: \"say \\\"hi\\\"\\n\" }");
    EXPECT_EQ(debug_quote("hw:CARD=Loopback,DEV=1"), "\"hw:CARD=Loopback,DEV=1\"");
}

TEST(Error, ResultHoldsOneOrTheOther) {
    Result<int> good(5);
    ASSERT_TRUE(good.ok());
    EXPECT_EQ(good.value(), 5);
    Result<int> bad(Error("no"));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().message(), "no");
    EXPECT_TRUE(Status().ok());
    EXPECT_FALSE(Status(Error("x")).ok());
}

TEST(Fatal, StopsWithStatus101AndTheMessage) {
    EXPECT_EXIT(fatal("broken"), testing::ExitedWithCode(101), "broken");
    EXPECT_EXIT(checked_index(3, 3), testing::ExitedWithCode(101),
                "index out of bounds: the len is 3 but the index is 3");
    EXPECT_EXIT(fatal_unwrap("Invalid"), testing::ExitedWithCode(101),
                "called `Result::unwrap\\(\\)` on an `Err` value: Invalid");
    EXPECT_EQ(checked_index(2, 3), 2u);
}

TEST(Random, SeededRunsRepeatAndStayInRange) {
    RandomEngine random(7);
    std::vector<std::int64_t> first;
    for (int i = 0; i < 100; ++i) first.push_back(random_int(random, 1, 7));
    RandomEngine again(7);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(random_int(again, 1, 7), first[i]);
    std::array<int, 8> seen{};
    for (int i = 0; i < 7000; ++i) {
        const std::int64_t v = random_int(random, 1, 7);
        ASSERT_GE(v, 1);
        ASSERT_LE(v, 7);
        ++seen[static_cast<std::size_t>(v)];
    }
    for (int v = 1; v <= 7; ++v) EXPECT_GT(seen[v], 800) << v;  // about 1000 each
}

TEST(Random, EngineDrawsWhatTheStandardMersenneTwisterDraws) {
    for (const std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{7}, std::uint64_t{5489}, UINT64_MAX}) {
        RandomEngine engine(seed);
        std::mt19937_64 standard(seed);
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(engine(), standard()) << seed << " " << i;  // six twists
    }
}

// The sampling as first written: the limit worked out for every draw.
std::int64_t reference_random_int(RandomEngine& engine, std::int64_t low, std::int64_t high) {
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
    if (span == 0) return static_cast<std::int64_t>(engine());
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::uint64_t draw = engine();
    while (draw >= limit) draw = engine();
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + draw % span);
}

TEST(Random, SameValuesAsWorkingOutTheLimitEveryTime) {
    // Spans from tiny to so wide that a third of all draws fall in the rejection zone.
    const std::int64_t highs[] = {0, 6, 13805, INT64_MAX / 3 * 2, INT64_MAX - 1, INT64_MAX};
    for (const std::int64_t high : highs) {
        RandomEngine engine(11), reference(11);
        for (int i = 0; i < 2000; ++i) {
            ASSERT_EQ(random_int(engine, 0, high), reference_random_int(reference, 0, high)) << high << " " << i;
        }
        EXPECT_EQ(engine, reference) << "the same number of draws";
    }
    RandomEngine engine(3), reference(3);
    EXPECT_EQ(random_int(engine, INT64_MIN, INT64_MAX), reference_random_int(reference, INT64_MIN, INT64_MAX));
}

TEST(Points, SplitKeepsOrderAndLength) {
    const ChannelPair pair = split_channels({{1, 2}, {3, 4}, {5, 6}});
    EXPECT_EQ(pair.x, (Wavetable{1, 3, 5}));
    EXPECT_EQ(pair.y, (Wavetable{2, 4, 6}));
}

}  // namespace
}  // namespace lumo
