// What the playback callback hands a view of the show: the mixed samples as the device
// gets them, in a ring that the callback writes and one reader copies from.
//
// The ring is made before the stream starts and never grows.  Writing stores floats and
// counters (release atomics: plain stores on x86), so the callback keeps its contract: no
// allocation, no lock, no system call.  The writer never waits for
// the reader; a reader too slow for the ring finds its frames overwritten and is told so,
// which costs it a picture, never the sound a sample.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "show/playback.hpp"

namespace lumo {

class ViewRing {
public:
    // Room for `frames` stereo frames (at least one).
    explicit ViewRing(std::size_t frames);

    // Writer (the playback callback): appends interleaved stereo samples, held to
    // [-1, 1] as the device plays them (NaN as 0), not yet visible to the reader.
    void append(std::span<const float> interleaved);
    // Writer: makes what was appended visible, with the instant the buffer was asked for.
    void publish(MonotonicInstant at);

    struct Mark {
        std::int64_t written;     // frames published so far
        std::int64_t at_nanoseconds;  // the monotonic instant of the last publish
        std::int64_t last_buffer;     // frames in the buffer published last
    };
    // Reader: the latest publish, consistent.
    Mark mark() const;

    // Reader: frames first … first + count of the stream into `out` (2 × count floats).
    // False, leaving `out` undefined, where part of them is not written yet or already
    // overwritten.
    bool read(std::int64_t first, std::span<float> out) const;

    std::size_t capacity() const { return frames_; }

private:
    std::size_t frames_;
    std::unique_ptr<std::atomic<float>[]> samples_;
    std::int64_t appended_ = 0;  // the writer's own count
    std::int64_t last_buffer_ = 0;
    std::atomic<std::int64_t> written_{0};
    std::atomic<std::int64_t> at_{0};
    std::atomic<std::int64_t> buffer_{0};
    std::atomic<std::uint64_t> sequence_{0};  // odd while a publish is under way
};

// The frame the device is presenting at `now`, from the last publish: the buffer just
// handed over plays after the frames queued before it (about one buffer), and playing
// advances at the sample rate; never beyond what is written.
std::int64_t presented_frame(const ViewRing::Mark& mark, std::int64_t now_nanoseconds, std::int64_t rate);

}  // namespace lumo
