// The backend-neutral choices: the default configuration a device's offer gives, its
// rate ranges, the pauses between retries, and how underruns are measured and summed up.
#include <gtest/gtest.h>

#include "audio/default_config.hpp"
#include "audio/retry.hpp"
#include "audio/underruns.hpp"

namespace lumo::audio {
namespace {

using Entry = SupportedConfigRange;
constexpr BufferSizeRange kBuffer{16, 65536};

SampleFormat picked_format(std::initializer_list<Entry> entries) {
    return pick_default_config(std::vector<Entry>(entries)).value().sample_format;
}

TEST(DefaultConfigRule, ChannelsComeFirstThenFormatThenRate) {
    // Stereo in any format beats mono or many channels in F32; mono beats many channels.
    EXPECT_EQ(picked_format({{1, 8000, 48000, kBuffer, SampleFormat::F32},
                             {2, 8000, 48000, kBuffer, SampleFormat::U8},
                             {6, 8000, 48000, kBuffer, SampleFormat::F32}}),
              SampleFormat::U8);
    EXPECT_EQ(pick_default_config(std::vector<Entry>{{1, 8000, 48000, kBuffer, SampleFormat::I8},
                                                     {6, 8000, 48000, kBuffer, SampleFormat::F32}})
                  ->channels,
              1);
    // F32, then I16, then U16, whatever the order of the list.
    EXPECT_EQ(picked_format({{2, 8000, 48000, kBuffer, SampleFormat::F32},
                             {2, 8000, 48000, kBuffer, SampleFormat::I16},
                             {2, 8000, 48000, kBuffer, SampleFormat::U16}}),
              SampleFormat::F32);
    EXPECT_EQ(picked_format({{2, 8000, 48000, kBuffer, SampleFormat::U16},
                             {2, 8000, 48000, kBuffer, SampleFormat::I16},
                             {2, 8000, 48000, kBuffer, SampleFormat::I32}}),
              SampleFormat::I16);
    // Among formats preferred equally, the later entry wins.
    EXPECT_EQ(picked_format({{2, 8000, 48000, kBuffer, SampleFormat::I32},
                             {2, 8000, 48000, kBuffer, SampleFormat::F64},
                             {2, 8000, 48000, kBuffer, SampleFormat::U8}}),
              SampleFormat::U8);
    EXPECT_FALSE(pick_default_config({}).has_value());
}

TEST(DefaultConfigRule, RateIs44100WhenTheRangeHoldsItElseTheMax) {
    const auto picked = pick_default_config(std::vector<Entry>{{2, 96000, 96000, kBuffer, SampleFormat::I16},
                                                               {2, 8000, 48000, kBuffer, SampleFormat::I16},
                                                               {2, 88200, 88200, kBuffer, SampleFormat::I16}});
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->sample_rate, 44100u);
    EXPECT_EQ(debug_form(*picked),
              "SupportedStreamConfig { channels: 2, sample_rate: SampleRate(44100), buffer_size: Range { min: 16, "
              "max: 65536 }, sample_format: I16 }");
    // Without 44100 anywhere, the higher max rate wins and is the rate.
    const auto high = pick_default_config(std::vector<Entry>{{2, 96000, 96000, std::nullopt, SampleFormat::F32},
                                                             {2, 48000, 48000, std::nullopt, SampleFormat::F32}});
    EXPECT_EQ(high->sample_rate, 96000u);
    EXPECT_FALSE(high->buffer_size.has_value());
}

TEST(RateRanges, OneRangeForContinuousRatesElseTheCommonRatesAccepted) {
    using Ranges = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    EXPECT_EQ(rate_ranges(1, 384000, [](std::uint32_t) { return true; }), (Ranges{{1, 384000}}));
    EXPECT_EQ(rate_ranges(48000, 48000, [](std::uint32_t) { return false; }), (Ranges{{48000, 48000}}));
    const auto discrete = [](std::uint32_t rate) { return rate == 44100 || rate == 48000 || rate == 96000; };
    EXPECT_EQ(rate_ranges(44100, 96000, discrete), (Ranges{{44100, 44100}, {48000, 48000}, {96000, 96000}}));
    EXPECT_EQ(rate_ranges(44101, 44103, [](std::uint32_t rate) { return rate == 44103; }),
              (Ranges{{44101, 44103}}));
}

// A failure that persists is tried again less and less often, never more than half a
// second apart, so it neither spins nor leaves a returning device unheard for long.
TEST(RetryPause, StartsAtTheFirstPauseAndDoublesUpToHalfASecond) {
    std::vector<int> reopen;
    for (int pause = 0, i = 0; i < 7; ++i) reopen.push_back(pause = next_pause_ms(pause, kFirstReopenPauseMs));
    EXPECT_EQ(reopen, (std::vector<int>{100, 200, 400, 500, 500, 500, 500}));
    EXPECT_EQ(next_pause_ms(0, kFirstErrorPauseMs), 10);
    EXPECT_EQ(next_pause_ms(320, kFirstErrorPauseMs), 500);
    EXPECT_EQ(next_pause_ms(1 << 30, kFirstErrorPauseMs), 500);
}

// The silence an underrun caused: what was queued at the last write, at the stream's rate,
// against the time since; a device still holding samples has caused none.
TEST(Underruns, SilenceIsTheTimePastWhatWasQueued) {
    constexpr std::int64_t ms = 1'000'000;
    EXPECT_EQ(silent_ns(0, 9600, 100 * ms, 96000), 0);            // exactly used up
    EXPECT_EQ(silent_ns(0, 9600, 60 * ms, 96000), 0);             // 40 ms still queued
    EXPECT_EQ(silent_ns(5 * ms, 9600, 180 * ms, 96000), 75 * ms);
    EXPECT_EQ(silent_ns(0, -50, 3 * ms, 96000), 3 * ms);          // a negative delay holds nothing
    EXPECT_EQ(silent_ns(0, INT64_MAX, 3 * ms, 96000), 0);         // no overflow
    EXPECT_EQ(silent_ns(0, 9600, 3 * ms, 0), 0);

    UnderrunTally tally;
    EXPECT_EQ(read_underruns(tally).count, 0u);
    add_underrun(tally, 25 * ms);
    EXPECT_EQ(underrun_summary(read_underruns(tally)), "1 underrun, longest 25 ms");
    add_underrun(tally, 175 * ms + 1);
    add_underrun(tally, 50 * ms);
    EXPECT_EQ(underrun_summary(read_underruns(tally)), "3 underruns, longest 176 ms");  // rounded up
}

}  // namespace
}  // namespace lumo::audio
