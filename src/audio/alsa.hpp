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

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audio/audio.hpp"
#include "core/error.hpp"

namespace lumo::audio {

inline constexpr std::string_view kDeviceNotAvailable =
    "The requested device is no longer available. For example, it has been unplugged.";
inline constexpr std::string_view kStreamTypeNotSupported =
    "The requested stream type is not supported by the device.";

// "A backend-specific error has occurred: ALSA function 'NAME' failed with error
// 'TEXT (ERRNO)'", for a negative ALSA return code.
std::string alsa_error_text(std::string_view function, int code);

// What opening a PCM with `code` means to the caller: no device, an unsupported request,
// or the backend-specific text.
Error open_error(std::string_view function, int code);

// One entry of a device's supported configurations: a channel count over a rate range.
struct SupportedConfigRange {
    std::uint16_t channels;
    std::uint32_t min_rate;
    std::uint32_t max_rate;
    std::optional<BufferSizeRange> buffer_size;
    SampleFormat sample_format;
};

// The rate ranges a device offers, given its limits and a test of single rates: one range
// when the limits are equal or min + 1 is accepted, else one per accepted common rate,
// else the limits.
std::vector<std::pair<std::uint32_t, std::uint32_t>> rate_ranges(
    std::uint32_t min, std::uint32_t max, const std::function<bool(std::uint32_t)>& accepts);

// The entry a device prefers (stereo, then mono, then more channels; F32, then I16, then
// U16; a range holding 44100; a higher max rate; the last of equals), at 44100 Hz when its
// range holds that rate, else at its max rate.  Null for an empty list.
std::optional<SupportedStreamConfig> pick_default_config(std::span<const SupportedConfigRange> entries);

// The playback configurations the PCM `name` supports; an error value when it does not open.
Result<std::vector<SupportedConfigRange>> supported_output_configs(const std::string& name);

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

// What the device granted a stream, in frames.
struct AlsaStreamSizes {
    std::size_t period_frames;
    std::size_t buffer_frames;
};

// The sizes of a stream built by the ALSA host (null for any other stream).
std::optional<AlsaStreamSizes> alsa_stream_sizes(const Stream& stream);

class AlsaHost final : public Host {
public:
    Result<DeviceList> devices() override;
    Result<DeviceList> output_devices() override;
    std::unique_ptr<Device> default_output_device() override;
};

}  // namespace lumo::audio
