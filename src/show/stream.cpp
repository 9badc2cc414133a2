#include "show/stream.hpp"

#include "core/clock.hpp"

namespace lumo {

std::shared_ptr<PlaybackState> make_stream_state(const audio::StreamConfig& config, MonotonicInstant start,
                                                 PreparedShow show, std::shared_ptr<ViewRing> view) {
    // Sized for the largest buffer any stream hands over, so the callback never allocates.
    constexpr std::size_t max_samples = audio::kMaxFramesPerCallback * kChannels;
    auto state = std::make_shared<PlaybackState>(
        make_playback_state(start, std::move(show.voice_figures), std::move(show.score), max_samples));
    state->view = std::move(view);
    // The computed waveforms count their period in samples of the stream they play on.
    const float sample_rate = static_cast<float>(config.sample_rate);
    for (Voice& voice : state->voices) {
        voice.x.sample_rate = sample_rate;
        voice.y.sample_rate = sample_rate;
    }
    return state;
}

Result<std::unique_ptr<audio::Stream>> make_stream_for(audio::SampleFormat format, const audio::Device& device,
                                                       const audio::StreamConfig& config, RandomEngine& random,
                                                       std::shared_ptr<ViewRing> view) {
    return visit_sample_type(format, [&]<class T>(std::type_identity<T>) {
        return make_stream<T>(device, config, random, view);
    });
}

}  // namespace lumo
