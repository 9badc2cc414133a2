// The ALSA host: PCM devices found by their name hints, their default configuration, and
// output streams run by a worker thread that polls the PCM.
//
// Streams: the worker thread starts when the stream is built but fills nothing until
// play(); from then on it hands the data callback exactly one period at a time (at most
// kMaxFramesPerCallback frames) in a buffer allocated when the stream was built.  An
// underrun is recovered and reported once, in fixed text; any other error is reported and
// retried with a growing pause, and a device that has gone away is reported once and then
// left alone until the stream is destroyed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "audio/audio.hpp"
#include "core/error.hpp"

namespace lumo::audio {

// Texts that callers, and scripts reading lumo's output, see for two failures.
inline constexpr std::string_view kDeviceNotAvailable =
    "The requested device is no longer available. For example, it has been unplugged.";
inline constexpr std::string_view kStreamTypeNotSupported =
    "The requested stream type is not supported by the device.";

// A PCM by its ALSA name ("default", "hw:CARD=Loopback,DEV=1", …).
class AlsaDevice final : public Device {
public:
    explicit AlsaDevice(std::string name) : name_(std::move(name)) {}
    Result<std::string> name() const override { return name_; }
    Result<SupportedStreamConfig> default_output_config() const override;
    Result<std::unique_ptr<Stream>> build_output_stream_raw(const StreamConfig& config, SampleFormat format,
                                                            DataCallback data,
                                                            ErrorCallback error) const override;

private:
    std::string name_;
};

class AlsaHost final : public Host {
public:
    Result<DeviceList> devices() override;
    Result<DeviceList> output_devices() override;
    std::unique_ptr<Device> default_output_device() override;
};

}  // namespace lumo::audio
