// Output streams: the negotiation with the device and the worker thread that feeds it.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <thread>

#include "audio/alsa.hpp"
#include "audio/alsa_detail.hpp"
#include "audio/retry.hpp"

namespace lumo::audio {

using detail::alsa_error_text;
using detail::AlsaStreamSizes;
using detail::format_alsa_error;
using detail::HwParams;
using detail::PcmHandle;
using detail::SwParams;

namespace {

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
    // recovered underrun, else a growing one so that a persistent error costs no CPU.
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
        return next_pause_ms(pause_ms, kFirstErrorPauseMs);
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

Result<std::unique_ptr<Stream>> AlsaDevice::build_output_stream_raw(const StreamConfig& config, SampleFormat format,
                                                                    DataCallback data, ErrorCallback error) const {
    const std::optional<snd_pcm_format_t> alsa_format = stream_format(format);
    if (!alsa_format || config.channels == 0) return Error(std::string(kStreamTypeNotSupported));
    PcmHandle pcm;
    if (const int code = detail::open_pcm(name_, SND_PCM_STREAM_PLAYBACK, pcm); code < 0) {
        return detail::open_error("snd_pcm_open", code);
    }
    Result<AlsaStreamSizes> sizes = configure(pcm.get(), *alsa_format, config);
    if (!sizes) return sizes.error();
    auto stream = std::make_unique<AlsaStream>(std::move(pcm), format, config.channels, sizes.value(), std::move(data),
                                               std::move(error));
    if (Status started = stream->start_worker(); !started) return started.error();
    return std::unique_ptr<Stream>(std::move(stream));
}

std::optional<AlsaStreamSizes> detail::alsa_stream_sizes(const Stream& stream) {
    if (const auto* alsa = dynamic_cast<const AlsaStream*>(&stream)) return alsa->sizes();
    return std::nullopt;
}

}  // namespace lumo::audio
