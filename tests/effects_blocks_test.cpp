// The blocks effect: figure length, the first frame's projection, the restart timing and
// the seeded randomness of the speeds.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "core/random.hpp"
#include "effects/blocks.hpp"

namespace lumo {
namespace {

constexpr std::size_t kSlice = 1920;

// A seed whose first speed (block 0's) is `speed`.
std::uint64_t seed_for_first_speed(std::int64_t speed) {
    for (std::uint64_t seed = 1;; ++seed) {
        seed_random(seed);
        if (random_int(1, 7) == speed) return seed;
    }
}

float project(float coordinate, float z) { return ((coordinate * 50.0f) / z * 200.0f) / 100.0f; }

TEST(Blocks, FigureLength) {
    EXPECT_EQ(blocks(400).size(), 399 * kSlice);
    EXPECT_TRUE(blocks(1).empty());
    EXPECT_TRUE(blocks(0).empty());
    EXPECT_TRUE(blocks(-3).empty());
}

TEST(Blocks, FirstFrameOfASlowBlock) {
    seed_random(seed_for_first_speed(1));
    const PointList figure = blocks(2);
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
float frame_start_x(const PointList& figure, std::size_t k) { return figure[(k - 1) * kSlice].x; }

TEST(Blocks, FastBlocksRestart) {
    seed_random(seed_for_first_speed(7));
    const PointList fast = blocks(400);
    // Speed 7: drawn at z = 493 - 7 (k - 1), last at 45 in frame 65, back at 493 in frame 66.
    EXPECT_EQ(frame_start_x(fast, 1), -6.0f / 100.0f);
    EXPECT_EQ(frame_start_x(fast, 64), -57.0f / 100.0f);
    EXPECT_EQ(frame_start_x(fast, 65), -66.0f / 100.0f);
    EXPECT_EQ(frame_start_x(fast, 66), -6.0f / 100.0f);

    seed_random(seed_for_first_speed(5));
    const PointList medium = blocks(400);
    // Speed 5: z = 50 in frame 90, which is drawn; the restart comes at frame 91.
    EXPECT_EQ(frame_start_x(medium, 90), -60.0f / 100.0f);
    EXPECT_EQ(frame_start_x(medium, 91), -6.0f / 100.0f);

    seed_random(seed_for_first_speed(1));
    const PointList slow = blocks(400);
    // Speed 1 never restarts: z = 101 in the last frame.
    EXPECT_EQ(frame_start_x(slow, 399), -29.0f / 100.0f);
}

TEST(Blocks, SeededRunsRepeatAndUnseededRunsDiffer) {
    seed_random(9);
    const PointList first = blocks(100);
    seed_random(9);
    EXPECT_EQ(blocks(100), first);

    // Each thread's generator starts from the operating system: two fresh threads draw
    // different speeds, and with the restarts of 400 frames a match is out of reach.
    PointList a, b;
    std::thread([&a] { a = blocks(400); }).join();
    std::thread([&b] { b = blocks(400); }).join();
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace lumo
