// The real-time engine: the state the playback callback owns and what one call does.
//
// Real-time contract.  A call of the playback callback runs on the audio worker thread
// and allocates nothing, takes no lock and makes no system call beyond reading the
// monotonic clock: the mix buffer and the active list are sized when the state is made,
// for the largest buffer the stream can deliver.
//
// Everything up to the mix is plain float arithmetic; the sample type of the output
// matters only in the final conversion (show/sample_type.hpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "audio/audio.hpp"
#include "core/monotonic.hpp"
#include "core/points.hpp"
#include "show/sample_type.hpp"
#include "show/score.hpp"
#include "wave/oscillator.hpp"

namespace lumo {

// Voice 0, the synth voice, then one voice for each figure.
inline constexpr std::size_t kVoiceCount = kFigureCount + 1;

// Seconds from `start` to `now` as a 32-bit float; a negative difference counts as 0.
float show_time(MonotonicInstant start, MonotonicInstant now);

struct Voice {
    Oscillator x;
    Oscillator y;
};

class ViewRing;

struct PlaybackState {
    MonotonicInstant start;
    std::array<Voice, kVoiceCount> voices;
    std::shared_ptr<const Score> score;
    std::size_t channels;
    std::vector<float> mix;            // capacity for the largest buffer
    std::vector<std::uint8_t> active;  // capacity for every event of the score
    std::shared_ptr<ViewRing> view;    // where a view of the show reads the mix, or null
};

// Voice 0 is the figure-less synth voice; voice v (1 … 27) takes figures[v - 1], moved in.
// `max_samples` is the largest buffer (in samples) the state will be asked to fill.
PlaybackState make_playback_state(MonotonicInstant start,
                                  std::array<ChannelPair, kVoiceCount - 1> figures,
                                  std::shared_ptr<const Score> score, std::size_t max_samples);

// Fills `out` with the show at show time `t`: the active events' voices mixed, limited
// and converted to the buffer's format.
void render_buffer(PlaybackState& state, audio::OutputBuffer out, float t);

template <class T> void render_buffer(PlaybackState& state, std::span<T> out, float t) {
    render_buffer(state, audio::OutputBuffer{out.data(), out.size(), audio::sample_format_of<T>()}, t);
}

// Makes the buffer just rendered visible to the state's view, if it has one.
void publish_to_view(PlaybackState& state, MonotonicInstant now);

// One call of the data callback: render_buffer at the clock's show time.
template <class T> void playback_callback(PlaybackState& state, std::span<T> out) {
    const MonotonicInstant now = monotonic_now();
    render_buffer(state, out, show_time(state.start, now));
    publish_to_view(state, now);
}

// The error callback: "Error building output sound stream: " and the text, on stderr.
void report_stream_error(std::string_view message);

}  // namespace lumo
