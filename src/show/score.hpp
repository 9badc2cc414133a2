// The show's timing: the 51-event score and the eight-note melody.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "show/catalogue.hpp"
#include "wave/note.hpp"

namespace lumo {

// One sounding of one voice, active while start <= t < end on the show clock.
// Codes 6 … 32 play voice code - 5; codes 0 … 5 play voice 0 and set its x waveform.
struct ScoreEvent {
    float start;
    float end;
    std::uint8_t voice;
};

using Score = std::vector<ScoreEvent>;

// The show plays for this long after its stream starts, whatever the score holds; the
// score's last event ends before it.
inline constexpr int kShowSeconds = 160;

// The highest code that plays the synth voice; the figure voices' codes follow it.
inline constexpr std::uint8_t kLastSynthCode = 5;
static_assert(kLastSynthCode + kFigureCount <= 255, "every figure's code fits the 8-bit field");
inline constexpr std::uint8_t kLastVoiceCode = kLastSynthCode + kFigureCount;

// The code that plays `figure`.
constexpr std::uint8_t voice_code(Figure figure) {
    return static_cast<std::uint8_t>(kLastSynthCode + voice_of(figure));
}

// The score, shared by show preparation and the playback callback (the count is atomic).
std::shared_ptr<const Score> make_score();

// The events of the score that play `figure`, in score order.
std::vector<ScoreEvent> events_playing(Figure figure);

// The melody that the note-fitted figures follow.
std::vector<Note> make_melody();

}  // namespace lumo
