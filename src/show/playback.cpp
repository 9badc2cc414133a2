#include "show/playback.hpp"

#include <algorithm>
#include <utility>

#include "core/clock.hpp"
#include "core/fatal.hpp"
#include "core/stderr_line.hpp"
#include "show/view_ring.hpp"

namespace lumo {

namespace {

constexpr float kVoiceFrequency = 440.0f;

Oscillator make_oscillator(Wavetable wave, Waveform waveform) {
    Oscillator oscillator;
    oscillator.wave = std::move(wave);
    oscillator.sample_rate = kSampleRateFloat;
    oscillator.index = 0;
    oscillator.frequency = kVoiceFrequency;
    oscillator.generator = nullptr;
    oscillator.waveform = waveform;
    return oscillator;
}

bool empty_table(const Oscillator& oscillator) {
    return oscillator.waveform == Waveform::Table && oscillator.wave.empty();
}

// The voice that `code` plays, or null for a code that names no voice.  The synth voice
// takes the code as its x waveform first; that choice outlasts the event.
Voice* select_voice(PlaybackState& state, std::uint8_t code) {
    if (code <= kLastSynthCode) {
        Voice& synth = state.voices[0];
        synth.x.waveform = static_cast<Waveform>(code);
        return &synth;
    }
    if (code <= kLastVoiceCode) return &state.voices[code - kLastSynthCode];
    return nullptr;
}

// The codes of the events that sound at t, in score order.  Ordered comparisons: a NaN
// time or bound is never active.
void collect_active(PlaybackState& state, float t) {
    state.active.clear();
    if (!state.score) return;
    for (const ScoreEvent& event : *state.score) {
        // The list was sized for the whole score, so this never reallocates.
        if (event.start <= t && t < event.end) state.active.push_back(event.voice);
    }
}

// Mixes the active voices into the first `samples` values of the mix buffer, which the
// state has room for.
void mix_active(PlaybackState& state, std::size_t samples) {
    state.mix.assign(samples, 0.0f);  // within the room reserved at start: no allocation
    for (std::uint8_t code : state.active) {
        Voice* voice = select_voice(state, code);
        if (voice == nullptr) continue;
        // The synth voice has no wavetable: as a Table it stays silent (and unstepped)
        // rather than dividing by its empty length.  The same holds for an empty figure.
        if (empty_table(voice->x) || empty_table(voice->y)) continue;
        process_frame_mix(state.mix, voice->x, voice->y, state.channels);
    }
}

// The mix limited to [-1, 1] (NaN stays NaN) and converted into out's samples from
// `first` on.
void convert_mix(std::span<const float> mix, audio::OutputBuffer out, std::size_t first) {
    visit_sample_type(out.format, [&]<class T>(std::type_identity<T>) {
        T* samples = static_cast<T*>(out.data) + first;
        for (std::size_t i = 0; i < mix.size(); ++i) {
            float v = mix[i];
            if (v < -1.0f) v = -1.0f;
            if (v > 1.0f) v = 1.0f;
            samples[i] = convert_sample<T>(v);
        }
    });
}

}  // namespace

float show_time(MonotonicInstant start, MonotonicInstant now) {
    if (now.seconds < start.seconds ||
        (now.seconds == start.seconds && now.nanoseconds <= start.nanoseconds)) {
        return 0.0f;
    }
    std::int64_t seconds = now.seconds - start.seconds;
    std::int64_t nanoseconds = static_cast<std::int64_t>(now.nanoseconds) - start.nanoseconds;
    if (nanoseconds < 0) {
        seconds -= 1;
        nanoseconds += 1000000000;
    }
    return static_cast<float>(seconds) + static_cast<float>(nanoseconds) / 1000000000.0f;
}

PlaybackState make_playback_state(MonotonicInstant start, std::array<ChannelPair, kVoiceCount - 1> figures,
                                  std::shared_ptr<const Score> score, std::size_t max_samples) {
    PlaybackState state{};
    state.start = start;
    state.voices[0] = {make_oscillator({}, Waveform::Sine), make_oscillator({}, Waveform::Sine)};
    for (std::size_t v = 1; v < kVoiceCount; ++v) {
        ChannelPair& figure = figures[v - 1];
        state.voices[v] = {make_oscillator(std::move(figure.x), Waveform::Table),
                           make_oscillator(std::move(figure.y), Waveform::Table)};
    }
    state.active.reserve(score ? score->size() : 0);
    state.score = std::move(score);
    state.channels = kChannels;
    state.mix.reserve(max_samples);
    return state;
}

void render_buffer(PlaybackState& state, audio::OutputBuffer out, float t) {
    collect_active(state, t);
    // A buffer larger than the mix buffer (no stream hands one over) is rendered in
    // whole-frame pieces, one after the other, so nothing is written out of bounds.  Each
    // voice steps as in one pass; only a voice named by two active events takes its two
    // passes piece by piece instead of buffer by buffer.
    const std::size_t frame = std::max<std::size_t>(state.channels, 1);
    const std::size_t chunk = state.mix.capacity() / frame * frame;
    if (chunk == 0 && out.samples != 0) fatal("playback state has no room for one frame");
    for (std::size_t first = 0; first < out.samples; first += chunk) {
        mix_active(state, std::min(chunk, out.samples - first));
        convert_mix(state.mix, out, first);
        if (state.view) state.view->append(state.mix);
    }
}

void publish_to_view(PlaybackState& state, MonotonicInstant now) {
    if (state.view) state.view->publish(now);
}

void report_stream_error(std::string_view message) {
    write_stderr_line("Error building output sound stream: ", message);
}

}  // namespace lumo
