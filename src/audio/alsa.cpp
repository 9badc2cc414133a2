#include "audio/alsa.hpp"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <tuple>

namespace lumo::audio {
namespace {

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree>;

struct SwParamsFree {
    void operator()(snd_pcm_sw_params_t* params) const { snd_pcm_sw_params_free(params); }
};
using SwParams = std::unique_ptr<snd_pcm_sw_params_t, SwParamsFree>;

// Formats are probed in this order; among equally preferred ones the last wins.
struct ProbedFormat {
    snd_pcm_format_t alsa;
    SampleFormat format;
};
constexpr std::array<ProbedFormat, 8> kProbedFormats = {{
    {SND_PCM_FORMAT_S8, SampleFormat::I8},
    {SND_PCM_FORMAT_U8, SampleFormat::U8},
    {SND_PCM_FORMAT_S16_LE, SampleFormat::I16},
    {SND_PCM_FORMAT_U16_LE, SampleFormat::U16},
    {SND_PCM_FORMAT_S32_LE, SampleFormat::I32},
    {SND_PCM_FORMAT_U32_LE, SampleFormat::U32},
    {SND_PCM_FORMAT_FLOAT_LE, SampleFormat::F32},
    {SND_PCM_FORMAT_FLOAT64_LE, SampleFormat::F64},
}};

constexpr std::array<std::uint32_t, 13> kCommonRates = {5512,  8000,  11025, 16000, 22050,  32000, 44100,
                                                        48000, 64000, 88200, 96000, 176400, 192000};
constexpr std::uint32_t kMaxProbedChannels = 32;

// The stream formats, native-endian.  ALSA has no 64-bit integer samples.
std::optional<snd_pcm_format_t> stream_format(SampleFormat format) {
    switch (format) {
    case SampleFormat::I8: return SND_PCM_FORMAT_S8;
    case SampleFormat::I16: return SND_PCM_FORMAT_S16;
    case SampleFormat::I32: return SND_PCM_FORMAT_S32;
    case SampleFormat::U8: return SND_PCM_FORMAT_U8;
    case SampleFormat::U16: return SND_PCM_FORMAT_U16;
    case SampleFormat::U32: return SND_PCM_FORMAT_U32;
    case SampleFormat::F32: return SND_PCM_FORMAT_FLOAT;
    case SampleFormat::F64: return SND_PCM_FORMAT_FLOAT64;
    case SampleFormat::I64:
    case SampleFormat::U64: return std::nullopt;
    }
    return std::nullopt;
}

// Writes the backend-specific text into `out` without allocating, so the worker thread
// can use it too.
void format_alsa_error(std::span<char> out, std::string_view function, int code) {
    std::snprintf(out.data(), out.size(),
                  "A backend-specific error has occurred: ALSA function '%.*s' failed with error '%s (%d)'",
                  static_cast<int>(function.size()), function.data(), snd_strerror(code), -code);
}

std::uint32_t saturate_frames(snd_pcm_uframes_t frames) {
    return static_cast<std::uint32_t>(std::min<snd_pcm_uframes_t>(frames, UINT32_MAX));
}

int open_pcm(const std::string& name, snd_pcm_stream_t direction, PcmHandle& pcm) {
    snd_pcm_t* raw = nullptr;
    const int code = snd_pcm_open(&raw, name.c_str(), direction, SND_PCM_NONBLOCK);
    if (code == 0) pcm.reset(raw);
    return code;
}

bool opens(const std::string& name, snd_pcm_stream_t direction) {
    PcmHandle pcm;
    return open_pcm(name, direction, pcm) == 0;  // closed again at once: probing keeps nothing busy
}

Result<std::vector<std::string>> hinted_names() {
    void** hints = nullptr;
    const int code = snd_device_name_hint(-1, "pcm", &hints);
    if (code < 0) return Error(alsa_error_text("snd_device_name_hint", code));
    std::vector<std::string> names;
    for (void** hint = hints; *hint != nullptr; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        if (name == nullptr) continue;
        std::string text(name);
        std::free(name);
        if (text != "null") names.push_back(std::move(text));
    }
    snd_device_name_free_hint(hints);
    return names;
}

// An output stream over one PCM.  The worker thread owns the PCM between build and
// destruction; the main thread only flips the two flags and writes to the pipe.
class AlsaStream final : public Stream {
public:
    AlsaStream(PcmHandle pcm, SampleFormat format, std::uint16_t channels, AlsaStreamSizes sizes, DataCallback data,
               ErrorCallback error)
        : pcm_(std::move(pcm)),
          format_(format),
          channels_(channels),
          sizes_(sizes),
          chunk_frames_(std::min(sizes.period_frames, kMaxFramesPerCallback)),
          frame_bytes_(static_cast<std::size_t>(snd_pcm_format_physical_width(*stream_format(format)) / 8) * channels),
          data_(std::move(data)),
          error_(std::move(error)),
          underrun_in_write_(alsa_error_text("snd_pcm_writei", -EPIPE)),
          underrun_in_avail_(alsa_error_text("snd_pcm_avail_update", -EPIPE)) {
        buffer_.resize(chunk_frames_ * frame_bytes_);
    }

