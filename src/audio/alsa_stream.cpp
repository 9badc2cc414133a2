// Output streams: building one, its worker thread's loop, and closing it.
#include "audio/alsa_stream.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "audio/alsa.hpp"
#include "audio/notice.hpp"
#include "audio/realtime.hpp"

namespace lumo::audio {

namespace detail {

AlsaStream::AlsaStream(OutputRequest request, SampleFormat format, OpenedOutput opened, PcmStatus status,
                       DataCallback data, ErrorCallback error)
    : request_(std::move(request)),
      format_(format),
      frame_bytes_(static_cast<std::size_t>(snd_pcm_format_physical_width(request_.format) / 8) *
                   request_.channels),
      built_sizes_(opened.sizes),
      capacity_frames_(std::min(opened.sizes.period_frames, kMaxFramesPerCallback)),
      pcm_(std::move(opened.pcm)),
      status_(std::move(status)),
      chunk_frames_(capacity_frames_),
      data_(std::move(data)),
      error_(std::move(error)),
      underrun_in_write_(alsa_error_text("snd_pcm_writei", -EPIPE)),
      underrun_in_avail_(alsa_error_text("snd_pcm_avail_update", -EPIPE)),
      format_refused_("The device " + debug_quote(request_.device) +
                      " came back but no longer plays this stream's format, rate and channels; it stays closed."),
      device_back_("the device " + debug_quote(request_.device) + " is back; playback goes on") {
    buffer_.resize(capacity_frames_ * frame_bytes_);
}

AlsaStream::~AlsaStream() {
    if (worker_.joinable()) {
        stopping_.store(true);
        wake();
        worker_.join();
    }
    if (pcm_) snd_pcm_drop(pcm_.get());
    if (pipe_[0] >= 0) ::close(pipe_[0]);
    if (pipe_[1] >= 0) ::close(pipe_[1]);
    // The end of the show is the end of its stream: the one line that sums up its
    // underruns comes here, after the worker is gone.
    if (const UnderrunCount underruns = read_underruns(underruns_); underruns.count > 0) {
        audio_notice(underrun_summary(underruns));
    }
}

Status AlsaStream::start_worker() {
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) return Error(alsa_error_text("pipe2", -errno));
    fds_[0] = pollfd{pipe_[0], POLLIN, 0};
    if (const std::optional<OpenFailure> failure = watch_pcm()) {
        return Error(alsa_error_text(failure->function, failure->code));
    }
    worker_ = std::thread([this] { run(); });
    return {};
}

Status AlsaStream::play() {
    playing_.store(true);
    wake();
    return {};
}

void AlsaStream::run() {
    while (!stopping_.load() && !playing_.load()) wait_on_pipe(-1);
    if (stopping_.load()) return;
    prepare_audio_thread();
    while (!stopping_.load()) {
        switch (phase_) {
        case Phase::playing: play_step(); break;
        case Phase::lost: reopen_step(); break;
        case Phase::closed: wait_on_pipe(-1); break;
        }
    }
}

void AlsaStream::wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &byte, 1);  // a full pipe is awake already
}

void AlsaStream::drain_pipe() {
    std::array<char, 64> bytes{};
    while (::read(pipe_[0], bytes.data(), bytes.size()) > 0) {
    }
}

// Waits on the pipe alone, for `timeout_ms` or until woken (-1: until woken).
void AlsaStream::wait_on_pipe(int timeout_ms) {
    fds_[0].revents = 0;
    if (::poll(fds_.data(), 1, timeout_ms) > 0) drain_pipe();
}

// Puts the PCM's descriptors after the pipe's in the poll set.
std::optional<OpenFailure> AlsaStream::watch_pcm() {
    const int count = snd_pcm_poll_descriptors_count(pcm_.get());
    if (count <= 0 || static_cast<std::size_t>(count) > kMaxPcmDescriptors) {
        return OpenFailure{"snd_pcm_poll_descriptors_count", count < 0 ? count : -EINVAL, true};
    }
    const int filled = snd_pcm_poll_descriptors(pcm_.get(), &fds_[1], static_cast<unsigned>(count));
    if (filled < 0) return OpenFailure{"snd_pcm_poll_descriptors", filled, false};
    pcm_fds_ = static_cast<std::size_t>(count);
    return std::nullopt;
}

}  // namespace detail

using detail::alsa_error_text;
using detail::AlsaStream;
using detail::AlsaStreamSizes;
using detail::OpenFailure;
using detail::OpenedOutput;
using detail::OutputRequest;
using detail::PcmStatus;

namespace {

// The ALSA format of a stream's samples; none for the 64-bit integers ALSA lacks.
std::optional<snd_pcm_format_t> stream_format(SampleFormat format) {
    for (const detail::AlsaFormat& known : detail::kAlsaFormats) {
        if (known.format == format) return known.alsa;
    }
    return std::nullopt;
}

}  // namespace

Result<std::unique_ptr<Stream>> AlsaDevice::build_output_stream_raw(const StreamConfig& config, SampleFormat format,
                                                                    DataCallback data, ErrorCallback error) const {
    const std::optional<snd_pcm_format_t> alsa_format = stream_format(format);
    if (!alsa_format || config.channels == 0) return Error(std::string(kStreamTypeNotSupported));
    OutputRequest request{name_, *alsa_format, config.sample_rate, config.channels};
    std::variant<OpenedOutput, OpenFailure> opened = detail::open_output(request);
    if (const auto* failure = std::get_if<OpenFailure>(&opened)) return detail::open_failure_error(request, *failure);
    snd_pcm_status_t* raw_status = nullptr;
    if (const int code = snd_pcm_status_malloc(&raw_status); code < 0) {
        return Error(alsa_error_text("snd_pcm_status_malloc", code));
    }
    auto stream = std::make_unique<AlsaStream>(std::move(request), format, std::get<OpenedOutput>(std::move(opened)),
                                               PcmStatus(raw_status), std::move(data), std::move(error));
    if (Status started = stream->start_worker(); !started) return started.error();
    return std::unique_ptr<Stream>(std::move(stream));
}

std::optional<AlsaStreamSizes> detail::alsa_stream_sizes(const Stream& stream) {
    if (const auto* alsa = dynamic_cast<const AlsaStream*>(&stream)) return alsa->sizes();
    return std::nullopt;
}

std::optional<UnderrunCount> detail::alsa_stream_underruns(const Stream& stream) {
    if (const auto* alsa = dynamic_cast<const AlsaStream*>(&stream)) return alsa->underruns();
    return std::nullopt;
}

}  // namespace lumo::audio
