// lumo from the command line to the end of the show, over the fake host: which device
// each argument picks, the three lines printed, and every way start-up can fail.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/select.hpp"
#include "audio/fake.hpp"
#include "show/stream.hpp"

namespace lumo {
namespace {

constexpr const char* kHifiberry = "sysdefault:CARD=sndrpihifiberry";
constexpr const char* kLoopback = "hw:CARD=Loopback,DEV=1";

// A stream around a tiny show, so that these tests need not render the real one.
template <class T>
Result<std::unique_ptr<audio::Stream>> tiny_stream_of(const audio::Device& device, const audio::StreamConfig& config,
                                                      std::shared_ptr<ViewRing> view) {
    PreparedShow show;
    for (ChannelPair& figure : show.voice_figures) figure = {{0.0f}, {0.0f}};
    show.score = make_score();
    return build_stream<T>(device, config, monotonic_now(), std::move(show), std::move(view));
}

Result<std::unique_ptr<audio::Stream>> tiny_stream(audio::SampleFormat format, const audio::Device& device,
                                                    const audio::StreamConfig& config, std::shared_ptr<ViewRing> view) {
    using audio::SampleFormat;
    switch (format) {
        case SampleFormat::I16: return tiny_stream_of<std::int16_t>(device, config, view);
        case SampleFormat::F32: return tiny_stream_of<float>(device, config, view);
        default: return tiny_stream_of<std::int32_t>(device, config, view);
    }
}

// What the sleep saw of the stream it waited on.
audio::FakeHost* sleeping_host = nullptr;
std::vector<std::chrono::seconds> sleeps;
int plays_seen_while_sleeping = -1;

void record_sleep(std::chrono::seconds length) {
    sleeps.push_back(length);
    audio::FakeStreamRecord& stream = sleeping_host->record(0).stream(0);
    plays_seen_while_sleeping = stream.closed ? -2 : stream.play_calls;
}

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome run(audio::FakeHost& host, std::vector<std::string> args) {
    sleeping_host = &host;
    sleeps.clear();
    plays_seen_while_sleeping = -1;
    std::ostringstream out, err;
    const int status = run_lumo(host, args, out, err, record_sleep, tiny_stream);
    return {status, out.str(), err.str()};
}

// A host whose default device is the first one, "default".
audio::FakeHost default_host_with(audio::FakeDeviceSetup setup = {.name = "default"}) {
    audio::FakeHost host;
    host.default_device = host.add_device(std::move(setup));
    return host;
}

std::string chosen_name(audio::FakeHost& host, std::vector<std::string> args) {
    Result<std::unique_ptr<audio::Device>> device = select_device(host, args);
    if (!device) return "error: " + device.error().message();
    return device.value()->name().value();
}

TEST(RunLumo, PlaysTheDefaultDeviceForTheWholeShow) {
    audio::FakeHost host = default_host_with();
    const Outcome result = run(host, {"lumo"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "Output device : default\n"
              "Device : Ok(\"default\")\n"
              "Default output config : SupportedStreamConfig { channels: 2, sample_rate: SampleRate(44100), "
              "buffer_size: Range { min: 1, max: 4294967295 }, sample_format: F32 }\n");
    EXPECT_EQ(sleeps, (std::vector<std::chrono::seconds>{std::chrono::seconds(160)}));
    EXPECT_EQ(plays_seen_while_sleeping, 1);  // started, and still open while sleeping
    audio::FakeStreamRecord& stream = host.record(0).stream(0);
    EXPECT_TRUE(stream.closed);
    EXPECT_EQ(stream.format, audio::SampleFormat::F32);
}

TEST(RunLumo, TheStreamIsAlwaysStereoAt96000InTheDevicesFormat) {
    audio::FakeHost host = default_host_with(
        {.name = "default", .config = {1, 44100, std::nullopt, audio::SampleFormat::F32}});
    const Outcome result = run(host, {"lumo"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("Default output config : SupportedStreamConfig { channels: 1, sample_rate: "
                              "SampleRate(44100), buffer_size: Unknown, sample_format: F32 }\n"),
              std::string::npos);
    audio::FakeStreamRecord& stream = host.record(0).stream(0);
    EXPECT_EQ(stream.config.channels, 2);
    EXPECT_EQ(stream.config.sample_rate, 96000u);
    EXPECT_EQ(stream.format, audio::SampleFormat::F32);

    audio::FakeHost i16 = default_host_with({.name = "default", .config = {2, 48000, std::nullopt, audio::SampleFormat::I16}});
    EXPECT_EQ(run(i16, {"lumo"}).status, 0);
    EXPECT_EQ(i16.record(0).stream(0).format, audio::SampleFormat::I16);
}

// The ring a view was started on, and the frames it held while the show played.
std::shared_ptr<const ViewRing> view_ring;
std::int64_t view_frames = -1;
std::jthread record_view(std::shared_ptr<const ViewRing> ring) {
    view_ring = std::move(ring);
    return {};
}
void pump_while_sleeping(std::chrono::seconds) {
    sleeping_host->record(0).stream(0).pump<float>(256);
    view_frames = view_ring ? view_ring->mark().written : -1;
}

TEST(RunLumo, ScreenAfterTheDeviceStartsTheViewOnTheStreamsMix) {
    for (const auto& [args, wanted] : std::vector<std::pair<std::vector<std::string>, bool>>{
             {{"lumo", "default", "--screen"}, true}, {{"lumo", "default", "x", "--screen"}, true},
             {{"lumo", "--screen"}, false}, {{"lumo", "default"}, false}, {{"lumo"}, false}}) {
        audio::FakeHost host = default_host_with();
        view_ring.reset();
        sleeping_host = &host;
        std::ostringstream out, err;
        EXPECT_EQ(run_lumo(host, args, out, err, pump_while_sleeping, tiny_stream, record_view), 0);
        // The first argument keeps its meaning: "--screen" there is a device name, so the default.
        EXPECT_EQ(out.str().rfind("Output device : default\n", 0), 0u);
        EXPECT_EQ(view_frames, wanted ? 256 : -1) << args.back();
    }
}

TEST(SelectDevice, AnythingButTheTwoWordsMeansTheDefault) {
    audio::FakeHost host = default_host_with();
    host.add_device({.name = kHifiberry});
    host.add_device({.name = kLoopback});
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {}, {"lumo"}, {"lumo", ""}, {"lumo", "RASPI"}, {"lumo", "Raspi"}, {"lumo", "raspi "},
             {"lumo", "LOOPBACK"}, {"lumo", "loopback "}, {"lumo", "default", "raspi"}}) {
        EXPECT_EQ(chosen_name(host, args), "default") << (args.size() > 1 ? args[1] : "(no argument)");
    }
}

TEST(SelectDevice, RaspiTakesTheFirstOutputDeviceContainingTheCardName) {
    audio::FakeHost host = default_host_with();
    host.add_device({.name = kHifiberry, .output = false});                   // cannot play
    host.add_device({.name = "hw", .name_error = Error("unreadable")});      // skipped
    host.add_device({.name = "sysdefault:CARD=sndrpihifiberrx"});            // one letter off
    host.add_device({.name = std::string("plug:") + kHifiberry + ",DEV=0"}); // contains it
    host.add_device({.name = kHifiberry});
    EXPECT_EQ(chosen_name(host, {"lumo", "raspi"}), std::string("plug:") + kHifiberry + ",DEV=0");
    EXPECT_EQ(chosen_name(host, {"lumo", "raspi", "extra"}), std::string("plug:") + kHifiberry + ",DEV=0");

    audio::FakeHost exact;
    exact.add_device({.name = "sysdefault:CARD=sndrpihifiberr"});  // too short
    exact.add_device({.name = kHifiberry});
    EXPECT_EQ(chosen_name(exact, {"lumo", "raspi"}), kHifiberry);
}

TEST(SelectDevice, LoopbackTakesAnyDeviceWithTheExactName) {
    audio::FakeHost host = default_host_with();
    host.add_device({.name = "hw:CARD=Loopback,DEV=0"});
    host.add_device({.name = kLoopback, .output = false});
    host.add_device({.name = kLoopback});
    Result<std::unique_ptr<audio::Device>> device = select_device(host, std::vector<std::string>{"lumo", "loopback"});
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(host.record(2).name_queries, 1);
    EXPECT_EQ(host.record(3).name_queries, 0);  // the search ends at the first match
    EXPECT_EQ(device.value()->name().value(), kLoopback);
    EXPECT_EQ(host.record(2).name_queries, 2);
}

TEST(RunLumo, ErrorValuesEndWithStatusOne) {
    struct Case {
        const char* what;
        std::function<void(audio::FakeHost&)> set_up;
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"raspi enumeration", [](audio::FakeHost& h) { h.output_devices_error = Error("no hints"); },
         {"lumo", "raspi"}, "Error: no hints\n"},
        {"raspi none", [](audio::FakeHost& h) { h.add_device({.name = "hw:CARD=PCH,DEV=0"}); },
         {"lumo", "raspi"}, "Error: HiFiBerry DAC+ not found\n"},
        {"no default", [](audio::FakeHost&) {}, {"lumo"}, "Error: Default output device is not available\n"},
        {"name", [](audio::FakeHost& h) { h.default_device = h.add_device({.name = "x", .name_error = Error("gone")}); },
         {"lumo"}, "Error: gone\n"},
        {"config", [](audio::FakeHost& h) {
             h.default_device = h.add_device({.name = "default", .config_error = Error("The requested stream type is not supported by the device.")});
         }, {"lumo"}, "Error: The requested stream type is not supported by the device.\n"},
        {"build", [](audio::FakeHost& h) {
             h.default_device = h.add_device({.name = "default", .build_error = Error("outer").context("rate")});
         }, {"lumo"}, "Error: rate\n\nCaused by:\n    outer\n"},
        {"play", [](audio::FakeHost& h) {
             h.default_device = h.add_device({.name = "default", .play_error = Error("cannot start")});
         }, {"lumo"}, "Error: cannot start\n"},
    };
    for (const Case& c : cases) {
        audio::FakeHost host;
        c.set_up(host);
        const Outcome result = run(host, c.args);
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.err, c.err) << c.what;
        EXPECT_TRUE(sleeps.empty()) << c.what;
    }
}