    ~AlsaStream() override {
        if (worker_.joinable()) {
            stopping_.store(true);
            wake();
            worker_.join();
        }
        snd_pcm_drop(pcm_.get());
        if (pipe_[0] >= 0) ::close(pipe_[0]);
        if (pipe_[1] >= 0) ::close(pipe_[1]);
    }

    // The pipe and the poll set, then the thread.  Everything the loop uses exists by now.
    Status start_worker() {
        if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
            return Error(alsa_error_text("pipe2", -errno));
        }
        const int count = snd_pcm_poll_descriptors_count(pcm_.get());
        if (count <= 0) return Error(alsa_error_text("snd_pcm_poll_descriptors_count", count < 0 ? count : -EINVAL));
        fds_.assign(static_cast<std::size_t>(count) + 1, pollfd{});
        fds_[0] = pollfd{pipe_[0], POLLIN, 0};
        const int filled = snd_pcm_poll_descriptors(pcm_.get(), &fds_[1], static_cast<unsigned>(count));
        if (filled < 0) return Error(alsa_error_text("snd_pcm_poll_descriptors", filled));
        worker_ = std::thread([this] { run(); });
        return {};
    }

    // Filling starts here rather than at build, so a stream that is never played never
    // calls its data callback.
    Status play() override {
        playing_.store(true);
        wake();
        return {};
    }

    AlsaStreamSizes sizes() const { return sizes_; }

private:
    struct Failure {
        const char* function;
        int code;  // negative; 0 when nothing failed
    };

    void wake() {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &byte, 1);  // a full pipe is awake already
    }

    void drain_pipe() {
        std::array<char, 64> bytes{};
        while (::read(pipe_[0], bytes.data(), bytes.size()) > 0) {
        }
    }

    // Waits on the pipe alone, for `timeout_ms` or until woken (-1: until woken).
    void wait_on_pipe(int timeout_ms) {
        fds_[0].revents = 0;
        if (::poll(fds_.data(), 1, timeout_ms) > 0) drain_pipe();
    }

