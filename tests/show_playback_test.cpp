// The playback callback at chosen show times: which events sound, how voices mix, how
// the mix is limited and converted to each sample type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "show/playback.hpp"
#include "show/view_ring.hpp"

namespace lumo {
namespace {

using Figures = std::array<ChannelPair, kVoiceCount - 1>;

// Every figure voice plays one zero unless given its own x and y tables.
Figures figures_with(std::initializer_list<std::pair<int, ChannelPair>> voices) {
    Figures figures;
    for (ChannelPair& figure : figures) figure = {{0.0f}, {0.0f}};
    for (const auto& [voice, pair] : voices) figures[voice - 1] = pair;
    return figures;
}

PlaybackState state_for(Score score, Figures figures, std::size_t max_samples = 64) {
    return make_playback_state({0, 0}, std::move(figures), std::make_shared<const Score>(std::move(score)),
                               max_samples);
}

template <class T> std::vector<T> render(PlaybackState& state, float t, std::size_t samples = 8) {
    std::vector<T> out(samples, T{99});
    render_buffer<T>(state, out, t);
    return out;
}

template <class T> void expect_all(const std::vector<T>& samples, T value) {
    for (T s : samples) EXPECT_EQ(s, value) << "sample type of size " << sizeof(T);
}

TEST(PlaybackState, VoicesAreBuiltAroundTheMovedFigures) {
    Figures figures = figures_with({{1, {{1, 2, 3}, {4, 5, 6}}}});
    const float* x_data = figures[0].x.data();
    const float* y_data = figures[0].y.data();
    auto score = std::make_shared<const Score>(Score{{0, 1, 6}, {0, 1, 7}, {0, 1, 8}});
    PlaybackState state = make_playback_state({5, 6}, std::move(figures), score, 100);

    EXPECT_EQ(state.start.seconds, 5);
    EXPECT_EQ(state.start.nanoseconds, 6u);
    EXPECT_EQ(state.channels, 2u);
    EXPECT_EQ(state.score, score);
    EXPECT_GE(state.mix.capacity(), 100u);
    EXPECT_GE(state.active.capacity(), 3u);

    EXPECT_TRUE(state.voices[0].x.wave.empty());
    EXPECT_EQ(state.voices[0].x.waveform, Waveform::Sine);
    EXPECT_EQ(state.voices[0].y.waveform, Waveform::Sine);
    EXPECT_EQ(state.voices[1].x.wave.data(), x_data);  // moved, not copied
    EXPECT_EQ(state.voices[1].y.wave.data(), y_data);
    EXPECT_EQ(state.voices[27].y.waveform, Waveform::Table);
    EXPECT_EQ(state.voices[27].y.frequency, 440.0f);
}

TEST(ShowTime, SecondsAndNanosecondsSinceTheStart) {
    EXPECT_EQ(show_time({10, 0}, {10, 0}), 0.0f);
    EXPECT_EQ(show_time({10, 0}, {12, 500000000}), 2.0f + 0.5f);
    // Borrowing a second: 0.75 s, computed as 0 + 750000000 / 1e9.
    EXPECT_EQ(show_time({10, 900000000}, {11, 650000000}), 750000000.0f / 1000000000.0f);
    EXPECT_EQ(show_time({10, 0}, {9, 999999999}), 0.0f);
    EXPECT_EQ(show_time({10, 5}, {10, 4}), 0.0f);
}

template <class T> void expect_silence_without_events(T zero) {
    PlaybackState state = state_for({{1.0f, 2.0f, 6}}, figures_with({{1, {{0.5f}, {0.5f}}}}));
    expect_all(render<T>(state, 0.5f), zero);
    expect_all(render<T>(state, 2.0f), zero);
}

TEST(RenderBuffer, NoEventGivesEachTypesZero) {
    expect_silence_without_events<std::int8_t>(0);
    expect_silence_without_events<std::int16_t>(0);
    expect_silence_without_events<std::int32_t>(0);
    expect_silence_without_events<std::int64_t>(0);
    expect_silence_without_events<std::uint8_t>(128);
    expect_silence_without_events<std::uint16_t>(32768);
    expect_silence_without_events<std::uint32_t>(2147483648u);
    expect_silence_without_events<std::uint64_t>(9223372036854775808u);
    expect_silence_without_events<float>(0.0f);
    expect_silence_without_events<double>(0.0);
}

TEST(RenderBuffer, EventsAreHalfOpenIntervals) {
    PlaybackState state = state_for({{1.0f, 2.0f, 6}, {3.0f, 3.0f, 7}, {5.0f, 4.0f, 7}, {0.0f, NAN, 7}},
                                    figures_with({{1, {{0.25f}, {-0.25f}}}, {2, {{0.5f}, {0.5f}}}}));
    EXPECT_EQ(render<float>(state, 1.0f, 2), (std::vector<float>{0.25f, -0.25f}));
    EXPECT_EQ(render<float>(state, std::nextafter(2.0f, 0.0f), 2), (std::vector<float>{0.25f, -0.25f}));
    EXPECT_EQ(render<float>(state, 2.0f, 2), (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(render<float>(state, 3.0f, 2), (std::vector<float>{0.0f, 0.0f}));   // empty span
    EXPECT_EQ(render<float>(state, 4.5f, 2), (std::vector<float>{0.0f, 0.0f}));   // reversed span
    EXPECT_EQ(render<float>(state, NAN, 2), (std::vector<float>{0.0f, 0.0f}));
}

TEST(RenderBuffer, VoicesResumeWhereTheyStopped) {
    PlaybackState state = state_for({{0.0f, 1.0f, 6}}, figures_with({{1, {{0.0f, 0.125f, 0.25f, 0.375f, 0.5f}, {0, 0, 0, 0, 0}}}}));
    std::vector<float> first = render<float>(state, 0.0f, 4);
    render<float>(state, 5.0f, 4);  // silent: the voice is not stepped
    std::vector<float> second = render<float>(state, 0.5f, 6);
    EXPECT_EQ(first, (std::vector<float>{0.125f, 0, 0.25f, 0}));
    EXPECT_EQ(second, (std::vector<float>{0.375f, 0, 0.5f, 0, 0.0f, 0}));
}

TEST(RenderBuffer, SameVoiceTwiceStepsTwiceAndAddsBoth) {
    PlaybackState state =
        state_for({{0.0f, 1.0f, 6}, {0.0f, 1.0f, 6}}, figures_with({{1, {{0.0f, 0.125f, 0.25f, 0.375f, 0.5f}, {0, 0, 0, 0, 0}}}}));
    // Pass one takes values 1 and 2, pass two values 3 and 4 (of eighths).
    EXPECT_EQ(render<float>(state, 0.0f, 4), (std::vector<float>{0.125f + 0.375f, 0.0f, 0.25f + 0.5f, 0.0f}));
    EXPECT_EQ(state.voices[1].x.index, 4u);
}

TEST(RenderBuffer, SumsAreLimitedBeforeConversion) {
    PlaybackState state = state_for({{0.0f, 1.0f, 6}, {0.0f, 1.0f, 7}, {0.0f, 1.0f, 8}},
                                    figures_with({{1, {{0.9f}, {-1.0f}}}, {2, {{0.8f}, {-1.0f}}}, {3, {{0.0f}, {-1.0f}}}}));
    EXPECT_EQ(render<std::int16_t>(state, 0.5f, 2), (std::vector<std::int16_t>{32767, -32768}));
    EXPECT_EQ(render<float>(state, 0.5f, 2), (std::vector<float>{1.0f, -1.0f}));

    PlaybackState nan = state_for({{0.0f, 1.0f, 6}}, figures_with({{1, {{NAN}, {2.0f}}}}));
    std::vector<float> out = render<float>(nan, 0.5f, 2);
    EXPECT_TRUE(std::isnan(out[0]));
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(render<std::int32_t>(nan, 0.5f, 2)[0], 0);
}

TEST(ConvertSample, HalfScaleAndTheLimitsOfEveryType) {
    EXPECT_EQ(convert_sample<std::int8_t>(0.5f), 64);
    EXPECT_EQ(convert_sample<std::int16_t>(0.5f), 16384);
    EXPECT_EQ(convert_sample<std::int32_t>(0.5f), 1073741824);
    EXPECT_EQ(convert_sample<std::uint8_t>(0.5f), 192);
    EXPECT_EQ(convert_sample<std::uint16_t>(0.5f), 49152);

    EXPECT_EQ(convert_sample<std::int8_t>(1.0f), 127);
    EXPECT_EQ(convert_sample<std::int16_t>(1.0f), 32767);
    EXPECT_EQ(convert_sample<std::int32_t>(1.0f), 2147483647);
    EXPECT_EQ(convert_sample<std::int64_t>(1.0f), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(convert_sample<std::uint8_t>(1.0f), 255);
    EXPECT_EQ(convert_sample<std::uint16_t>(1.0f), 65535);
    EXPECT_EQ(convert_sample<std::uint32_t>(1.0f), 4294967295u);
    EXPECT_EQ(convert_sample<std::uint64_t>(1.0f), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(convert_sample<float>(1.0f), 1.0f);
    EXPECT_EQ(convert_sample<double>(1.0f), 1.0);

    EXPECT_EQ(convert_sample<std::int8_t>(-1.0f), -128);
    EXPECT_EQ(convert_sample<std::int16_t>(-1.0f), -32768);
    EXPECT_EQ(convert_sample<std::int32_t>(-1.0f), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(convert_sample<std::int64_t>(-1.0f), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(convert_sample<std::uint8_t>(-1.0f), 0);
    EXPECT_EQ(convert_sample<std::uint16_t>(-1.0f), 0);
    EXPECT_EQ(convert_sample<std::uint32_t>(-1.0f), 0u);
    EXPECT_EQ(convert_sample<std::uint64_t>(-1.0f), 0u);

    // Just below full scale: the largest float below 1 times 2^63 still fits.
    const float below_one = std::nextafter(1.0f, 0.0f);
    EXPECT_EQ(convert_sample<std::int64_t>(below_one), 9223371487098961920);
    EXPECT_EQ(convert_sample<double>(0.1f), static_cast<double>(0.1f));
    EXPECT_EQ(convert_sample<std::int16_t>(-0.00001f), 0);  // truncation toward zero
}

TEST(RenderBuffer, SynthCodesSetTheWaveformForLaterCalls) {
    PlaybackState state = state_for({{0.0f, 1.0f, 1}, {2.0f, 3.0f, 0}}, figures_with({}));
    std::vector<float> square = render<float>(state, 0.5f, 2);
    EXPECT_EQ(state.voices[0].x.waveform, Waveform::Square);
    EXPECT_EQ(state.voices[0].y.waveform, Waveform::Sine);
    EXPECT_NE(square[0], 0.0f);
    render<float>(state, 1.5f, 2);
    EXPECT_EQ(state.voices[0].x.waveform, Waveform::Square);  // outlasts its event
    render<float>(state, 2.5f, 2);
    EXPECT_EQ(state.voices[0].x.waveform, Waveform::Sine);
}

TEST(RenderBuffer, CodesWithoutAPlayableVoiceAreSilent) {
    // Code 4 makes the table-less synth voice a table; codes above 32 name no voice.
    PlaybackState state = state_for({{0.0f, 1.0f, 4}, {0.0f, 1.0f, 33}, {0.0f, 1.0f, 255}, {0.0f, 1.0f, 6}},
                                    figures_with({{1, {{0.25f}, {0.5f}}}}));
    EXPECT_EQ(render<float>(state, 0.5f, 4), (std::vector<float>{0.25f, 0.5f, 0.25f, 0.5f}));
    EXPECT_EQ(state.voices[0].x.waveform, Waveform::Table);
    EXPECT_EQ(state.voices[0].y.index, 0u);
}

TEST(RenderBuffer, BufferLargerThanTheMixIsRenderedInWholeFrames) {
    Wavetable ramp_x, ramp_y;
    for (int i = 0; i < 37; ++i) {
        ramp_x.push_back(static_cast<float>(i) / 64.0f);
        ramp_y.push_back(-static_cast<float>(i) / 64.0f);
    }
    Score score{{0.0f, 1.0f, 6}, {0.0f, 1.0f, 7}};
    Figures figures = figures_with({{1, {ramp_x, ramp_y}}, {2, {ramp_y, ramp_x}}});
    PlaybackState roomy = state_for(score, figures, 1000);
    PlaybackState tight = state_for(score, figures, 7);  // 3 frames
    EXPECT_EQ(render<std::int32_t>(tight, 0.5f, 200), render<std::int32_t>(roomy, 0.5f, 200));
    EXPECT_EQ(tight.mix.capacity(), 7u);
}

// The view gets the samples the device gets, limited, piece by piece as they are mixed,
// once the buffer is published; frames the writer may since have overwritten are refused.
TEST(ViewRing, TheViewReadsWhatTheDevicePlays) {
    Wavetable loud{0.5f, 3.0f, -2.0f, 0.25f, 0.0f};
    Score score{{0.0f, 1.0f, 6}, {0.0f, 1.0f, 6}};
    PlaybackState state = state_for(score, figures_with({{1, {loud, loud}}}), 7);
    const std::size_t frames = audio::kMaxFramesPerCallback + 100;
    state.view = std::make_shared<ViewRing>(frames);
    std::vector<float> out(40);
    render_buffer<float>(state, out, 0.5f);
    std::vector<float> seen(40);
    EXPECT_FALSE(state.view->read(0, seen)) << "read before the publish";
    publish_to_view(state, {3, 500});
    ASSERT_TRUE(state.view->read(0, seen));
    EXPECT_EQ(seen, out);
    const ViewRing::Mark mark = state.view->mark();
    EXPECT_EQ(mark.written, 20);
    EXPECT_EQ(mark.at_nanoseconds, 3000000500);
    // The buffer just handed over is queued behind one buffer's worth and plays at the rate.
    EXPECT_EQ(presented_frame(mark, 3000000500, 96000), 0);
    EXPECT_EQ(presented_frame(mark, 3000000500 + 100000, 96000), 9);  // 9.6 frames in 100 µs
    EXPECT_EQ(presented_frame(mark, 9000000000, 96000), 20);

    std::vector<float> ring_full(2 * frames);
    render_buffer<float>(state, ring_full, 0.5f);
    publish_to_view(state, {4, 0});
    EXPECT_FALSE(state.view->read(0, seen)) << "overwritten";
    const std::int64_t newest = static_cast<std::int64_t>(frames);  // the last 20 frames start here
    EXPECT_TRUE(state.view->read(newest, seen));
    EXPECT_FALSE(state.view->read(newest + 1, seen)) << "not written yet";
}

TEST(RenderBufferDeath, BrokenBuffersStop) {
    PlaybackState state = state_for({{0.0f, 1.0f, 6}}, figures_with({}));
    std::vector<float> cut(3);
    EXPECT_EXIT(render_buffer<float>(state, cut, 0.5f), testing::ExitedWithCode(101), "index out of bounds");
    PlaybackState no_room = state_for({{0.0f, 1.0f, 6}}, figures_with({}), 1);
    std::vector<float> frame(2);
    EXPECT_EXIT(render_buffer<float>(no_room, frame, 0.5f), testing::ExitedWithCode(101), "no room");
}

TEST(ReportStreamError, OneLineOnStandardError) {
    testing::internal::CaptureStderr();
    report_stream_error("device unplugged");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error building output sound stream: device unplugged\n");
}

}  // namespace
}  // namespace lumo
