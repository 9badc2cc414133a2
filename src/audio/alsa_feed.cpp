// Output streams: feeding the device when it has room, and the underruns its state or its
// delay gives away.
#include <poll.h>

#include <cerrno>

#include "audio/alsa_stream.hpp"
#include "core/monotonic.hpp"

namespace lumo::audio::detail {

namespace {

// A silence this short is the jitter of the delay the device reports, not an underrun.
constexpr std::int64_t kSilenceThresholdNs = 2'000'000;

}  // namespace

// One wake-up of a playing stream: wait for room (or the pause after a failure), then
// check the device's state and feed it.
void AlsaStream::play_step() {
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
AlsaStream::Failure AlsaStream::check_state(snd_pcm_state_t& state) {
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
std::int64_t AlsaStream::silence_so_far() const {
    if (!queued_at_ns_) return 0;
    return silent_ns(*queued_at_ns_, queued_frames_, to_nanoseconds(monotonic_now()), request_.sample_rate);
}

// After a write: what the device holds now, for the next wake-up's check.
void AlsaStream::note_queue() {
    if (snd_pcm_status(pcm_.get(), status_.get()) < 0 ||
        snd_pcm_status_get_state(status_.get()) != SND_PCM_STATE_RUNNING) {
        queued_at_ns_.reset();  // not started yet (or failing): nothing drains
        return;
    }
    queued_frames_ = snd_pcm_status_get_delay(status_.get());
    queued_at_ns_ = to_nanoseconds(monotonic_now());
}

// Hands the callback one chunk whenever one is free, and writes it out; a chunk the
// device takes only in part is finished on a later wake-up before the next is asked for.
AlsaStream::Failure AlsaStream::fill_and_write() {
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

}  // namespace lumo::audio::detail
