// Output streams: the worker thread that feeds the device, keeps count of its underruns
// and reopens it when it goes away.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <ctime>
#include <thread>

#include "audio/alsa.hpp"
#include "audio/alsa_detail.hpp"
#include "audio/notice.hpp"
#include "audio/realtime.hpp"
#include "audio/retry.hpp"

// alsa/error.h declares this one outside its extern "C" block, so C++ would look for a
// mangled name; this declaration names the library's symbol itself.
extern "C" snd_local_error_handler_t lumo_snd_lib_error_set_local(snd_local_error_handler_t handler) __asm__(
    "snd_lib_error_set_local");

namespace lumo::audio {

using detail::alsa_error_text;
using detail::kRanOutOfSamples;
using detail::AlsaStreamSizes;
using detail::OpenedOutput;
using detail::OpenFailure;
using detail::OutputRequest;
using detail::PcmHandle;
using detail::PcmStatus;

namespace {

// The ALSA format of a stream's samples; none for the 64-bit integers ALSA lacks.
std::optional<snd_pcm_format_t> stream_format(SampleFormat format) {
    for (const detail::AlsaFormat& known : detail::kAlsaFormats) {
        if (known.format == format) return known.alsa;
    }
    return std::nullopt;
}

// The device's poll descriptors, at most; the pulse and hw PCMs have one or two.
constexpr std::size_t kMaxPcmDescriptors = 15;

// A silence this short is the jitter of the delay the device reports, not an underrun.
constexpr std::int64_t kSilenceThresholdNs = 2'000'000;

// A failure other than an underrun that has lasted this many tries is taken for a device
// that has gone away.
constexpr int kFailuresBeforeReopen = 5;

std::int64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Quiets libasound's own messages on the calling thread while the device is being
// reopened: while it is gone each try would print one.
void quiet_alsa(const char*, int, const char*, int, const char*, va_list) {}

// An output stream over one PCM device.  The worker thread owns the PCM between build
// and destruction (and replaces it when it reopens the device); the main thread only
// flips the two flags and writes to the pipe.
class AlsaStream final : public Stream {
public:
    AlsaStream(OutputRequest request, SampleFormat format, OpenedOutput opened, PcmStatus status, DataCallback data,
               ErrorCallback error)
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

