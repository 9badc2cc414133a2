// The audio layer's contract: hosts, devices, configurations and output streams.
//
// Nothing here names ALSA.  Two implementations stand behind it: the ALSA host
// (audio/alsa.hpp, the one lumo plays through) and, for tests only, an in-memory fake host
// (tests/support/audio/fake.hpp) whose devices, configurations and failures a test
// chooses and whose streams a test drives buffer by buffer.
//
// Streams call their data callback on a worker thread of their own, one buffer at a time
// and never with more than kMaxFramesPerCallback frames, so a callback can size every
// buffer it needs before the stream starts.  Stream errors go to the error callback on
// the same thread, as text that the layer owns (reporting one allocates nothing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/fatal.hpp"

namespace lumo::audio {

// In the order of their codes 0 … 9.
enum class SampleFormat : std::uint8_t { I8, I16, I32, I64, U8, U16, U32, U64, F32, F64 };

// "I8", "I16", … "F64".
std::string_view sample_format_name(SampleFormat format);

template <class T> constexpr SampleFormat sample_format_of();
template <> constexpr SampleFormat sample_format_of<std::int8_t>() { return SampleFormat::I8; }
template <> constexpr SampleFormat sample_format_of<std::int16_t>() { return SampleFormat::I16; }
template <> constexpr SampleFormat sample_format_of<std::int32_t>() { return SampleFormat::I32; }
template <> constexpr SampleFormat sample_format_of<std::int64_t>() { return SampleFormat::I64; }
template <> constexpr SampleFormat sample_format_of<std::uint8_t>() { return SampleFormat::U8; }
template <> constexpr SampleFormat sample_format_of<std::uint16_t>() { return SampleFormat::U16; }
template <> constexpr SampleFormat sample_format_of<std::uint32_t>() { return SampleFormat::U32; }
template <> constexpr SampleFormat sample_format_of<std::uint64_t>() { return SampleFormat::U64; }
template <> constexpr SampleFormat sample_format_of<float>() { return SampleFormat::F32; }
template <> constexpr SampleFormat sample_format_of<double>() { return SampleFormat::F64; }

inline constexpr std::size_t kMaxFramesPerCallback = 16384;

// The period every output stream asks its device for; a device that grants it calls the
// data callback with that many frames each time.
inline constexpr unsigned kPeriodMicroseconds = 25'000;

struct BufferSizeRange {
    std::uint32_t min;
    std::uint32_t max;
};

// What a device offers by default.
struct SupportedStreamConfig {
    std::uint16_t channels;
    std::uint32_t sample_rate;
    std::optional<BufferSizeRange> buffer_size;  // absent: the device gives no range
    SampleFormat sample_format;
};

// `SupportedStreamConfig { channels: 2, sample_rate: SampleRate(44100), buffer_size:
// Range { min: 1, max: 4294967295 }, sample_format: F32 }`, or `buffer_size: Unknown`.
std::string debug_form(const SupportedStreamConfig& config);

// What lumo asks for; the buffer size is always the layer's default.
struct StreamConfig {
    std::uint16_t channels;
    std::uint32_t sample_rate;
};

// One buffer to fill: `samples` interleaved samples of `format` (whole frames).
struct OutputBuffer {
    void* data;
    std::size_t samples;
    SampleFormat format;
};

using DataCallback = std::function<void(OutputBuffer)>;
using ErrorCallback = std::function<void(std::string_view message)>;

// An output stream.  Destroying it stops and joins its worker thread and releases the
// device; audio still queued is dropped.
class Stream {
public:
    virtual ~Stream() = default;
    virtual Status play() = 0;
};

class Device {
public:
    virtual ~Device() = default;
    virtual Result<std::string> name() const = 0;
    virtual Result<SupportedStreamConfig> default_output_config() const = 0;
    // Builds a stream of `format` samples.  Prefer the typed build_output_stream below.
    virtual Result<std::unique_ptr<Stream>> build_output_stream_raw(const StreamConfig& config,
                                                                    SampleFormat format,
                                                                    DataCallback data,
                                                                    ErrorCallback error) const = 0;
};

using DeviceList = std::vector<std::unique_ptr<Device>>;

class Host {
public:
    virtual ~Host() = default;
    // Every device, in the host's enumeration order.
    virtual Result<DeviceList> devices() = 0;
    // The devices that can play, in enumeration order.
    virtual Result<DeviceList> output_devices() = 0;
    // The default output device, or null when there is none.
    virtual std::unique_ptr<Device> default_output_device() = 0;
};

// The host lumo plays through: ALSA.
std::unique_ptr<Host> default_host();

// Builds a stream whose data callback receives the buffer as samples of T.
template <class T>
Result<std::unique_ptr<Stream>> build_output_stream(const Device& device, const StreamConfig& config,
                                                    std::function<void(std::span<T>)> data,
                                                    ErrorCallback error) {
    DataCallback raw = [data = std::move(data)](OutputBuffer buffer) {
        if (buffer.format != sample_format_of<T>()) fatal("host supplied incorrect sample type");
        data(std::span<T>(static_cast<T*>(buffer.data), buffer.samples));
    };
    return device.build_output_stream_raw(config, sample_format_of<T>(), std::move(raw), std::move(error));
}

}  // namespace lumo::audio
