// The show's output made offline, buffer after buffer, exactly as the playback callback
// makes it for an ideal device.  Every lumo-render mode that plays the show (--wav,
// --scope, --scope-sheet, --video, --html) mixes through here, so they all show the same
// samples.
//
// The clock is the only difference from lumo: the show time of a buffer is the number of
// frames before it ÷ 96000.  Which buffer an event starts in depends on the buffer size,
// so the same size gives the same samples.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "app/render_options.hpp"
#include "core/error.hpp"
#include "core/points.hpp"
#include "scope/scope.hpp"
#include "show/catalogue.hpp"
#include "show/playback.hpp"
#include "show/prepare.hpp"

namespace lumo {

struct OfflineMix {
    PlaybackState state;
    std::uint32_t buffer_frames = kRenderBufferFrames;
    std::uint64_t next_frame = 0;  // where the next buffer starts
};

// The whole show: its voices take over the show's wavetables.
OfflineMix make_offline_mix(PreparedShow show, std::uint32_t buffer_frames = kRenderBufferFrames);

// `figure` alone: the callback with a score of only the events that play it.  The voice is
// active in the same buffers as in the show, so it is at the same place in its wavetable
// at every instant: the same samples, without the other voices.
OfflineMix make_offline_mix_alone(const PreparedShow& show, Figure figure);

// The show time of a buffer that starts `frames` frames into the show, read the way the
// playback callback reads the clock: whole seconds plus nanoseconds.
float show_time_at_frame(std::uint64_t frames);

// The next out.size() / 2 frames (at most one buffer) into `out`.
template <class T> void mix_next(OfflineMix& mix, std::span<T> out) {
    render_buffer<T>(mix.state, out, show_time_at_frame(mix.next_frame));
    mix.next_frame += out.size() / kChannels;
}

// The next `frames` frames of the mix in buffers of mix.buffer_frames (the last one may be
// shorter), each handed to `take` (interleaved x, y) as soon as it is made.  Stops at the
// first error `take` returns.
template <class T, class Take> Status mix_frames(OfflineMix& mix, std::uint64_t frames, const Take& take) {
    std::vector<T> buffer(static_cast<std::size_t>(mix.buffer_frames) * kChannels);
    for (std::uint64_t done = 0; done < frames;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(mix.buffer_frames, frames - done));
        const std::span<T> out(buffer.data(), count * kChannels);
        mix_next<T>(mix, out);
        done += count;
        if (Status taken = take(std::span<const T>(out)); !taken) return taken;
    }
    return {};
}

// A stretch of the mix held in memory: interleaved samples from frame `first` up to where
// the mix has got.
struct MixWindow {
    std::vector<float> interleaved;
    std::int64_t first = 0;

    StereoSamples samples() const { return {interleaved, first}; }
};

// Mixes on until `window` reaches frame `end` (exclusive), keeping only the frames from
// `keep_from` on: the window never holds more than it is asked to keep plus one buffer.
// `window` starts empty and is only ever extended by this, from the same `mix`.
void mix_until(OfflineMix& mix, MixWindow& window, std::int64_t keep_from, std::int64_t end);

}  // namespace lumo