    void run() {
        int pause_ms = 0;
        bool device_gone = false;
        while (!stopping_.load()) {
            if (!playing_.load() || device_gone) {
                wait_on_pipe(-1);
                continue;
            }
            bool hung_up = false;
            if (pause_ms > 0) {
                wait_on_pipe(pause_ms);
                if (stopping_.load()) break;
            } else {
                for (pollfd& fd : fds_) fd.revents = 0;
                if (::poll(fds_.data(), fds_.size(), -1) < 0) {
                    if (errno == EINTR) continue;
                    pause_ms = report_failure({"poll", -errno}, pause_ms, device_gone);
                    continue;
                }
                if (fds_[0].revents != 0) drain_pipe();
                if (stopping_.load()) break;
                unsigned short revents = 0;
                const int code = snd_pcm_poll_descriptors_revents(pcm_.get(), &fds_[1],
                                                                  static_cast<unsigned>(fds_.size() - 1), &revents);
                if (code < 0) {
                    pause_ms = report_failure({"snd_pcm_poll_descriptors_revents", code}, pause_ms, device_gone);
                    continue;
                }
                if ((revents & (POLLOUT | POLLERR | POLLHUP | POLLNVAL)) == 0) continue;
                hung_up = (revents & (POLLHUP | POLLNVAL)) != 0;
            }
            const Failure failure = fill_and_write();
            if (failure.code != 0) {
                pause_ms = report_failure(failure, pause_ms, device_gone);
            } else if (hung_up) {
                // A hung-up descriptor stays ready for ever: polling it again would spin.
                error_(kDeviceNotAvailable);
                device_gone = true;
            } else {
                pause_ms = 0;
            }
        }
    }

    // Hands the callback one period whenever one is free, and writes it out; a period the
    // device takes only in part is finished on a later wake-up before the next is asked for.
    Failure fill_and_write() {
        for (;;) {
            if (pending_frames_ == 0) {
                const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
                if (avail < 0) return {"snd_pcm_avail_update", static_cast<int>(avail)};
                if (static_cast<std::size_t>(avail) < chunk_frames_) return {nullptr, 0};
                data_(OutputBuffer{buffer_.data(), chunk_frames_ * channels_, format_});
                pending_frames_ = chunk_frames_;
                pending_offset_ = 0;
            }
            const snd_pcm_sframes_t written =
                snd_pcm_writei(pcm_.get(), buffer_.data() + pending_offset_ * frame_bytes_, pending_frames_);
            if (written == -EAGAIN) return {nullptr, 0};
            if (written < 0) return {"snd_pcm_writei", static_cast<int>(written)};
            pending_frames_ -= static_cast<std::size_t>(written);
            pending_offset_ += static_cast<std::size_t>(written);
        }
    }

    // Reports one failure and returns the pause before the next try: none after a
    // recovered underrun, else growing from 10 ms to 1 s so a persistent error costs no CPU.
    int report_failure(Failure failure, int pause_ms, bool& device_gone) {
        if (failure.code == -EPIPE || failure.code == -ESTRPIPE) {
            const bool recovered = snd_pcm_recover(pcm_.get(), failure.code, 1) == 0;
            if (failure.code == -EPIPE) {
                error_(std::string_view(failure.function == std::string_view("snd_pcm_writei") ? underrun_in_write_
                                                                                             : underrun_in_avail_));
            } else {
                format_alsa_error(message_, failure.function, failure.code);
                error_(std::string_view(message_.data()));
            }
            if (recovered) return 0;
        } else if (failure.code == -ENODEV) {
            error_(kDeviceNotAvailable);
            device_gone = true;
            return 0;
        } else {
            format_alsa_error(message_, failure.function, failure.code);
            error_(std::string_view(message_.data()));
        }
        return std::min(pause_ms == 0 ? 10 : pause_ms * 2, 1000);
    }

