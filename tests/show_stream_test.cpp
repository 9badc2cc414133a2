// Stream construction over the fake host: what the stream is asked for, who owns the
// show afterwards, and that every sample type plays the same state.
#include <gtest/gtest.h>

#include <vector>

#include "audio/fake.hpp"
#include "show/stream.hpp"

namespace lumo {
namespace {

// Voice 2 (the first event's voice) plays a short known figure; the others one zero.
PreparedShow small_show(std::shared_ptr<const Score> score) {
    PreparedShow show;
    for (ChannelPair& figure : show.voice_figures) figure = {{0.0f}, {0.0f}};
    show.voice_figures[1] = {{0.5f, -0.25f, 1.0f}, {-1.0f, 0.75f, 0.125f}};
    show.score = std::move(score);
    return show;
}

// A start instant far ahead of the clock: the show time stays 0 however long a test runs.
MonotonicInstant frozen_start() { return {monotonic_now().seconds + 1000000, 0}; }

constexpr audio::StreamConfig kShowConfig{2, 96000};

template <class T> void expect_plays_the_first_event() {
    audio::FakeDevice device({.name = "card"});
    auto built = build_stream<T>(device, kShowConfig, frozen_start(), small_show(make_score()));
    ASSERT_TRUE(built.ok());
    audio::FakeStreamRecord& record = device.record().stream(0);
    EXPECT_EQ(record.format, audio::sample_format_of<T>());
    EXPECT_EQ(record.config.channels, 2);
    EXPECT_EQ(record.config.sample_rate, 96000u);
    EXPECT_EQ(record.play_calls, 0);
    // The table starts at its second value and wraps.
    const std::vector<float> mix = {-0.25f, 0.75f, 1.0f, 0.125f, 0.5f, -1.0f, -0.25f, 0.75f};
    std::vector<T> expected;
    for (float v : mix) expected.push_back(convert_sample<T>(v));
    EXPECT_EQ(record.pump<T>(4), expected) << "sample type of size " << sizeof(T);
}

TEST(BuildStream, EverySampleTypePlaysTheSameState) {
    expect_plays_the_first_event<std::int8_t>();
    expect_plays_the_first_event<std::int16_t>();
    expect_plays_the_first_event<std::int32_t>();
    expect_plays_the_first_event<std::int64_t>();
    expect_plays_the_first_event<std::uint8_t>();
    expect_plays_the_first_event<std::uint16_t>();
    expect_plays_the_first_event<std::uint32_t>();
    expect_plays_the_first_event<std::uint64_t>();
    expect_plays_the_first_event<float>();
    expect_plays_the_first_event<double>();
}

TEST(BuildStream, TheCallbackHoldsTheLastScoreReferenceUntilClosed) {
    std::shared_ptr<const Score> score = make_score();
    audio::FakeDevice device({.name = "card"});
    auto built = build_stream<float>(device, kShowConfig, frozen_start(), small_show(score));
    ASSERT_TRUE(built.ok());
    EXPECT_EQ(score.use_count(), 2);  // this test's and the callback's
    std::unique_ptr<audio::Stream> stream = std::move(built).value();
    ASSERT_TRUE(stream->play().ok());
    EXPECT_EQ(device.record().stream(0).play_calls, 1);
    stream.reset();
    EXPECT_TRUE(device.record().stream(0).closed);
    EXPECT_EQ(score.use_count(), 1);
}

TEST(BuildStream, FailureIsAnErrorValueAndKeepsNothing) {
    std::shared_ptr<const Score> score = make_score();
    audio::FakeDevice device({.name = "card", .build_error = Error("The requested stream type is not supported by the device.")});
    auto built = build_stream<std::int16_t>(device, kShowConfig, frozen_start(), small_show(score));
    ASSERT_FALSE(built.ok());
    EXPECT_EQ(built.error().message(), "The requested stream type is not supported by the device.");
    EXPECT_EQ(score.use_count(), 1);
    EXPECT_TRUE(device.record().streams.empty());
}

TEST(BuildStream, StreamErrorsArePrintedAndPlayGoesOn) {
    audio::FakeDevice device({.name = "card"});
    auto built = build_stream<float>(device, kShowConfig, frozen_start(), small_show(make_score()));
    ASSERT_TRUE(built.ok());
    audio::FakeStreamRecord& record = device.record().stream(0);
    testing::internal::CaptureStderr();
    record.report_error("underrun");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error building output sound stream: underrun\n");
    EXPECT_EQ(record.pump<float>(1).size(), 2u);
}

TEST(BuildStreamDeath, WrongSampleTypeFromTheHostStops) {
    audio::FakeDevice device({.name = "card"});
    auto built = build_stream<float>(device, kShowConfig, frozen_start(), small_show(make_score()));
    ASSERT_TRUE(built.ok());
    std::vector<std::int16_t> samples(4);
    EXPECT_EXIT(device.record().stream(0).pump_into({samples.data(), samples.size(), audio::SampleFormat::I16}),
                testing::ExitedWithCode(101), "host supplied incorrect sample type");
}

// The whole show, prepared once: the one test that pays for rendering every figure.
TEST(MakeStreamFor, PreparesTheShowAndBuildsTheStreamOfTheFormat) {
    audio::FakeDevice device({.name = "card"});
    RandomEngine random(1);
    auto built = make_stream_for(audio::SampleFormat::U16, device, kShowConfig, random);
    ASSERT_TRUE(built.ok());
    audio::FakeStreamRecord& record = device.record().stream(0);
    EXPECT_EQ(record.format, audio::SampleFormat::U16);
    EXPECT_EQ(record.pump<std::uint16_t>(audio::kMaxFramesPerCallback).size(), audio::kMaxFramesPerCallback * 2);
}

}  // namespace
}  // namespace lumo
