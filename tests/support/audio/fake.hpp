// An in-memory audio host for tests (the library lumo_audio_fake, linked by tests only):
// devices, configurations and failures are chosen by the test, and streams play only
// when the test pumps them.
//
//     audio::FakeHost host;
//     host.default_device = host.add_device({.name = "default"});
//     ... code under test builds an F32 stream on host.default_output_device() ...
//     audio::FakeStreamRecord& stream = host.record(0).stream(0);
//     std::vector<float> samples = stream.pump<float>(512);   // one 512-frame buffer
//
// A FakeDevice can also stand alone: audio::FakeDevice device({.name = "card"});
//
// Everything happens on the calling thread; there is no worker thread and no clock.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio.hpp"

namespace lumo::audio {

// One device as the test wants it to behave.
struct FakeDeviceSetup {
    std::string name{};
    bool output = true;                      // listed by output_devices()
    std::optional<Error> name_error{};        // name() fails with this
    std::optional<Error> later_name_error{};  // name() fails with this from its second query on
    std::optional<Error> config_error{};      // default_output_config() fails with this
    SupportedStreamConfig config{2, 44100, BufferSizeRange{1, 4294967295u}, SampleFormat::F32};
    std::optional<Error> build_error{};       // building a stream fails with this
    std::optional<Error> play_error{};        // play() on its streams fails with this
};

// What one stream built on a fake device has been asked and has played.  Shared by the
// stream and the test, so it outlives the stream.
class FakeStreamRecord {
public:
    FakeStreamRecord(StreamConfig asked, SampleFormat sample_format, DataCallback data, ErrorCallback error,
                     std::optional<Error> failure_of_play);

    StreamConfig config;
    SampleFormat format;
    int play_calls = 0;
    bool closed = false;                          // the Stream has been destroyed
    std::vector<std::vector<std::byte>> played;   // every pumped buffer, as raw samples
    std::optional<Error> play_error;

    // Calls the data callback once with a buffer of `frames` frames and records it.
    // Stops the program when T is not the stream's format or the stream is closed.
    template <class T> std::vector<T> pump(std::size_t frames) {
        if (sample_format_of<T>() != format) fatal("fake stream pumped with the wrong sample type");
        std::vector<T> samples(frames * config.channels);
        pump_into({samples.data(), samples.size(), format});
        std::vector<std::byte>& bytes = played.emplace_back(samples.size() * sizeof(T));
        if (!samples.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
        return samples;
    }

    // Every recorded buffer, one after the other, as samples of T.
    template <class T> std::vector<T> played_as() const {
        std::vector<T> samples;
        for (const std::vector<std::byte>& bytes : played) {
            const std::size_t first = samples.size();
            samples.resize(first + bytes.size() / sizeof(T));
            if (!bytes.empty()) std::memcpy(samples.data() + first, bytes.data(), bytes.size());
        }
        return samples;
    }

    // Calls the data callback on a buffer the test owns, recording nothing (no allocation).
    void pump_into(OutputBuffer buffer);

    // Hands `message` to the stream's error callback.
    void report_error(std::string_view message);

    // Called by the stream when it is destroyed: the callbacks, and what they own, go.
    void close();

private:
    DataCallback data_;
    ErrorCallback error_;
};

// One device of the fake host and every stream built on it.
struct FakeDeviceRecord {
    FakeDeviceSetup setup;
    int name_queries = 0;
    std::vector<std::shared_ptr<FakeStreamRecord>> streams;

    FakeStreamRecord& stream(std::size_t i) { return *streams.at(i); }
};

// A Device handle on a record; the host hands out a fresh one at every enumeration.
class FakeDevice : public Device {
public:
    explicit FakeDevice(std::shared_ptr<FakeDeviceRecord> record) : record_(std::move(record)) {}
    // A device of its own, for tests that need no host.
    explicit FakeDevice(FakeDeviceSetup setup);

    Result<std::string> name() const override;
    Result<SupportedStreamConfig> default_output_config() const override;
    Result<std::unique_ptr<Stream>> build_output_stream_raw(const StreamConfig& config, SampleFormat format,
                                                            DataCallback data,
                                                            ErrorCallback error) const override;

    FakeDeviceRecord& record() const { return *record_; }

private:
    std::shared_ptr<FakeDeviceRecord> record_;
};

class FakeHost : public Host {
public:
    // Devices are enumerated in the order they were added.
    std::size_t add_device(FakeDeviceSetup setup);
    FakeDeviceRecord& record(std::size_t i) { return *devices_.at(i); }

    std::optional<std::size_t> default_device;      // index of the default output device
    std::optional<Error> devices_error;              // devices() fails with this
    std::optional<Error> output_devices_error;       // output_devices() fails with this

    Result<DeviceList> devices() override;
    Result<DeviceList> output_devices() override;
    std::unique_ptr<Device> default_output_device() override;

private:
    std::vector<std::shared_ptr<FakeDeviceRecord>> devices_;
};

}  // namespace lumo::audio
