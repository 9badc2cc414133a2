// The sweeping low-pass: the held state at 0 Hz and the opening sweep.
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

TEST(SweepingLowpass, RisingCutoffOpensUpWithoutOvershoot) {
    std::vector<float> samples(32, 1.0f);
    samples[0] = 0.0f;
    sweeping_lowpass(samples, 0.0f, 6000.0f);
    // At the first sample the cutoff is 0 Hz, so the state passes unchanged.
    EXPECT_EQ(samples[0], 0.0f);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        EXPECT_GT(samples[i], samples[i - 1]) << i;
        EXPECT_LT(samples[i], 1.0f) << i;
    }
    // A constant cutoff of 6 kHz gives alpha = dt / (RC + dt), about 0.28, from the start.
    std::vector<float> step{0.0f, 1.0f};
    sweeping_lowpass(step, 6000.0f, 6000.0f);
    EXPECT_NEAR(step[1], 0.2820f, 1e-4f);
}

TEST(SweepingLowpass, SampleBySampleAsWritten) {
    // Long enough to cross the blocks in which the coefficients are worked out ahead.
    std::vector<float> samples(1000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>((i * 37) % 101) / 50.0f - 1.0f;
    std::vector<float> expected = samples;
    const float n = static_cast<float>(expected.size());
    float y = expected[0];
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const float f = 100.0f + (6000.0f - 100.0f) * (static_cast<float>(i) / n);
        const float rc = 1.0f / ((f + f) * 3.1415927f);
        const float alpha = 1.0416667e-5f / (rc + 1.0416667e-5f);
        y = y + (expected[i] - y) * alpha;
        expected[i] = y;
    }
    sweeping_lowpass(samples, 100.0f, 6000.0f);
    EXPECT_EQ(samples, expected);
}

}  // namespace
}  // namespace lumo
