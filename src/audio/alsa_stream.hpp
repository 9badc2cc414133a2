// Inside the ALSA host: the output stream.  Its worker thread feeds the device, keeps count
// of its underruns and reopens the device when it goes away.  The members are defined by
// concern: alsa_stream.cpp (the stream's life and the worker's loop), alsa_feed.cpp (feeding
// the device and noticing underruns), alsa_recovery.cpp (failures, and the device lost and
// reopened).
#pragma once

#include <poll.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/alsa_detail.hpp"
#include "audio/underruns.hpp"

namespace lumo::audio::detail {

// The device's poll descriptors, at most; the pulse and hw PCMs have one or two.
inline constexpr std::size_t kMaxPcmDescriptors = 15;

// The worker thread owns the PCM between build and destruction (and replaces it when it
// reopens the device); the main thread only flips the two flags and writes to the pipe.
class AlsaStream final : public Stream {
public:
    AlsaStream(OutputRequest request, SampleFormat format, OpenedOutput opened, PcmStatus status, DataCallback data,
               ErrorCallback error);
    ~AlsaStream() override;

    // The pipe and the poll set, then the thread.  Everything the loop uses exists by now.
    Status start_worker();

    // Filling starts here rather than at build, so a stream that is never played never
    // calls its data callback.
    Status play() override;

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

    // The worker's loop and its pipe (alsa_stream.cpp).
    void run();
    void wake();
    void drain_pipe();
    void wait_on_pipe(int timeout_ms);
    std::optional<OpenFailure> watch_pcm();

    // Feeding (alsa_feed.cpp).
    void play_step();
    Failure check_state(snd_pcm_state_t& state);
    std::int64_t silence_so_far() const;
    void note_queue();
    Failure fill_and_write();

    // Failures and reopening (alsa_recovery.cpp).
    void handle_failure(Failure failure);
    void count_underrun(std::int64_t silence_ns, std::string_view text);
    std::string_view underrun_text(const char* function) const;
    void report(Failure failure);
    void lose_device();
    void reopen_step();
    void leave_closed();

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

}  // namespace lumo::audio::detail
