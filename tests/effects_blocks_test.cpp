// The blocks effect: figure length, the first frame's projection, the restart timing and
// the seeded randomness of the speeds.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/random.hpp"
#include "effects/blocks.hpp"

namespace lumo {
namespace {

constexpr std::size_t kSlice = 1920;

// An engine whose first speed (block 0's) is `speed`.
RandomEngine first_speed(std::int64_t speed) {
    for (std::uint64_t seed = 1;; ++seed) {
        RandomEngine probe(seed);
        if (random_int(probe, 1, 7) == speed) return RandomEngine(seed);
    }
}

float project(float coordinate, float z) { return ((coordinate * 50.0f) / z * 200.0f) / 100.0f; }

TEST(Blocks, FigureLength) {
    RandomEngine random(1);
    EXPECT_EQ(blocks(400, random).size(), 399 * kSlice);
    EXPECT_TRUE(blocks(1, random).empty());
    EXPECT_TRUE(blocks(0, random).empty());
    EXPECT_TRUE(blocks(-3, random).empty());
}

TEST(Blocks, FirstFrameOfASlowBlock) {
    RandomEngine slow = first_speed(1);
    const ChannelPair figure = blocks(2, slow);
    ASSERT_EQ(figure.size(), kSlice);

    // Near face at z = 499: its top edge is x = -6 ... -3 at y = 6.012, each point held twice.
    const float near_top = project(30, 499) / 100.0f;
    const float xs[] = {-6, -5, -4, -3};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(figure[2 * i], (Point{xs[i] / 100.0f, near_top})) << i;
        EXPECT_EQ(figure[2 * i + 1], figure[2 * i]);
    }
    // Four edges of four points make the near face; the far face's top edge (z = 539)
    // follows with only x = -5, -4, -3, and then its right edge starts at x = -1.855.
    const float far_top = project(30, 539) / 100.0f;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(figure[32 + 2 * i], (Point{(xs[i + 1]) / 100.0f, far_top})) << i;
    }
    EXPECT_EQ(figure[38].x, project(-10, 539) / 100.0f);
}

// x of the first point of frame k (from 1): the upper left corner of block 0's near face.
float frame_start_x(const ChannelPair& figure, std::size_t k) { return figure.x[(k - 1) * kSlice]; }

TEST(Blocks, FastBlocksRestart) {
    RandomEngine random = first_speed(7);
    const ChannelPair fast = blocks(400, random);
    // Speed 7: drawn at z = 493 - 7 (k - 1), last at 45 in frame 65, back at 493 in frame 66.
    EXPECT_EQ(frame_start_x(fast, 1), -6.0f / 100.0f);
    EXPECT_EQ(frame_start_x(fast, 64), -57.0f / 100.0f);
    EXPECT_EQ(frame_start_x(fast, 65), -66.0f / 100.0f);
    EXPECT_EQ(frame_start_x(fast, 66), -6.0f / 100.0f);

    random = first_speed(5);
    const ChannelPair medium = blocks(400, random);
    // Speed 5: z = 50 in frame 90, which is drawn; the restart comes at frame 91.
    EXPECT_EQ(frame_start_x(medium, 90), -60.0f / 100.0f);
    EXPECT_EQ(frame_start_x(medium, 91), -6.0f / 100.0f);

    random = first_speed(1);
    const ChannelPair slow = blocks(400, random);
    // Speed 1 never restarts: z = 101 in the last frame.
    EXPECT_EQ(frame_start_x(slow, 399), -29.0f / 100.0f);
}

TEST(Blocks, SeededRunsRepeatAndSystemSeededRunsDiffer) {
    RandomEngine first_engine(9), second_engine(9);
    EXPECT_EQ(blocks(100, first_engine), blocks(100, second_engine));

    // Engines seeded from the system draw different speeds, and with the restarts of 400
    // frames a match is out of reach.
    RandomEngine a = seeded_from_system(), b = seeded_from_system();
    EXPECT_NE(blocks(400, a), blocks(400, b));
}

}  // namespace
}  // namespace lumo
