// The show's timing: the 51-event score and the eight-note melody.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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

// The score, shared by show preparation and the playback callback (the count is atomic).
std::shared_ptr<const Score> make_score();

// The melody that the note-fitted figures follow.
std::vector<Note> make_melody();

}  // namespace lumo
