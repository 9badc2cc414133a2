#include "show/stream.hpp"

#include <utility>

namespace lumo {

static_assert(kFigureCount == kVoiceCount - 1, "every voice but the synth voice plays one figure");

template <class T>
Result<std::unique_ptr<audio::Stream>> build_stream(const audio::Device& device,
                                                    const audio::StreamConfig& config,
                                                    MonotonicInstant start, PreparedShow show) {
    // Sized for the largest buffer any stream hands over, so the callback never allocates.
    constexpr std::size_t max_samples = audio::kMaxFramesPerCallback * 2;
    auto state = std::make_shared<PlaybackState>(
        make_playback_state(start, std::move(show.voice_figures), show.score, max_samples));
    // The computed waveforms count their period in samples of the stream they play on.
    const float sample_rate = static_cast<float>(config.sample_rate);
    for (Voice& voice : state->voices) {
        voice.x.sample_rate = sample_rate;
        voice.y.sample_rate = sample_rate;
    }
    // std::function wants a copyable callable: copies share the one state (its wavetables
    // are never copied), and the last copy to go releases it with the stream.
    std::function<void(std::span<T>)> data = [state = std::move(state)](std::span<T> out) {
        playback_callback<T>(*state, out);
    };
    Result<std::unique_ptr<audio::Stream>> stream =
        audio::build_output_stream<T>(device, config, std::move(data), report_stream_error);
    // After a failure the layer has already dropped the callback, and with it the state;
    // after success the callback's reference is the only one left.
    show.score.reset();
    return stream;
}

template <class T>
Result<std::unique_ptr<audio::Stream>> make_stream(const audio::Device& device,
                                                   const audio::StreamConfig& config, RandomEngine& random) {
    PreparedShow show = prepare_show(random);
    const MonotonicInstant start = monotonic_now();
    return build_stream<T>(device, config, start, std::move(show));
}

Result<std::unique_ptr<audio::Stream>> make_stream_for(audio::SampleFormat format,
                                                       const audio::Device& device,
                                                       const audio::StreamConfig& config, RandomEngine& random) {
    using audio::SampleFormat;
    switch (format) {
        case SampleFormat::I8: return make_stream<std::int8_t>(device, config, random);
        case SampleFormat::I16: return make_stream<std::int16_t>(device, config, random);
        case SampleFormat::I32: return make_stream<std::int32_t>(device, config, random);
        case SampleFormat::I64: return make_stream<std::int64_t>(device, config, random);
        case SampleFormat::U8: return make_stream<std::uint8_t>(device, config, random);
        case SampleFormat::U16: return make_stream<std::uint16_t>(device, config, random);
        case SampleFormat::U32: return make_stream<std::uint32_t>(device, config, random);
        case SampleFormat::U64: return make_stream<std::uint64_t>(device, config, random);
        case SampleFormat::F32: return make_stream<float>(device, config, random);
        case SampleFormat::F64: return make_stream<double>(device, config, random);
    }
    fatal("invalid sample format");
}

#define LUMO_STREAM_INSTANCES(T)                                                                    \
    template Result<std::unique_ptr<audio::Stream>> build_stream<T>(                               \
        const audio::Device&, const audio::StreamConfig&, MonotonicInstant, PreparedShow);         \
    template Result<std::unique_ptr<audio::Stream>> make_stream<T>(                                \
        const audio::Device&, const audio::StreamConfig&, RandomEngine&);

LUMO_STREAM_INSTANCES(std::int8_t)
LUMO_STREAM_INSTANCES(std::int16_t)
LUMO_STREAM_INSTANCES(std::int32_t)
LUMO_STREAM_INSTANCES(std::int64_t)
LUMO_STREAM_INSTANCES(std::uint8_t)
LUMO_STREAM_INSTANCES(std::uint16_t)
LUMO_STREAM_INSTANCES(std::uint32_t)
LUMO_STREAM_INSTANCES(std::uint64_t)
LUMO_STREAM_INSTANCES(float)
LUMO_STREAM_INSTANCES(double)

#undef LUMO_STREAM_INSTANCES

}  // namespace lumo
