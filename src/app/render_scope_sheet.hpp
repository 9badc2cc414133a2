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

namespace lumo {

// Instants (show seconds, to the millisecond) at which to look at `figure`: the middles of
// the thirds of the time the score plays it, each at least a frame from the edges of its
// event.  None for a figure the score never plays.
std::vector<double> sheet_instants(Figure figure);

// The sheet as a PNG at options.path.
Status write_scope_sheet(PreparedShow show, const RenderOptions& options);

}  // namespace lumo