TEST(RunLumo, APlayFailureClosesTheStream) {
    audio::FakeHost host = default_host_with({.name = "default", .play_error = Error("cannot start")});
    const Outcome result = run(host, {"lumo"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(host.record(0).stream(0).play_calls, 1);
    EXPECT_TRUE(host.record(0).stream(0).closed);
    EXPECT_EQ(result.out.substr(0, 24), "Output device : default\n");
}

TEST(RunLumo, ASecondNameFailureIsOnlyPrinted) {
    audio::FakeHost host = default_host_with({.name = "default", .later_name_error = Error("say \"gone\"")});
    const Outcome result = run(host, {"lumo"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("Device : Err(Error { message: \"say \\\"gone\\\"\" })\n"), std::string::npos);
}

TEST(RunLumoDeath, LoopbackFailuresStop) {
    audio::FakeHost enumeration;
    enumeration.devices_error = Error("no hints");
    EXPECT_EXIT(run(enumeration, {"lumo", "loopback"}), testing::ExitedWithCode(101),
                "called `Result::unwrap\\(\\)` on an `Err` value: Error \\{ message: \"no hints\" \\}");

    audio::FakeHost unreadable;
    unreadable.add_device({.name = "x", .name_error = Error("bad name")});
    unreadable.add_device({.name = kLoopback});
    EXPECT_EXIT(run(unreadable, {"lumo", "loopback"}), testing::ExitedWithCode(101),
                "called `Result::unwrap\\(\\)` on an `Err` value: Error \\{ message: \"bad name\" \\}");

    audio::FakeHost near_misses = default_host_with();
    near_misses.add_device({.name = "hw:CARD=Loopback,DEV=0"});
    near_misses.add_device({.name = std::string("plug") + kLoopback});
    near_misses.add_device({.name = std::string(kLoopback) + " "});
    EXPECT_EXIT(run(near_misses, {"lumo", "loopback"}), testing::ExitedWithCode(101),
                "Failed to find the Loopback device");
}

}  // namespace
}  // namespace lumo
