// The ALSA host: PCM devices found by their name hints, their default configuration, and
// output streams run by a worker thread that polls the PCM.
//
// Streams: the worker thread starts when the stream is built but fills nothing until
// play(); from then on it runs at real-time priority where the system permits (see
// audio/realtime.hpp) and hands the data callback one period at a time (at most
// kMaxFramesPerCallback frames) in a buffer allocated when the stream was built.
//
// Errors go to the error callback as text made at build, so reporting allocates nothing:
// - an underrun (EPIPE from a call, the device's xrun state, or a delay that shows the
//   device ran dry) is recovered, counted and reported once; destroying the stream writes
//   "Audio: N underruns, longest X ms" on stderr when there were any;
// - a device that has gone away (recovery fails, ENODEV, a hang-up, or an error that
//   persists) is reported once as kDeviceNotAvailable, closed, and reopened by the same
//   name with pauses growing from 100 ms to 1 s; once it opens, playback goes on where
//   the data callback's clock says, and stderr says "Audio: the device … is back";
// - a device that comes back unable to play the stream's format, rate and channels is
//   reported and left closed;
// - any other error is reported once while it lasts and retried with growing pauses.
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
    // Silences alsa-lib's own messages on standard error for the whole process: every
    // failure they would describe also comes back as an error code, which lumo reports
    // once, in its own words.
    AlsaHost();
    Result<DeviceList> devices() override;
    Result<DeviceList> output_devices() override;
    std::unique_ptr<Device> default_output_device() override;
};

}  // namespace lumo::audio