    PcmHandle pcm_;
    SampleFormat format_;
    std::size_t channels_;
    AlsaStreamSizes sizes_;
    std::size_t chunk_frames_;
    std::size_t frame_bytes_;
    DataCallback data_;
    ErrorCallback error_;
    std::string underrun_in_write_;
    std::string underrun_in_avail_;
    std::array<char, 320> message_{};
    std::vector<std::byte> buffer_;
    std::size_t pending_frames_ = 0;
    std::size_t pending_offset_ = 0;
    std::vector<pollfd> fds_;
    int pipe_[2] = {-1, -1};
    std::atomic<bool> playing_{false};
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

constexpr unsigned kPeriodMicroseconds = 25'000;
constexpr unsigned kBufferMicroseconds = 100'000;

// Negotiates the stream's hardware and software parameters on an open PCM.
Result<AlsaStreamSizes> configure(snd_pcm_t* pcm, snd_pcm_format_t format, const StreamConfig& config) {
    std::optional<Error> failure;
    // The calls below run in order and stop at the first that fails.
    const auto step = [&](const char* function, int code) {
        if (code < 0) failure = Error(alsa_error_text(function, code));
        return code >= 0;
    };

    snd_pcm_hw_params_t* raw_hw = nullptr;
    if (!step("snd_pcm_hw_params_malloc", snd_pcm_hw_params_malloc(&raw_hw))) return *failure;
    const HwParams hw(raw_hw);
    unsigned period_time = kPeriodMicroseconds;
    unsigned buffer_time = kBufferMicroseconds;
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t buffer = 0;
    // The rate is set exactly: a device that cannot play 96000 Hz fails here rather than
    // play the show at another speed.  Without a buffer time the pulse plugin grants
    // megabytes and the stream runs seconds ahead of what is heard.
    const bool hardware_set =
        step("snd_pcm_hw_params_any", snd_pcm_hw_params_any(pcm, hw.get())) &&
        step("snd_pcm_hw_params_set_access",
             snd_pcm_hw_params_set_access(pcm, hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED)) &&
        step("snd_pcm_hw_params_set_format", snd_pcm_hw_params_set_format(pcm, hw.get(), format)) &&
        step("snd_pcm_hw_params_set_rate", snd_pcm_hw_params_set_rate(pcm, hw.get(), config.sample_rate, 0)) &&
        step("snd_pcm_hw_params_set_channels", snd_pcm_hw_params_set_channels(pcm, hw.get(), config.channels)) &&
        step("snd_pcm_hw_params_set_period_time_near",
             snd_pcm_hw_params_set_period_time_near(pcm, hw.get(), &period_time, nullptr)) &&
        step("snd_pcm_hw_params_set_buffer_time_near",
             snd_pcm_hw_params_set_buffer_time_near(pcm, hw.get(), &buffer_time, nullptr)) &&
        step("snd_pcm_hw_params", snd_pcm_hw_params(pcm, hw.get())) &&
        step("snd_pcm_hw_params_get_period_size", snd_pcm_hw_params_get_period_size(hw.get(), &period, nullptr)) &&
        step("snd_pcm_hw_params_get_buffer_size", snd_pcm_hw_params_get_buffer_size(hw.get(), &buffer));
    if (!hardware_set) return *failure;
    if (period == 0 || buffer < period) return Error(std::string(kStreamTypeNotSupported));

    snd_pcm_sw_params_t* raw_sw = nullptr;
    if (!step("snd_pcm_sw_params_malloc", snd_pcm_sw_params_malloc(&raw_sw))) return *failure;
    const SwParams sw(raw_sw);
    // Woken once a period is free; started once all but one period is queued.
    const bool software_set =
        step("snd_pcm_sw_params_current", snd_pcm_sw_params_current(pcm, sw.get())) &&
        step("snd_pcm_sw_params_set_avail_min", snd_pcm_sw_params_set_avail_min(pcm, sw.get(), period)) &&
        step("snd_pcm_sw_params_set_start_threshold",
             snd_pcm_sw_params_set_start_threshold(pcm, sw.get(), buffer - period)) &&
        step("snd_pcm_sw_params_set_tstamp_mode",
             snd_pcm_sw_params_set_tstamp_mode(pcm, sw.get(), SND_PCM_TSTAMP_ENABLE)) &&
        step("snd_pcm_sw_params_set_tstamp_type",
             snd_pcm_sw_params_set_tstamp_type(pcm, sw.get(), SND_PCM_TSTAMP_TYPE_MONOTONIC)) &&
        step("snd_pcm_sw_params", snd_pcm_sw_params(pcm, sw.get())) &&
        step("snd_pcm_prepare", snd_pcm_prepare(pcm));
    if (!software_set) return *failure;
    return AlsaStreamSizes{period, buffer};
}

}  // namespace

