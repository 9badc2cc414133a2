// The ALSA host: its error texts everywhere, and devices and streams through the private
// device when run under tests/e2e/virtual-audio.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/alsa.hpp"
#include "audio/alsa_detail.hpp"

namespace lumo::audio {
namespace {

using detail::alsa_error_text;
using detail::open_error;

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

TEST_F(PrivateDevice, StreamHandsOverOnePeriodAtATimeOnItsOwnThread) {
    std::atomic<int> calls{0};
    std::atomic<bool> wrong_size{false};
    std::atomic<bool> on_main_thread{false};
    const std::thread::id main_thread = std::this_thread::get_id();
    std::atomic<int> errors{0};
    const auto held = std::make_shared<int>();  // shared by the callback while the stream lives
    const AlsaDevice device("default");
    Result<std::unique_ptr<Stream>> stream = build_output_stream<float>(
        device, StreamConfig{2, 96000},
        [&, held](std::span<float> samples) {
            if (samples.size() != 2 * 2400) wrong_size = true;
            if (std::this_thread::get_id() == main_thread) on_main_thread = true;
            for (float& sample : samples) sample = 0.25f;
            ++calls;
        },
        [&](std::string_view) { ++errors; });
    ASSERT_TRUE(stream.ok()) << stream.error().message();
    const std::optional<detail::AlsaStreamSizes> sizes = detail::alsa_stream_sizes(*stream.value());
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->period_frames, 2400u);
    EXPECT_EQ(sizes->buffer_frames, 9600u);

    ASSERT_TRUE(stream.value()->play().ok());
    EXPECT_TRUE(eventually([&] { return calls.load() >= 12; }));
    EXPECT_FALSE(wrong_size.load());
    EXPECT_FALSE(on_main_thread.load());
    EXPECT_EQ(errors.load(), 0);
    // Destroying the stream joins the worker and releases the callbacks: none can follow.
    stream.value().reset();
    EXPECT_EQ(held.use_count(), 1);
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
    EXPECT_GE(underruns.load(), 1);
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

// Removing the server's sink under a playing stream: every later write fails.  The
// failure is reported, and the stream still stops promptly when destroyed.  (How often it
// retries is RetryPause's matter.)
TEST_F(PrivateDevice, PersistentFailureIsReportedAndTheStreamStillStops) {
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
    EXPECT_TRUE(eventually([&] { return errors.load() >= 1; }));
    stream.value().reset();
    EXPECT_EQ(std::system("pactl load-module module-null-sink sink_name=lumo_sink format=float32le rate=96000 "
                          "channels=2 norewinds=1 >/dev/null"),
              0);
}

}  // namespace
}  // namespace lumo::audio
