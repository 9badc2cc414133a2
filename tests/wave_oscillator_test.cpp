// The oscillator's six waveforms and the per-frame mixing step.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "wave/oscillator.hpp"

namespace lumo {
namespace {

constexpr float kTwoPi = 6.2831855f;

Oscillator computed(Waveform waveform, float frequency) {
    Oscillator o;
    o.waveform = waveform;
    o.frequency = frequency;
    o.sample_rate = 96000.0f;
    return o;
}

Oscillator table_of(Wavetable wave) {
    Oscillator o;
    o.wave = std::move(wave);
    return o;
}

// The harmonic sum written out term by term, for the harmonics listed.
float reference_sum(float frequency, float n, const std::vector<int>& harmonics, bool inverse_square) {
    float sum = 0.0f;
    for (int k : harmonics) {
        const float kf = static_cast<float>(k);
        const float c = inverse_square ? 1.0f / (kf * kf) : 1.0f / kf;
        const float term = c * std::sin((((frequency * kf) * n) * kTwoPi) / 96000.0f);
        sum = sum + term;
    }
    return sum;
}

std::vector<int> harmonics(int first, int last, int step) {
    std::vector<int> ks;
    for (int k = first; k <= last; k += step) ks.push_back(k);
    return ks;
}

TEST(OscillatorTable, StartsAtTheSecondValueAndCycles) {
    Oscillator o = table_of({10.0f, 20.0f, 30.0f});
    std::vector<float> got;
    for (int i = 0; i < 7; ++i) got.push_back(tick(o));
    EXPECT_EQ(got, (std::vector<float>{20, 30, 10, 20, 30, 10, 20}));

    Oscillator single = table_of({0.25f});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(tick(single), 0.25f);
    EXPECT_EQ(single.index, 0u);

    // A synth voice switched to a table keeps its sine's counter: wrap, never read past.
    Oscillator switched = table_of({1.0f, 2.0f});
    switched.index = 95999;
    EXPECT_EQ(tick(switched), 1.0f);
}

TEST(OscillatorSine, FirstValueAndCounterWrapAtOneSecond) {
    Oscillator o = computed(Waveform::Sine, 440.0f);
    EXPECT_EQ(tick(o), std::sin(((440.0f * 1.0f) * kTwoPi) / 96000.0f));
    EXPECT_EQ(o.index, 1u);
    o.index = 95998;
    tick(o);
    EXPECT_EQ(o.index, 95999u);
    EXPECT_EQ(tick(o), std::sin(0.0f));
    EXPECT_EQ(o.index, 0u);
    tick(o);
    EXPECT_EQ(o.index, 1u);
}

TEST(OscillatorHarmonics, AboveNyquistSilentAtNyquistOnlyTheFundamental) {
    Oscillator above = computed(Waveform::Square, 48000.5f);
    EXPECT_EQ(tick(above), 0.0f);
    EXPECT_EQ(above.index, 1u);
    Oscillator o = computed(Waveform::Square, 48000.0f);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(tick(o), std::sin(((48000.0f * static_cast<float>(n)) * kTwoPi) / 96000.0f));
    }
}

TEST(OscillatorHarmonics, At440HzEveryHarmonicUpToNyquistIsSummed) {
    // 440 × 109 = 47960 is within Nyquist, 440 × 111 is not.
    for (float n : {1.0f, 2.0f, 37.0f}) {
        Oscillator square = computed(Waveform::Square, 440.0f);
        Oscillator saw = computed(Waveform::Saw, 440.0f);
        Oscillator odd = computed(Waveform::OddInverseSquare, 440.0f);
        square.index = saw.index = odd.index = static_cast<std::uint32_t>(n) - 1;
        EXPECT_EQ(tick(square), reference_sum(440.0f, n, harmonics(1, 109, 2), false)) << n;
        EXPECT_EQ(tick(saw), reference_sum(440.0f, n, harmonics(1, 109, 1), false)) << n;
        EXPECT_EQ(tick(odd), reference_sum(440.0f, n, harmonics(1, 109, 2), true)) << n;
    }
    // One harmonic more or less would change the sum.
    EXPECT_NE(reference_sum(440.0f, 1.0f, harmonics(1, 111, 2), false),
              reference_sum(440.0f, 1.0f, harmonics(1, 109, 2), false));
}

TEST(OscillatorHarmonics, ToneThatNeverReachesNyquistGivesSilence) {
    Oscillator zero = computed(Waveform::Saw, 0.0f);
    EXPECT_EQ(tick(zero), 0.0f);
    Oscillator negative = computed(Waveform::Square, -440.0f);
    EXPECT_EQ(tick(negative), 0.0f);
    Oscillator nan = computed(Waveform::Square, std::nanf(""));
    EXPECT_EQ(tick(nan), 0.0f);
    EXPECT_EQ(nan.index, 1u);
}

float half_index(Oscillator& o) { return static_cast<float>(o.index) * 0.5f; }

TEST(OscillatorCustom, GeneratorOrSilenceAndTheCounterStays) {
    Oscillator o = computed(Waveform::Custom, 440.0f);
    o.index = 7;
    EXPECT_EQ(tick(o), 0.0f);
    o.generator = half_index;
    EXPECT_EQ(tick(o), 3.5f);
    EXPECT_EQ(o.index, 7u);
}

TEST(OscillatorDeath, DivisionsByZeroStop) {
    Oscillator empty = table_of({});
    EXPECT_EXIT(tick(empty), testing::ExitedWithCode(101), "remainder with a divisor of zero");
    Oscillator slow = computed(Waveform::Sine, 440.0f);
    slow.sample_rate = 0.5f;
    EXPECT_EXIT(tick(slow), testing::ExitedWithCode(101), "remainder with a divisor of zero");
    Oscillator nan = computed(Waveform::Saw, 440.0f);
    nan.sample_rate = std::nanf("");
    EXPECT_EXIT(tick(nan), testing::ExitedWithCode(101), "remainder with a divisor of zero");
}

// x counts 1, 2, 3, … and y counts 101, 102, …, so each sample shows which step it got.
struct CountingVoice {
    Oscillator x = table_of({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    Oscillator y = table_of({100, 101, 102, 103, 104, 105, 106, 107, 108, 109});
};

TEST(ProcessFrameMix, StepsOncePerFrameWhateverTheChannelCount) {
    {
        CountingVoice v;
        std::vector<float> buffer(8, 0.5f);
        process_frame_mix(buffer, v.x, v.y, 2);
        EXPECT_EQ(buffer, (std::vector<float>{1.5f, 101.5f, 2.5f, 102.5f, 3.5f, 103.5f, 4.5f, 104.5f}));
        EXPECT_EQ(v.x.index, 4u);
        EXPECT_EQ(v.y.index, 4u);
    }
    {
        CountingVoice v;
        std::vector<float> buffer(8, 0.0f);
        process_frame_mix(buffer, v.x, v.y, 4);
        EXPECT_EQ(buffer, (std::vector<float>{1, 101, 0, 0, 2, 102, 0, 0}));
        EXPECT_EQ(v.y.index, 2u);
    }
    {
        CountingVoice v;
        std::vector<float> buffer(8, 0.0f);
        process_frame_mix(buffer, v.x, v.y, 1);
        EXPECT_EQ(buffer, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_EQ(v.y.index, 8u);  // stepped though discarded
    }
    {
        CountingVoice v;
        std::vector<float> buffer;
        process_frame_mix(buffer, v.x, v.y, 2);
        EXPECT_EQ(v.x.index, 0u);
    }
}

TEST(ProcessFrameMixDeath, NoChannelsOrACutOffFrameStops) {
    CountingVoice v;
    std::vector<float> buffer(4, 0.0f);
    EXPECT_EXIT(process_frame_mix(buffer, v.x, v.y, 0), testing::ExitedWithCode(101),
                "chunk size must be non-zero");
    std::vector<float> odd(3, 0.0f);
    EXPECT_EXIT(process_frame_mix(odd, v.x, v.y, 2), testing::ExitedWithCode(101), "index out of bounds");
}

}  // namespace
}  // namespace lumo
