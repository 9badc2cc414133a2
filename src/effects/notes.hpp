// Effects fitted to a melody: the note-object figure and the closing turning box.
#pragma once

#include <span>

#include "core/points.hpp"
#include "obj/obj.hpp"
#include "wave/note.hpp"

namespace lumo {

// The corners of every third face of `model`, fitted to each note in turn for
// repeats - 1 slices, shrinking from `scale` toward `scale` - 0.3.
ChannelPair obj_note(unsigned repeats, std::span<const Note> notes, const Model& model, float scale);

// The closing figure: a cross-fade from `figure` (one slice, 1920 points) into a turning
// box, the melody with the box fitted to each note, then the melody again fading out.
ChannelPair loppu(unsigned repeats, const PointList& figure, std::span<const Note> notes, float step);

}  // namespace lumo
