// lumo-render --scope-sheet: one look at how every figure the score plays reads on a
// scope.  A row per figure, three instants while it sounds, each shown twice: in the mix
// (what a viewer sees) and the figure's voice alone (what the figure would show), so a
// figure buried under a clip stands out.
#pragma once

#include <vector>

#include "app/render_options.hpp"
#include "core/error.hpp"
#include "show/catalogue.hpp"
#include "show/prepare.hpp"
#include "wave/wav.hpp"

namespace lumo {

// Instants (show seconds, to the millisecond) at which to look at `figure`: the middles of
// the thirds of the time the score plays it, each at least a frame from the edges of its
// event.  None for a figure the score never plays.
std::vector<double> sheet_instants(Figure figure);

// The sheet as a PNG at options.path.
Status write_scope_sheet(PreparedShow show, const RenderOptions& options);

// The instants (seconds, to the millisecond) a sheet of a file `length` seconds long shows:
// every `every` seconds from `every` on, or with `every` 0 the middles of twelve equal
// parts.  At most kInputSheetMost; more is an error.
inline constexpr std::size_t kInputSheetMost = 240;
Result<std::vector<double>> input_sheet_instants(double length, double every);

// A sheet of `input`: its frames at evenly spaced instants, six to a row, each with its time.
Status write_input_sheet(WavStream& input, const RenderOptions& options);

}  // namespace lumo
