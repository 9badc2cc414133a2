// make_stream: the whole show prepared, then the output stream built around it.
//
// The stream is built for the sample type the device prefers.  Only the callback's last
// step depends on that type, so the typed functions here are thin: the state is made
// once, untyped, and the ten instances differ in the stream they ask the layer for.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <utility>

#include "audio/audio.hpp"
#include "core/error.hpp"
#include "core/random.hpp"
#include "show/playback.hpp"
#include "show/prepare.hpp"

namespace lumo {

// The callback's state for a stream of `config`: the voices made from `show` (its
// wavetables moved, not copied), its score and `start`, sized for the largest buffer;
// `view`, when given, receives every buffer's mix.
std::shared_ptr<PlaybackState> make_stream_state(const audio::StreamConfig& config, MonotonicInstant start,
                                                 PreparedShow show, std::shared_ptr<ViewRing> view = {});

// Stream construction for sample type T: the state moved into the playback callback and
// the stream built (not started).  On failure the layer has dropped the callback, and
// with it the state; on success the callback holds the score's only reference left.
template <class T>
Result<std::unique_ptr<audio::Stream>> build_stream(const audio::Device& device,
                                                    const audio::StreamConfig& config,
                                                    MonotonicInstant start, PreparedShow show,
                                                    std::shared_ptr<ViewRing> view = {}) {
    // std::function wants a copyable callable: copies share the one state (its wavetables
    // are never copied), and the last copy to go releases it with the stream.
    std::function<void(std::span<T>)> data = [state = make_stream_state(config, start, std::move(show),
                                                                                 std::move(view))](
                                                 std::span<T> out) { playback_callback(*state, out); };
    return audio::build_output_stream<T>(device, config, std::move(data), report_stream_error);
}

// Show preparation (the blocks' speeds and the outline orders drawn from `random`), the
// start instant, then stream construction.
template <class T>
Result<std::unique_ptr<audio::Stream>> make_stream(const audio::Device& device, const audio::StreamConfig& config,
                                                   RandomEngine& random, std::shared_ptr<ViewRing> view = {}) {
    PreparedShow show = prepare_show(random);
    const MonotonicInstant start = monotonic_now();
    return build_stream<T>(device, config, start, std::move(show), std::move(view));
}

// make_stream for the sample type that `format` names.
Result<std::unique_ptr<audio::Stream>> make_stream_for(audio::SampleFormat format, const audio::Device& device,
                                                       const audio::StreamConfig& config, RandomEngine& random,
                                                       std::shared_ptr<ViewRing> view = {});

}  // namespace lumo
