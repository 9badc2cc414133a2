// Output streams: what a failure of the device costs.  An underrun is recovered, counted and
// reported once; a device that has gone is closed and reopened, less and less often.
#include <cerrno>
#include <variant>

#include "audio/alsa.hpp"
#include "audio/alsa_stream.hpp"
#include "audio/notice.hpp"
#include "audio/retry.hpp"

namespace lumo::audio::detail {

namespace {

// A failure other than an underrun that has lasted this many tries is taken for a device
// that has gone away.
constexpr int kFailuresBeforeReopen = 5;

}  // namespace

// An underrun is recovered, counted and reported once; a device that cannot be
// recovered, or has gone, is reopened; anything else is reported once while it lasts
// and retried after a growing pause, so a persistent error costs no CPU.
void AlsaStream::handle_failure(Failure failure) {
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
void AlsaStream::count_underrun(std::int64_t silence_ns, std::string_view text) {
    if (underrun_counted_) return;
    underrun_counted_ = true;
    add_underrun(underruns_, silence_ns);
    error_(text);
}

std::string_view AlsaStream::underrun_text(const char* function) const {
    const std::string_view name(function);
    if (name == "snd_pcm_writei") return underrun_in_write_;
    if (name == "snd_pcm_avail_update") return underrun_in_avail_;
    return kRanOutOfSamples;
}

void AlsaStream::report(Failure failure) {
    detail::format_alsa_error(message_, failure.function, failure.code);
    error_(std::string_view(message_.data()));
}

// Said once; the device is closed and tried again after a pause.
void AlsaStream::lose_device() {
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
void AlsaStream::reopen_step() {
    wait_on_pipe(pause_ms_);
    if (stopping_.load()) return;
    // alsa-lib prints nothing of its own while the device is away: the host silenced it.
    std::variant<OpenedOutput, OpenFailure> opened = detail::open_output(request_);
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

void AlsaStream::leave_closed() {
    error_(format_refused_);
    phase_ = Phase::closed;
}

}  // namespace lumo::audio::detail
