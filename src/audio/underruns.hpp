// Underruns, whatever the backend: when the device has run out of samples, how many times
// that happened to a stream, and the line that sums them up at its end.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace lumo::audio {

// How long the device has played silence by `now_ns`, given that `queued_frames` were
// waiting to be played at `then_ns` (both on the monotonic clock, in nanoseconds): 0
// while some of them are left.
std::int64_t silent_ns(std::int64_t then_ns, std::int64_t queued_frames, std::int64_t now_ns,
                       std::uint32_t sample_rate);

struct UnderrunCount {
    std::uint64_t count = 0;
    std::int64_t longest_ns = 0;  // the longest silence one of them caused, as far as it is known
};

// Written by a stream's worker thread, read by anyone at any time.
struct UnderrunTally {
    std::atomic<std::uint64_t> count{0};
    std::atomic<std::int64_t> longest_ns{0};
};

void add_underrun(UnderrunTally& tally, std::int64_t silence_ns);
UnderrunCount read_underruns(const UnderrunTally& tally);

// "3 underruns, longest 175 ms" (milliseconds rounded up; "1 underrun, …" for one).
std::string underrun_summary(UnderrunCount underruns);

}  // namespace lumo::audio
