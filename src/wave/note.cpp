#include "wave/note.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/clock.hpp"
#include "core/convert.hpp"

namespace lumo {

namespace {

using enum NoteName;

// Equal temperament from A4 = 440 Hz, rounded to hundredths of a hertz.  The table is
// searched from the top, so its order is part of what it means.
constexpr std::array<Note, 44> kNoteTable{{
    {0, C, 16.35f},  {0, Cs, 17.32f}, {0, Db, 17.32f}, {0, D, 18.35f},  {0, Ds, 19.45f},
    {0, Eb, 19.45f}, {0, E, 20.60f},  {0, F, 21.83f},  {0, Fs, 23.12f}, {0, Gb, 23.12f},
    {0, G, 24.50f},  {0, Gs, 25.96f}, {0, Ab, 25.96f}, {0, A, 27.50f},  {0, As, 29.14f},
    {0, Bb, 29.14f}, {0, B, 30.87f},

    {1, C, 32.70f},  {1, Cs, 34.65f}, {1, Db, 34.65f}, {1, D, 36.71f},  {1, Ds, 38.89f},
    {1, Eb, 38.89f}, {1, E, 41.20f},  {1, F, 43.65f},  {1, Fs, 46.25f}, {1, Gb, 46.25f},
    {1, G, 49.00f},  {1, Gs, 51.91f}, {1, Ab, 51.91f}, {1, A, 55.00f},  {1, As, 58.27f},
    {1, Bb, 58.27f}, {1, B, 61.74f},

    {2, C, 65.41f},  {2, Cs, 69.30f}, {2, Db, 69.30f},
    {3, C, 130.81f}, {3, Cs, 138.59f}, {3, Db, 138.59f},
    {4, C, 261.63f}, {4, Cs, 277.18f}, {4, Db, 277.18f}, {4, A, 440.00f},
}};

// Each point repeated `each` times in a row until `target` points are out; the tail of
// the input is not reached when `each` overshoots.
PointList stretch(const PointList& wave, std::uint32_t target) {
    const std::uint32_t each =
        saturating_cast<std::uint32_t>(std::ceil(static_cast<double>(target) / static_cast<double>(wave.size())));
    PointList out;
    out.reserve(target);
    std::uint32_t owed = target;
    for (const Point& p : wave) {
        if (owed == 0) break;
        const std::uint32_t times = std::min(each, owed);
        out.insert(out.end(), times, p);
        owed -= times;
    }
    return out;
}

// Drops every d-th point from the first on.  This meets the target exactly only when the
// excess divides the length; otherwise the fit comes out somewhat short of one period.
PointList thin_by_dropping(const PointList& wave, std::size_t target) {
    const std::size_t d = wave.size() / (wave.size() - target);
    PointList out;
    out.reserve(target);
    for (std::size_t j = 0; j < wave.size(); ++j) {
        if (j % d != 0) out.push_back(wave[j]);
    }
    return out;
}

// Beyond twice the target, dropping every d-th point would drop them all (d is 1), so the
// figure is sampled evenly instead and keeps its shape.
PointList thin_evenly(const PointList& wave, std::uint32_t target) {
    const std::uint64_t n = wave.size();
    PointList out;
    out.reserve(target);
    // j * n in 64 bits; the position itself is below n, so it fits a 32-bit size_t.
    for (std::uint64_t j = 0; j < target; ++j) out.push_back(wave[static_cast<std::size_t>(j * n / target)]);
    return out;
}

}  // namespace

std::span<const Note> note_table() { return kNoteTable; }

std::optional<Note> find_note(std::int32_t octave, NoteName name) {
    for (const Note& note : kNoteTable) {
        if (note.octave == octave && note.name == name) return note;
    }
    return std::nullopt;
}

PointList wave_to_length(std::int32_t octave, NoteName name, PointList wave) {
    const std::optional<Note> note = find_note(octave, name);
    if (!note) return wave;
    const std::uint32_t target = saturating_cast<std::uint32_t>(kSampleRateFloat / note->frequency);
    const std::size_t n = wave.size();
    if (n == target) return wave;
    if (n < target) return stretch(wave, target);
    if (n > 2 * static_cast<std::size_t>(target)) return thin_evenly(wave, target);
    return thin_by_dropping(wave, target);
}

}  // namespace lumo
