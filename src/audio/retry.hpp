// How often a stream tries again after a failure, whatever the backend.  A failure that
// persists must cost no CPU, and a device that comes back must play again within a second:
// tried at most half a second apart, which leaves the other half for opening and priming it.
#pragma once

namespace lumo::audio {

// A stream error that is not an underrun: retried after 10 ms, then less and less often.
inline constexpr int kFirstErrorPauseMs = 10;
// A device that has gone away: reopened after 100 ms, then less and less often.
inline constexpr int kFirstReopenPauseMs = 100;
inline constexpr int kLongestPauseMs = 500;

// The pause before the next try, given the pause before the last one (0: the last try was
// the first, or it succeeded): `first_ms`, then doubling up to kLongestPauseMs.
constexpr int next_pause_ms(int last_ms, int first_ms) {
    if (last_ms <= 0) return first_ms;
    return last_ms >= kLongestPauseMs / 2 ? kLongestPauseMs : last_ms * 2;
}

}  // namespace lumo::audio
