#include "app/render.hpp"

#include <cstdio>
#include <iostream>

#include "app/render_encoder.hpp"
#include "app/render_figure_files.hpp"
#include "app/render_files.hpp"
#include "app/render_html.hpp"
#include "app/render_options.hpp"
#include "app/render_png.hpp"
#include "app/render_scope.hpp"
#include "app/render_scope_sheet.hpp"
#include "app/render_video.hpp"
#include "app/render_wav.hpp"
#include "core/random.hpp"
#include "show/prepare.hpp"

namespace lumo {

namespace {

// Preparing the show takes a while: an unwritable destination or a missing encoder is
// found before that.
Status check_destination(const RenderOptions& options) {
    if (options.mode == RenderMode::Video) {
        if (Result<std::string> found = find_program(kVideoEncoder); !found) {
            return found.error().context("lumo-render --video needs ffmpeg");
        }
    }
    switch (render_mode_info(options.mode).target) {
        case RenderTarget::File: return check_file_location(options.path);
        case RenderTarget::Directory: return prepare_directory(options.path);
    }
    return {};
}

// A user's own file: nothing of the show is prepared.
Status write_input_output(WavStream& input, const RenderOptions& options) {
    switch (options.mode) {
        case RenderMode::Scope: return write_input_scope_frames(input, options);
        case RenderMode::ScopeSheet: return write_input_sheet(input, options);
        case RenderMode::Video: return write_input_video(input, options);
        default: break;
    }
    return Error("--input goes with --scope, --scope-sheet and --video");
}

Status write_output(PreparedShow show, const RenderOptions& options) {
    switch (options.mode) {
        case RenderMode::Wav: return write_wav(std::move(show), options);
        case RenderMode::Figures: return write_figure_files(show, options.path);
        case RenderMode::Pictures: return write_pictures(show, options.path);
        case RenderMode::Scope: return write_scope_frames(std::move(show), options);
        case RenderMode::ScopeSheet: return write_scope_sheet(std::move(show), options);
        case RenderMode::Video: return write_video(std::move(show), options);
        case RenderMode::Html: return write_html(std::move(show), options);
    }
    return {};
}

int fail(const Error& error) {
    std::cerr << "Error: " << error.report() << "\n";
    return 1;
}

}  // namespace

int run_render(std::span<const std::string> args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << render_usage() << "\n";
        return 0;
    }
    Result<RenderOptions> parsed = parse_render_options(args);
    if (!parsed) return fail(parsed.error());
    const RenderOptions& options = parsed.value();
    remove_temporaries_on_interrupt();
    if (!options.input.empty()) {
        // The file is read before anything is made, so a file it cannot show leaves nothing.
        Result<WavStream> input = WavStream::open(options.input);
        if (!input) return fail(input.error());
        if (Status ready = check_destination(options); !ready) return fail(ready.error());
        if (Status done = write_input_output(input.value(), options); !done) return fail(done.error());
        return 0;
    }
    if (Status ready = check_destination(options); !ready) return fail(ready.error());
    std::fprintf(stderr, "lumo-render: preparing the show\n");
    // With a seed, the random draws (the blocks' speeds, the order of outline edges) are
    // the same on every run.
    RandomEngine random = options.seed ? RandomEngine(*options.seed) : seeded_from_system();
    if (Status done = write_output(prepare_show(random), options); !done) return fail(done.error());
    return 0;
}

}  // namespace lumo
