// Drawing primitives: lines on the integer grid and the renderer that turns a drawing
// into one time slice of output samples.
//
// Drawing units: 100 units are full scale on the output; line stepping runs over the
// grid positions -128 … 127 on each axis.  All arithmetic is 32-bit float, one rounded
// operation at a time, in the order written in draw.cpp.
#pragma once

#include <cstddef>
#include <vector>

#include "core/points.hpp"

namespace lumo {

// Evenly spaced dependent values from d0 toward d1 while the independent value runs
// from i0 toward i1 in steps of `step`; never produces d1 itself.
std::vector<float> interpolate_float(float i0, float d0, float i1, float d1, float step);

// The points of the segment (x0, y0)–(x1, y1), one grid unit apart along its longer axis
// (y-major on a tie), in the direction of the increasing major coordinate, without the
// far endpoint.
PointList create_line_float(float x0, float y0, float x1, float y1, float step);

// Appends create_line_float(x0, y0, x1, y1, step) to `drawing`, without building it apart.
void append_line(PointList& drawing, float x0, float y0, float x1, float y1, float step);

// One slice of `seconds` at 96000 Hz: the points scaled to output units (÷ 100), each
// held for `repeat` samples, cycled from the start until the slice is full.  Empty input
// (or `repeat` 0, or a duration under one sample) gives an empty slice.
PointList draw_points_float(PointList points, unsigned repeat, float seconds);

// The number of points of a drawing that one 0.02-second slice plays with `repeat`:
// later points are cut off, so an effect may stop drawing a frame once it has them.
std::size_t heard_points(unsigned repeat);

// Renders `frame` as one 0.02-second slice (draw_points_float(frame, repeat, 0.02)) onto
// the end of `figure`'s two channels, then empties `frame`, keeping its room for the next.
void append_slice(ChannelPair& figure, PointList& frame, unsigned repeat);

}  // namespace lumo