std::string alsa_error_text(std::string_view function, int code) {
    std::array<char, 320> text{};
    format_alsa_error(text, function, code);
    return std::string(text.data());
}

Error open_error(std::string_view function, int code) {
    if (code == -ENOENT || code == -EBUSY) return Error(std::string(kDeviceNotAvailable));
    if (code == -EINVAL) return Error(std::string(kStreamTypeNotSupported));
    return Error(alsa_error_text(function, code));
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> rate_ranges(
    std::uint32_t min, std::uint32_t max, const std::function<bool(std::uint32_t)>& accepts) {
    if (min == max || accepts(min + 1)) return {{min, max}};
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    for (const std::uint32_t rate : kCommonRates) {
        if (accepts(rate)) ranges.emplace_back(rate, rate);
    }
    if (ranges.empty()) ranges.emplace_back(min, max);
    return ranges;
}

std::optional<SupportedStreamConfig> pick_default_config(std::span<const SupportedConfigRange> entries) {
    if (entries.empty()) return std::nullopt;
    const auto holds_44100 = [](const SupportedConfigRange& e) { return e.min_rate <= 44100 && 44100 <= e.max_rate; };
    const auto preference = [&](const SupportedConfigRange& e) {
        return std::tuple(e.channels == 2, e.channels == 1, e.channels, e.sample_format == SampleFormat::F32,
                          e.sample_format == SampleFormat::I16, e.sample_format == SampleFormat::U16, holds_44100(e),
                          e.max_rate);
    };
    const SupportedConfigRange* best = &entries.front();
    for (const SupportedConfigRange& entry : entries.subspan(1)) {
        if (preference(entry) >= preference(*best)) best = &entry;
    }
    return SupportedStreamConfig{best->channels, holds_44100(*best) ? 44100u : best->max_rate, best->buffer_size,
                                 best->sample_format};
}

Result<std::vector<SupportedConfigRange>> supported_output_configs(const std::string& name) {
    PcmHandle pcm;
    if (const int code = open_pcm(name, SND_PCM_STREAM_PLAYBACK, pcm); code < 0) {
        return open_error("snd_pcm_open", code);
    }
    snd_pcm_hw_params_t* raw = nullptr;
    if (const int code = snd_pcm_hw_params_malloc(&raw); code < 0) {
        return open_error("snd_pcm_hw_params_malloc", code);
    }
    const HwParams hw(raw);
    if (const int code = snd_pcm_hw_params_any(pcm.get(), hw.get()); code < 0) {
        return open_error("snd_pcm_hw_params_any", code);
    }

    unsigned min_rate = 0;
    unsigned max_rate = 0;
    if (const int code = snd_pcm_hw_params_get_rate_min(hw.get(), &min_rate, nullptr); code < 0) {
        return open_error("snd_pcm_hw_params_get_rate_min", code);
    }
    if (const int code = snd_pcm_hw_params_get_rate_max(hw.get(), &max_rate, nullptr); code < 0) {
        return open_error("snd_pcm_hw_params_get_rate_max", code);
    }
    const auto rates = rate_ranges(min_rate, max_rate, [&](std::uint32_t rate) {
        return snd_pcm_hw_params_test_rate(pcm.get(), hw.get(), rate, 0) == 0;
    });

    unsigned min_channels = 0;
    unsigned max_channels = 0;
    if (const int code = snd_pcm_hw_params_get_channels_min(hw.get(), &min_channels); code < 0) {
        return open_error("snd_pcm_hw_params_get_channels_min", code);
    }
    if (const int code = snd_pcm_hw_params_get_channels_max(hw.get(), &max_channels); code < 0) {
        return open_error("snd_pcm_hw_params_get_channels_max", code);
    }
    std::vector<std::uint16_t> channel_counts;
    for (unsigned channels = min_channels; channels <= std::min(max_channels, kMaxProbedChannels); ++channels) {
        if (snd_pcm_hw_params_test_channels(pcm.get(), hw.get(), channels) == 0) {
            channel_counts.push_back(static_cast<std::uint16_t>(channels));
        }
    }

    std::optional<BufferSizeRange> buffer_size;
    snd_pcm_uframes_t min_frames = 0;
    snd_pcm_uframes_t max_frames = 0;
    if (snd_pcm_hw_params_get_buffer_size_min(hw.get(), &min_frames) == 0 &&
        snd_pcm_hw_params_get_buffer_size_max(hw.get(), &max_frames) == 0) {
        buffer_size = BufferSizeRange{saturate_frames(min_frames), saturate_frames(max_frames)};
    }

    std::vector<SupportedConfigRange> entries;
    for (const ProbedFormat& probed : kProbedFormats) {
        if (snd_pcm_hw_params_test_format(pcm.get(), hw.get(), probed.alsa) != 0) continue;
        for (const std::uint16_t channels : channel_counts) {
            for (const auto& [low, high] : rates) {
                entries.push_back(SupportedConfigRange{channels, low, high, buffer_size, probed.format});
            }
        }
    }
    return entries;
}

Result<SupportedStreamConfig> AlsaDevice::default_output_config() const {
    Result<std::vector<SupportedConfigRange>> entries = supported_output_configs(name_);
    if (!entries) return entries.error();
    const std::optional<SupportedStreamConfig> picked = pick_default_config(entries.value());
    if (!picked) return Error(std::string(kStreamTypeNotSupported));
    return *picked;
}

Result<std::unique_ptr<Stream>> AlsaDevice::build_output_stream_raw(const StreamConfig& config, SampleFormat format,
                                                                    DataCallback data, ErrorCallback error) const {
    const std::optional<snd_pcm_format_t> alsa_format = stream_format(format);
    if (!alsa_format || config.channels == 0) return Error(std::string(kStreamTypeNotSupported));
    PcmHandle pcm;
    if (const int code = open_pcm(name_, SND_PCM_STREAM_PLAYBACK, pcm); code < 0) {
        if (code == -ENOENT || code == -EBUSY) return Error(std::string(kDeviceNotAvailable));
        return Error(alsa_error_text("snd_pcm_open", code));
    }
    Result<AlsaStreamSizes> sizes = configure(pcm.get(), *alsa_format, config);
    if (!sizes) return sizes.error();
    auto stream = std::make_unique<AlsaStream>(std::move(pcm), format, config.channels, sizes.value(), std::move(data),
                                               std::move(error));
    if (Status started = stream->start_worker(); !started) return started.error();
    return std::unique_ptr<Stream>(std::move(stream));
}

std::optional<AlsaStreamSizes> alsa_stream_sizes(const Stream& stream) {
    if (const auto* alsa = dynamic_cast<const AlsaStream*>(&stream)) return alsa->sizes();
    return std::nullopt;
}

Result<DeviceList> AlsaHost::devices() {
    Result<std::vector<std::string>> names = hinted_names();
    if (!names) return names.error();
    DeviceList list;
    for (const std::string& name : names.value()) {
        if (opens(name, SND_PCM_STREAM_PLAYBACK) || opens(name, SND_PCM_STREAM_CAPTURE)) {
            list.push_back(std::make_unique<AlsaDevice>(name));
        }
    }
    return list;
}

Result<DeviceList> AlsaHost::output_devices() {
    Result<std::vector<std::string>> names = hinted_names();
    if (!names) return names.error();
    DeviceList list;
    for (const std::string& name : names.value()) {
        Result<std::vector<SupportedConfigRange>> entries = supported_output_configs(name);
        if (entries && !entries.value().empty()) list.push_back(std::make_unique<AlsaDevice>(name));
    }
    return list;
}

std::unique_ptr<Device> AlsaHost::default_output_device() { return std::make_unique<AlsaDevice>("default"); }

std::unique_ptr<Host> default_host() { return std::make_unique<AlsaHost>(); }

}  // namespace lumo::audio
