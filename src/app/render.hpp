// lumo-render: the show without a sound card.
//
// It runs the same preparation and the same mixing code as lumo and writes what they make
// to files: the options pick a mode (render_options.hpp), each mode has a writer of its
// own (render_wav, render_figure_files, render_png, render_scope, render_scope_sheet,
// render_video), those that play the show mix it through render_mix, and every file goes
// to disk through render_files, so nothing half-written is left behind.
#pragma once

#include <span>
#include <string>

namespace lumo {

// The whole program: arguments (without the program name) in, exit status out.  1 for a
// usage error or a file that cannot be written, with "Error: " and the reason on stderr;
// 130 or 143 when SIGINT or SIGTERM stops it.
int run_render(std::span<const std::string> args);

}  // namespace lumo
