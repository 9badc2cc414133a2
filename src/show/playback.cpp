#include "show/playback.hpp"

#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "core/convert.hpp"
#include "core/fatal.hpp"

namespace lumo {

namespace {

constexpr float kVoiceSampleRate = 96000.0f;
constexpr float kVoiceFrequency = 440.0f;

// Codes 0 … 5 play the synth voice as that waveform; 6 … 32 play the figure voices.
constexpr std::uint8_t kLastSynthCode = 5;
constexpr std::uint8_t kLastVoiceCode = 32;

Oscillator make_oscillator(std::vector<float> wave, Waveform waveform) {
    Oscillator oscillator;
    oscillator.wave = std::move(wave);
    oscillator.sample_rate = kVoiceSampleRate;
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

template <class T> void render_chunk(PlaybackState& state, std::span<T> out) {
    state.mix.resize(out.size());
    std::fill(state.mix.begin(), state.mix.end(), 0.0f);
    for (std::uint8_t code : state.active) {
        Voice* voice = select_voice(state, code);
        if (voice == nullptr) continue;
        // The synth voice has no wavetable: as a Table it stays silent (and unstepped)
        // rather than dividing by its empty length.  The same holds for an empty figure.
        if (empty_table(voice->x) || empty_table(voice->y)) continue;
        process_frame_mix(state.mix, voice->x, voice->y, state.channels);
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        float v = state.mix[i];
        if (v < -1.0f) v = -1.0f;
        if (v > 1.0f) v = 1.0f;
        out[i] = convert_sample<T>(v);
    }
}

}  // namespace

MonotonicInstant monotonic_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return {static_cast<std::int64_t>(now.tv_sec), static_cast<std::uint32_t>(now.tv_nsec)};
}

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
    state.channels = 2;
    state.mix.reserve(max_samples);
    return state;
}

template <class T> T convert_sample(float v) {
    if constexpr (std::is_same_v<T, float>) {
        return v;
    } else if constexpr (std::is_same_v<T, double>) {
        return static_cast<double>(v);
    } else if constexpr (std::is_same_v<T, std::int8_t>) {
        return saturating_cast<std::int8_t>(v * 128.0f);
    } else if constexpr (std::is_same_v<T, std::int16_t>) {
        return saturating_cast<std::int16_t>(v * 32768.0f);
    } else if constexpr (std::is_same_v<T, std::int32_t>) {
        return saturating_cast<std::int32_t>(v * 2147483648.0f);
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        // 2^63 itself is past the range and saturates to the maximum.
        return saturating_cast<std::int64_t>(v * 9223372036854775808.0f);
    } else {
        // Unsigned samples are the signed ones moved up by half the range: flip the top bit.
        using Signed = std::make_signed_t<T>;
        constexpr T top_bit = static_cast<T>(T{1} << (sizeof(T) * 8 - 1));
        return static_cast<T>(static_cast<T>(convert_sample<Signed>(v)) ^ top_bit);
    }
}

template <class T> void render_buffer(PlaybackState& state, std::span<T> out, float t) {
    collect_active(state, t);
    // A buffer larger than the mix buffer (no stream hands one over) is rendered in
    // whole-frame pieces, one after the other, so nothing is written out of bounds.  Each
    // voice steps as in one pass; only a voice named by two active events takes its two
    // passes piece by piece instead of buffer by buffer.
    const std::size_t frame = std::max<std::size_t>(state.channels, 1);
    const std::size_t chunk = state.mix.capacity() / frame * frame;
    if (chunk == 0 && !out.empty()) fatal("playback state has no room for one frame");
    for (std::size_t first = 0; first < out.size(); first += chunk) {
        render_chunk(state, out.subspan(first, std::min(chunk, out.size() - first)));
    }
}

template <class T> void playback_callback(PlaybackState& state, std::span<T> out) {
    render_buffer(state, out, show_time(state.start, monotonic_now()));
}

void report_stream_error(std::string_view message) {
    // One write of three pieces: nothing is built, so nothing is allocated.
    static constexpr std::string_view prefix = "Error building output sound stream: ";
    iovec pieces[3] = {
        {const_cast<char*>(prefix.data()), prefix.size()},
        {const_cast<char*>(message.data()), message.size()},
        {const_cast<char*>("\n"), 1},
    };
    [[maybe_unused]] ssize_t written = writev(STDERR_FILENO, pieces, 3);
}

#define LUMO_PLAYBACK_INSTANCES(T)                                          \
    template T convert_sample<T>(float);                                    \
    template void render_buffer<T>(PlaybackState&, std::span<T>, float);    \
    template void playback_callback<T>(PlaybackState&, std::span<T>);

LUMO_PLAYBACK_INSTANCES(std::int8_t)
LUMO_PLAYBACK_INSTANCES(std::int16_t)
LUMO_PLAYBACK_INSTANCES(std::int32_t)
LUMO_PLAYBACK_INSTANCES(std::int64_t)
LUMO_PLAYBACK_INSTANCES(std::uint8_t)
LUMO_PLAYBACK_INSTANCES(std::uint16_t)
LUMO_PLAYBACK_INSTANCES(std::uint32_t)
LUMO_PLAYBACK_INSTANCES(std::uint64_t)
LUMO_PLAYBACK_INSTANCES(float)
LUMO_PLAYBACK_INSTANCES(double)

#undef LUMO_PLAYBACK_INSTANCES

}  // namespace lumo
