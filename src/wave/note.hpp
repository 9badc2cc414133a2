// Notes, the note table, and fitting a figure to one period of a note.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/points.hpp"

namespace lumo {

// Sharps and flats of the same pitch are distinct names.
enum class NoteName : std::uint8_t {
    C = 0, Cs = 1, Db = 2, D = 3, Ds = 4, Eb = 5, E = 6, F = 7, Fs = 8,
    Gb = 9, G = 10, Gs = 11, Ab = 12, A = 13, As = 14, Bb = 15, B = 16,
};

struct Note {
    std::int32_t octave;
    NoteName name;
    float frequency;  // Hz; carried along, but lookups go by octave and name only
};

// The 44 notes lumo knows, in table order.
std::span<const Note> note_table();

// The first table entry with this octave and name, if any.
std::optional<Note> find_note(std::int32_t octave, NoteName name);

// Stretches or thins `wave` to one period of the note at 96000 Hz; returns it unchanged
// when the note is not in the table or the length already fits.
PointList wave_to_length(std::int32_t octave, NoteName name, PointList wave);

}  // namespace lumo