    ~AlsaStream() override {
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

    // The pipe and the poll set, then the thread.  Everything the loop uses exists by now.
    Status start_worker() {
        if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) return Error(alsa_error_text("pipe2", -errno));
        fds_[0] = pollfd{pipe_[0], POLLIN, 0};
        if (const std::optional<OpenFailure> failure = watch_pcm()) {
            return Error(alsa_error_text(failure->function, failure->code));
        }
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

    AlsaStreamSizes sizes() const { return built_sizes_; }
    UnderrunCount underruns() const { return read_underruns(underruns_); }

private:
    enum class Phase {
        playing,  // the device is open and fed
        lost,     // the device has gone away; it is reopened after a pause
        closed,   // the device came back unable to play this stream; nothing more happens
    };

    struct Failure {
        const char* function = nullptr;
        int code = 0;  // negative; 0 when nothing failed
        explicit operator bool() const { return code != 0; }
        bool operator==(const Failure& other) const = default;
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

    // Puts the PCM's descriptors after the pipe's in the poll set.
    std::optional<OpenFailure> watch_pcm() {
        const int count = snd_pcm_poll_descriptors_count(pcm_.get());
        if (count <= 0 || static_cast<std::size_t>(count) > kMaxPcmDescriptors) {
            return OpenFailure{"snd_pcm_poll_descriptors_count", count < 0 ? count : -EINVAL, true};
        }
        const int filled = snd_pcm_poll_descriptors(pcm_.get(), &fds_[1], static_cast<unsigned>(count));
        if (filled < 0) return OpenFailure{"snd_pcm_poll_descriptors", filled, false};
        pcm_fds_ = static_cast<std::size_t>(count);
        return std::nullopt;
    }

    void run() {
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

    // One wake-up of a playing stream: wait for room (or the pause after a failure), then
    // check the device's state and feed it.
    void play_step() {
        underrun_counted_ = false;
        bool hung_up = false;
        Failure revents_failure;
        if (pause_ms_ > 0) {
            wait_on_pipe(pause_ms_);
            if (stopping_.load()) return;
        } else {
            for (pollfd& fd : fds_) fd.revents = 0;
            if (::poll(fds_.data(), pcm_fds_ + 1, -1) < 0) {
                if (errno != EINTR) handle_failure({"poll", -errno});
                return;
            }
            if (fds_[0].revents != 0) drain_pipe();
            if (stopping_.load()) return;
            unsigned short revents = 0;
            const int code = snd_pcm_poll_descriptors_revents(pcm_.get(), &fds_[1], static_cast<unsigned>(pcm_fds_),
                                                              &revents);
            if (code < 0) {
                // The descriptors say nothing; what the device does next says more.
                revents_failure = {"snd_pcm_poll_descriptors_revents", code};
            } else {
                if ((revents & (POLLOUT | POLLERR | POLLHUP | POLLNVAL)) == 0) return;
                hung_up = (revents & (POLLHUP | POLLNVAL)) != 0;
            }
        }
        snd_pcm_state_t state = SND_PCM_STATE_OPEN;
        Failure failure = check_state(state);
        if (!failure) failure = fill_and_write();
        // An xrun shows as EPIPE from the calls above; should the device not say so there,
        // its state does.
        if (!failure && state == SND_PCM_STATE_XRUN) failure = {"snd_pcm_status", -EPIPE};
        if (!failure) failure = revents_failure;
        if (failure) {
            handle_failure(failure);
        } else if (hung_up) {
            lose_device();  // a hung-up descriptor stays ready for ever: polling it again would spin
        } else {
            pause_ms_ = 0;
            last_failure_ = {};
            repeated_failures_ = 0;
        }
    }

    // The device's state before it is fed, and an underrun it did not report as one but
    // that its delay gives away: it ran out of what was queued at the last write.
    Failure check_state(snd_pcm_state_t& state) {
        if (const int code = snd_pcm_status(pcm_.get(), status_.get()); code < 0) return {"snd_pcm_status", code};
        state = snd_pcm_status_get_state(status_.get());
        if (state == SND_PCM_STATE_DISCONNECTED) return {"snd_pcm_status", -ENODEV};
        if (state != SND_PCM_STATE_RUNNING) return {};
        if (const std::int64_t silence = silence_so_far(); silence > kSilenceThresholdNs) {
            queued_at_ns_.reset();
            count_underrun(silence, kRanOutOfSamples);
        }
        return {};
    }

    // How long the device has been silent by now, from what was queued at the last write.
    std::int64_t silence_so_far() const {
        if (!queued_at_ns_) return 0;
        return silent_ns(*queued_at_ns_, queued_frames_, monotonic_ns(), request_.sample_rate);
    }

    // After a write: what the device holds now, for the next wake-up's check.
    void note_queue() {
        if (snd_pcm_status(pcm_.get(), status_.get()) < 0 ||
            snd_pcm_status_get_state(status_.get()) != SND_PCM_STATE_RUNNING) {
            queued_at_ns_.reset();  // not started yet (or failing): nothing drains
            return;
        }
        queued_frames_ = snd_pcm_status_get_delay(status_.get());
        queued_at_ns_ = monotonic_ns();
    }

    // Hands the callback one chunk whenever one is free, and writes it out; a chunk the
    // device takes only in part is finished on a later wake-up before the next is asked for.
    Failure fill_and_write() {
        bool wrote = false;
        for (;;) {
            if (pending_frames_ == 0) {
                const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
                if (avail < 0) return {"snd_pcm_avail_update", static_cast<int>(avail)};
                if (static_cast<std::size_t>(avail) < chunk_frames_) break;
                data_(OutputBuffer{buffer_.data(), chunk_frames_ * request_.channels, format_});
                pending_frames_ = chunk_frames_;
                pending_offset_ = 0;
            }
            const snd_pcm_sframes_t written =
                snd_pcm_writei(pcm_.get(), buffer_.data() + pending_offset_ * frame_bytes_, pending_frames_);
            if (written == -EAGAIN || written == -EINTR) break;
            if (written < 0) return {"snd_pcm_writei", static_cast<int>(written)};
            pending_frames_ -= static_cast<std::size_t>(written);
            pending_offset_ += static_cast<std::size_t>(written);
            wrote = true;
        }
        if (wrote) note_queue();
        return {};
    }

    // An underrun is recovered, counted and reported once; a device that cannot be
    // recovered, or has gone, is reopened; anything else is reported once while it lasts
    // and retried after a growing pause, so a persistent error costs no CPU.
    void handle_failure(Failure failure) {
        if (failure.code == -EPIPE || failure.code == -ESTRPIPE) {
            const std::int64_t silence = silence_so_far();
            queued_at_ns_.reset();
            if (snd_pcm_recover(pcm_.get(), failure.code, 1) < 0) {
                lose_device();
                return;
            }
            if (failure.code == -EPIPE) {
                count_underrun(silence, underrun_text(failure.function));
            } else {
                report(failure);
            }
            pause_ms_ = 0;
            return;
        }
        if (failure.code == -ENODEV || ++repeated_failures_ >= kFailuresBeforeReopen) {
            lose_device();
            return;
        }
        if (failure != last_failure_) report(failure);
        last_failure_ = failure;
        pause_ms_ = next_pause_ms(pause_ms_, kFirstErrorPauseMs);
    }

    // Once per wake-up: the device may notice an underrun that its delay already gave away.
    void count_underrun(std::int64_t silence_ns, std::string_view text) {
        if (underrun_counted_) return;
        underrun_counted_ = true;
        add_underrun(underruns_, silence_ns);
        error_(text);
    }

    std::string_view underrun_text(const char* function) const {
        const std::string_view name(function);
        if (name == "snd_pcm_writei") return underrun_in_write_;
        if (name == "snd_pcm_avail_update") return underrun_in_avail_;
        return kRanOutOfSamples;
    }

    void report(Failure failure) {
        detail::format_alsa_error(message_, failure.function, failure.code);
        error_(std::string_view(message_.data()));
    }

    // Said once; the device is closed and tried again after a pause.
    void lose_device() {
        error_(kDeviceNotAvailable);
        pcm_.reset();
        pcm_fds_ = 0;
        pending_frames_ = 0;
        queued_at_ns_.reset();
        last_failure_ = {};
        repeated_failures_ = 0;
        phase_ = Phase::lost;
        pause_ms_ = next_pause_ms(0, kFirstReopenPauseMs);
    }

    // The same request as at build.  A device that is still away is tried again, less and
    // less often; one that is back but cannot play the request is reported and left.
    void reopen_step() {
        wait_on_pipe(pause_ms_);
        if (stopping_.load()) return;
        const snd_local_error_handler_t loud = lumo_snd_lib_error_set_local(&quiet_alsa);
        std::variant<OpenedOutput, OpenFailure> opened = detail::open_output(request_);
        lumo_snd_lib_error_set_local(loud);
        if (auto* failure = std::get_if<OpenFailure>(&opened)) {
            if (failure->refused) return leave_closed();
            pause_ms_ = next_pause_ms(pause_ms_, kFirstReopenPauseMs);
            return;
        }
        OpenedOutput& output = std::get<OpenedOutput>(opened);
        pcm_ = std::move(output.pcm);
        if (const std::optional<OpenFailure> failure = watch_pcm()) {
            pcm_.reset();
            if (failure->refused) return leave_closed();
            pause_ms_ = next_pause_ms(pause_ms_, kFirstReopenPauseMs);
            return;
        }
        // The buffer was sized at build: a longer period is fed in several chunks.
        chunk_frames_ = std::min(output.sizes.period_frames, capacity_frames_);
        phase_ = Phase::playing;
        pause_ms_ = 0;
        audio_notice(device_back_);
    }

    void leave_closed() {
        error_(format_refused_);
        phase_ = Phase::closed;
    }

    const OutputRequest request_;
    const SampleFormat format_;
    const std::size_t frame_bytes_;
    const AlsaStreamSizes built_sizes_;
    const std::size_t capacity_frames_;  // of buffer_, fixed at build

    PcmHandle pcm_;
    PcmStatus status_;
    std::size_t chunk_frames_;
    DataCallback data_;
    ErrorCallback error_;

    // Texts reported from the worker thread, made at build so that reporting allocates nothing.
    const std::string underrun_in_write_;
    const std::string underrun_in_avail_;
    const std::string format_refused_;
    const std::string device_back_;
    std::array<char, 320> message_{};

    std::vector<std::byte> buffer_;
    std::size_t pending_frames_ = 0;
    std::size_t pending_offset_ = 0;

    Phase phase_ = Phase::playing;
    int pause_ms_ = 0;
    Failure last_failure_;
    int repeated_failures_ = 0;
    std::optional<std::int64_t> queued_at_ns_;  // when queued_frames_ was read; empty: not draining
    snd_pcm_sframes_t queued_frames_ = 0;
    UnderrunTally underruns_;
    bool underrun_counted_ = false;  // at this wake-up

    std::array<pollfd, kMaxPcmDescriptors + 1> fds_{};  // the pipe, then the PCM's
    std::size_t pcm_fds_ = 0;
    int pipe_[2] = {-1, -1};
    std::atomic<bool> playing_{false};
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

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
