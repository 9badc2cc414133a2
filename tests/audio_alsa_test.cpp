// The ALSA host: the default-configuration rule and error texts everywhere, and devices
// and streams through the private device when run under tests/e2e/virtual-audio.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/alsa.hpp"

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

TEST(AlsaErrors, TextsNameTheFunctionAndTheError) {
    EXPECT_EQ(alsa_error_text("snd_pcm_hw_params_set_rate", -EINVAL),
              "A backend-specific error has occurred: ALSA function 'snd_pcm_hw_params_set_rate' failed with error "
              "'Invalid argument (22)'");
    EXPECT_EQ(open_error("snd_pcm_open", -ENOENT).message(), kDeviceNotAvailable);
    EXPECT_EQ(open_error("snd_pcm_open", -EBUSY).message(), kDeviceNotAvailable);
    EXPECT_EQ(open_error("snd_pcm_open", -EINVAL).message(), kStreamTypeNotSupported);
    EXPECT_EQ(open_error("snd_pcm_open", -EIO).message(),
              "A backend-specific error has occurred: ALSA function 'snd_pcm_open' failed with error "
              "'Input/output error (5)'");
}

// The rest needs the private device that tests/e2e/virtual-audio.sh sets up.
class PrivateDevice : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("LUMO_AUDIO_DIR") == nullptr) GTEST_SKIP() << "needs tests/e2e/virtual-audio.sh";
    }

    // Waits up to ten seconds (far more than needed) for `done`.
    template <class Predicate>
    static bool eventually(Predicate done) {
        for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    }

    AlsaHost host;
};

std::vector<std::string> names_of(const DeviceList& list) {
    std::vector<std::string> names;
    for (const auto& device : list) names.push_back(device->name().value());
    return names;
}

TEST_F(PrivateDevice, EnumeratesTheHintedNamesInOrder) {
    const std::vector<std::string> expected = {"default", "sysdefault:CARD=sndrpihifiberry", "hw:CARD=Loopback,DEV=1"};
    Result<DeviceList> all = host.devices();
    ASSERT_TRUE(all.ok()) << all.error().message();
    EXPECT_EQ(names_of(all.value()), expected);
    Result<DeviceList> outputs = host.output_devices();
    ASSERT_TRUE(outputs.ok());
    EXPECT_EQ(names_of(outputs.value()), expected);
    EXPECT_EQ(host.default_output_device()->name().value(), "default");
}

TEST_F(PrivateDevice, DefaultConfigIsStereoFloatAt44100) {
    Result<SupportedStreamConfig> config = host.default_output_device()->default_output_config();
    ASSERT_TRUE(config.ok()) << config.error().message();
    EXPECT_EQ(config.value().channels, 2);
    EXPECT_EQ(config.value().sample_rate, 44100u);
    EXPECT_EQ(config.value().sample_format, SampleFormat::F32);
    EXPECT_TRUE(config.value().buffer_size.has_value());

    const Result<SupportedStreamConfig> missing = AlsaDevice("lumo_no_such_pcm").default_output_config();
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().message(), kDeviceNotAvailable);
}

TEST_F(PrivateDevice, StreamHandsOverOnePeriodAtATimeOnlyAfterPlay) {
    std::atomic<int> calls{0};
    std::atomic<bool> wrong_size{false};
    std::atomic<bool> on_main_thread{false};
    const std::thread::id main_thread = std::this_thread::get_id();
    std::atomic<int> errors{0};
    const AlsaDevice device("default");
    Result<std::unique_ptr<Stream>> stream = build_output_stream<float>(
        device, StreamConfig{2, 96000},
        [&](std::span<float> samples) {
            if (samples.size() != 2 * 2400) wrong_size = true;
            if (std::this_thread::get_id() == main_thread) on_main_thread = true;
            for (float& sample : samples) sample = 0.25f;
            ++calls;
        },
        [&](std::string_view) { ++errors; });
    ASSERT_TRUE(stream.ok()) << stream.error().message();
    const std::optional<AlsaStreamSizes> sizes = alsa_stream_sizes(*stream.value());
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->period_frames, 2400u);
    EXPECT_EQ(sizes->buffer_frames, 9600u);

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls.load(), 0) << "filled before play()";
    ASSERT_TRUE(stream.value()->play().ok());
    EXPECT_TRUE(eventually([&] { return calls.load() >= 12; }));
    EXPECT_FALSE(wrong_size.load());
    EXPECT_FALSE(on_main_thread.load());
    EXPECT_EQ(errors.load(), 0);
    stream.value().reset();  // joins the worker; no callback may follow
    const int after_close = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls.load(), after_close);
}

