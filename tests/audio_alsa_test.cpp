// The ALSA host: its error texts everywhere, and devices and streams through the private
// device when run under tests/e2e/virtual-audio.sh.
#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "audio/alsa.hpp"
#include "audio/alsa_detail.hpp"
#include "audio/realtime.hpp"

namespace lumo::audio {
namespace {

using detail::alsa_error_text;
using detail::open_error;

TEST(AlsaErrors, TextsNameTheFunctionAndTheErrorAndCausesNameTheDevice) {
    EXPECT_EQ(alsa_error_text("snd_pcm_hw_params_set_rate", -EINVAL),
              "A backend-specific error has occurred: ALSA function 'snd_pcm_hw_params_set_rate' failed with error "
              "'Invalid argument (22)'");
    const auto reads = [](int code) { return open_error("hw:CARD=X", "snd_pcm_open", code).report(); };
    // The message is the one scripts match; the cause says what is wrong, naming the device.
    EXPECT_EQ(reads(-EBUSY), std::string(kDeviceNotAvailable) +
                                 "\n\nCaused by:\n    The device \"hw:CARD=X\" is busy: another program is playing "
                                 "through it.");
    EXPECT_EQ(reads(-ENOENT), std::string(kDeviceNotAvailable) +
                                  "\n\nCaused by:\n    There is no device \"hw:CARD=X\": no ALSA PCM has that name, "
                                  "or its card is not present.");
    EXPECT_EQ(reads(-ENODEV),
              "A backend-specific error has occurred: ALSA function 'snd_pcm_open' failed with error 'No such device "
              "(19)'\n\nCaused by:\n    The device \"hw:CARD=X\" is not present: its card has been removed or "
              "switched off.");
    EXPECT_EQ(reads(-EACCES),
              "A backend-specific error has occurred: ALSA function 'snd_pcm_open' failed with error 'Permission "
              "denied (13)'\n\nCaused by:\n    Access to the device \"hw:CARD=X\" was refused: this user may not "
              "open it (often only members of the group \"audio\" may).");
    EXPECT_EQ(open_error("pulse", "snd_pcm_open", -EPERM).causes().size(), 1u);
    EXPECT_EQ(open_error("pulse", "snd_pcm_open", -ECONNREFUSED).causes().at(0),
              "The sound server behind the device \"pulse\" refused the connection: it may not be running.");
    EXPECT_EQ(reads(-EINVAL), kStreamTypeNotSupported);
    EXPECT_EQ(reads(-EIO), "A backend-specific error has occurred: ALSA function 'snd_pcm_open' failed with error "
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

// What a stream's callbacks saw; the worker thread writes, the test reads.
struct Heard {
    std::atomic<int> calls{0};
    std::atomic<bool> wrong_size{false};
    std::atomic<int> policy{-1};  // the scheduling policy the data callback ran under
    std::mutex mutex;
    std::vector<std::string> errors;

    int count_errors(std::string_view text) {
        const std::lock_guard lock(mutex);
        return static_cast<int>(std::count(errors.begin(), errors.end(), text));
    }
    std::size_t error_count() {
        const std::lock_guard lock(mutex);
        return errors.size();
    }
};

// A playing F32 stream of silence on `name` (extra: called first in each data callback).
std::unique_ptr<Stream> play(const std::string& name, Heard& heard, std::function<void()> extra = [] {}) {
    Result<std::unique_ptr<Stream>> stream = build_output_stream<float>(
        AlsaDevice(name), StreamConfig{2, 96000},
        [&heard, extra](std::span<float> samples) {
            extra();
            if (samples.size() != 2 * 2400) heard.wrong_size = true;
            int policy = 0;
            sched_param param{};
            pthread_getschedparam(pthread_self(), &policy, &param);
            heard.policy = policy;
            std::fill(samples.begin(), samples.end(), 0.0f);
            ++heard.calls;
        },
        [&heard](std::string_view message) {
            const std::lock_guard lock(heard.mutex);
            heard.errors.emplace_back(message);
        });
    if (!stream.ok()) ADD_FAILURE() << stream.error().report();
    if (!stream.ok()) return nullptr;
    EXPECT_TRUE(stream.value()->play().ok());
    return std::move(stream).value();
}

void reload_sink() {
    EXPECT_EQ(std::system("pactl load-module module-null-sink sink_name=lumo_sink format=float32le rate=96000 "
                          "channels=2 norewinds=1 >/dev/null"),
              0);
}

TEST_F(PrivateDevice, StreamHandsOverOnePeriodAtATimeOnItsOwnRealTimeThread) {
    Heard heard;
    const auto held = std::make_shared<int>();  // shared by the callback while the stream lives
    std::unique_ptr<Stream> stream = play("default", heard, [held] {});
    ASSERT_TRUE(stream);
    const std::optional<detail::AlsaStreamSizes> sizes = detail::alsa_stream_sizes(*stream);
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->period_frames, 2400u);
    EXPECT_EQ(sizes->buffer_frames, 9600u);

    EXPECT_TRUE(eventually([&] { return heard.calls.load() >= 12; }));
    EXPECT_FALSE(heard.wrong_size.load());
    EXPECT_EQ(heard.error_count(), 0u);
    // Real-time where this process may have it (a thread of its own asks the same).
    int permitted = -1;
    std::thread([&] { permitted = raise_to_realtime(); }).join();
    EXPECT_EQ(heard.policy.load(), permitted == 0 ? SCHED_FIFO : SCHED_OTHER);
    // Destroying the stream joins the worker and releases the callbacks: none can follow.
    stream.reset();
    EXPECT_EQ(held.use_count(), 1);
}

// One late buffer (400 ms, four times what the device holds): counted, reported once per
// count, and playback goes on.
TEST_F(PrivateDevice, UnderrunIsCountedReportedAndPlaybackGoesOn) {
    Heard heard;
    std::unique_ptr<Stream> stream = play("default", heard, [&heard] {
        if (heard.calls.load() == 8) std::this_thread::sleep_for(std::chrono::milliseconds(400));
    });
    ASSERT_TRUE(stream);
    EXPECT_TRUE(eventually([&] { return heard.calls.load() >= 24; }));
    const UnderrunCount underruns = detail::alsa_stream_underruns(*stream).value();
    const int reported = heard.count_errors(alsa_error_text("snd_pcm_writei", -EPIPE)) +
                         heard.count_errors(alsa_error_text("snd_pcm_avail_update", -EPIPE)) +
                         heard.count_errors(detail::kRanOutOfSamples);
    EXPECT_GE(underruns.count, 1u);
    EXPECT_EQ(static_cast<std::uint64_t>(reported), underruns.count);
    EXPECT_EQ(heard.error_count(), underruns.count) << "only underruns were reported";
    EXPECT_GT(underruns.longest_ns, 0);
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

// The server's sink removed under a playing stream, then put back: the loss is reported
// once, and the stream reopens the device and plays on by itself.
TEST_F(PrivateDevice, DeviceThatGoesAwayIsReopenedWhenItComesBack) {
    Heard heard;
    std::unique_ptr<Stream> stream = play("default", heard);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(eventually([&] { return heard.calls.load() >= 8; }));
    ASSERT_EQ(std::system("pactl unload-module module-null-sink"), 0);
    EXPECT_TRUE(eventually([&] { return heard.count_errors(kDeviceNotAvailable) == 1; }));
    const int before = heard.calls.load();
    reload_sink();
    EXPECT_TRUE(eventually([&] { return heard.calls.load() >= before + 8; })) << "no sound after the sink came back";
    EXPECT_EQ(heard.count_errors(kDeviceNotAvailable), 1);
}

// A device that comes back unable to play the stream's format is reported and left closed:
// here the PCM's definition changes while the sink is away, to one that takes integer
// samples only.
TEST_F(PrivateDevice, DeviceThatComesBackWithAnotherFormatIsLeftClosed) {
    const std::filesystem::path config = std::getenv("ALSA_CONFIG_PATH");
    std::string original;
    {
        std::ifstream in(config);
        original.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Replaced by renaming, so that ALSA sees a new file at its next open.
    const auto define = [&](const std::string& definition) {
        const std::filesystem::path next = config.string() + ".next";
        std::ofstream(next) << original << "\npcm.lumo_changing " << definition << "\n";
        std::filesystem::rename(next, config);
    };
    define(R"({ type plug slave.pcm "lumo_sink_playback" })");
    Heard heard;
    std::unique_ptr<Stream> stream = play("lumo_changing", heard);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(eventually([&] { return heard.calls.load() >= 8; }));
    define(R"({ type linear slave { pcm { type plug slave.pcm "lumo_sink_playback" } format S16_LE } })");
    ASSERT_EQ(std::system("pactl unload-module module-null-sink"), 0);
    ASSERT_TRUE(eventually([&] { return heard.count_errors(kDeviceNotAvailable) == 1; }));
    reload_sink();
    const std::string refused =
        "The device \"lumo_changing\" came back but no longer plays this stream's format, rate and channels; it "
        "stays closed.";
    EXPECT_TRUE(eventually([&] { return heard.count_errors(refused) == 1; }));
    const int calls = heard.calls.load();
    stream.reset();
    EXPECT_EQ(heard.calls.load(), calls) << "a closed stream calls nothing";
    define(R"({ type plug slave.pcm "lumo_sink_playback" })");
}

}  // namespace
}  // namespace lumo::audio
