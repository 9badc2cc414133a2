// The sweeping low-pass: its fixed points and the recurrence it must follow exactly.
#include <gtest/gtest.h>

#include <vector>

#include "wave/filter.hpp"

namespace lumo {
namespace {

TEST(SweepingLowpass, ZeroCutoffHoldsTheFirstSample) {
    std::vector<float> samples{0.25f, 1.0f, -1.0f, 0.5f};
    sweeping_lowpass(samples, 0.0f, 0.0f);
    EXPECT_EQ(samples, (std::vector<float>{0.25f, 0.25f, 0.25f, 0.25f}));
}

TEST(SweepingLowpass, EmptyIsLeftAlone) {
    std::vector<float> samples;
    sweeping_lowpass(samples, 100.0f, 6000.0f);
    EXPECT_TRUE(samples.empty());
}

TEST(SweepingLowpass, FollowsTheRecurrenceSampleBySample) {
    std::vector<float> samples{0.0f, 1.0f, 1.0f, -0.5f, 0.75f};
    const std::vector<float> input = samples;
    sweeping_lowpass(samples, 0.0f, 6000.0f);

    // The cutoff rises from 0 at i = 0, so the first output is the state itself.
    float y = input[0];
    const float n = 5.0f;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const float f = 0.0f + (6000.0f - 0.0f) * (static_cast<float>(i) / n);
        const float rc = 1.0f / ((f + f) * 3.1415927f);
        const float alpha = 1.0416667e-5f / (rc + 1.0416667e-5f);
        y = y + (input[i] - y) * alpha;
        EXPECT_EQ(samples[i], y) << i;
    }
    // A rising cutoff lets the step through more and more, but never overshoots it.
    EXPECT_GT(samples[2], samples[1]);
    EXPECT_LT(samples[2], 1.0f);
}

TEST(SweepingLowpass, HighCutoffTracksTheInputClosely) {
    std::vector<float> samples(64, 1.0f);
    samples[0] = 0.0f;
    sweeping_lowpass(samples, 40000.0f, 40000.0f);
    // alpha is about 0.72 at 40 kHz: within a few dozen samples the step is reached.
    EXPECT_GT(samples[1], 0.7f);
    EXPECT_NEAR(samples.back(), 1.0f, 1e-6f);
}

}  // namespace
}  // namespace lumo