TEST_F(PrivateDevice, UnderrunIsReportedAndPlaybackGoesOn) {
    std::atomic<int> calls{0};
    std::atomic<int> underruns{0};
    std::atomic<int> other_errors{0};
    const std::string underrun_text = alsa_error_text("snd_pcm_writei", -EPIPE);
    const std::string underrun_text_avail = alsa_error_text("snd_pcm_avail_update", -EPIPE);
    const AlsaDevice device("default");
    Result<std::unique_ptr<Stream>> stream = build_output_stream<float>(
        device, StreamConfig{2, 96000},
        [&](std::span<float> samples) {
            // One late buffer: 400 ms is four times what the device holds.
            if (++calls == 8) std::this_thread::sleep_for(std::chrono::milliseconds(400));
            std::fill(samples.begin(), samples.end(), 0.0f);
        },
        [&](std::string_view message) {
            if (message == underrun_text || message == underrun_text_avail) {
                ++underruns;
            } else {
                ++other_errors;
            }
        });
    ASSERT_TRUE(stream.ok()) << stream.error().message();
    ASSERT_TRUE(stream.value()->play().ok());
    EXPECT_TRUE(eventually([&] { return calls.load() >= 24; }));
    // One event, one report (a busy machine may add a second underrun of its own).
    EXPECT_GE(underruns.load(), 1);
    EXPECT_LE(underruns.load(), 2);
    EXPECT_EQ(other_errors.load(), 0);
}

TEST_F(PrivateDevice, RequestsTheDeviceCannotMeetAreErrorValues) {
    // The pulse PCM under the plug layer of "default": it has no conversions to fall back on.
    const AlsaDevice device("lumo_sink_playback");
    const auto build = [&](std::uint16_t channels, SampleFormat format) {
        return device.build_output_stream_raw(StreamConfig{channels, 96000}, format, [](OutputBuffer) {},
                                              [](std::string_view) {});
    };
    const auto too_many = build(40, SampleFormat::F32);
    ASSERT_FALSE(too_many.ok());
    EXPECT_EQ(too_many.error().message(), alsa_error_text("snd_pcm_hw_params_set_channels", -EINVAL));
    const auto wide = build(2, SampleFormat::I64);
    ASSERT_FALSE(wide.ok());
    EXPECT_EQ(wide.error().message(), kStreamTypeNotSupported);
    const auto gone = AlsaDevice("lumo_no_such_pcm")
                          .build_output_stream_raw(StreamConfig{2, 96000}, SampleFormat::F32, [](OutputBuffer) {},
                                                   [](std::string_view) {});
    ASSERT_FALSE(gone.ok());
    EXPECT_EQ(gone.error().message(), kDeviceNotAvailable);
}

// Removing the server's sink under a playing stream: every later write fails.  The layer
// reports and retries with a growing pause instead of spinning, and still stops promptly.
TEST_F(PrivateDevice, PersistentFailureIsRetriedSlowly) {
    std::atomic<int> calls{0};
    std::atomic<int> errors{0};
    const AlsaDevice device("default");
    Result<std::unique_ptr<Stream>> stream = build_output_stream<float>(
        device, StreamConfig{2, 96000},
        [&](std::span<float> samples) {
            std::fill(samples.begin(), samples.end(), 0.0f);
            ++calls;
        },
        [&](std::string_view) { ++errors; });
    ASSERT_TRUE(stream.ok()) << stream.error().message();
    ASSERT_TRUE(stream.value()->play().ok());
    ASSERT_TRUE(eventually([&] { return calls.load() >= 8; }));
    ASSERT_EQ(std::system("pactl unload-module module-null-sink"), 0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int reported = errors.load();
    stream.value().reset();
    EXPECT_EQ(std::system("pactl load-module module-null-sink sink_name=lumo_sink format=float32le rate=96000 "
                          "channels=2 norewinds=1 >/dev/null"),
              0);
    EXPECT_GE(reported, 1);
    EXPECT_LE(reported, 20) << "retrying without a pause";
}

}  // namespace
}  // namespace lumo::audio
