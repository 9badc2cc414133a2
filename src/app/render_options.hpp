// lumo-render's command line: what it can make, and the one record its options end up in.
//
// A mode is what lumo-render writes (a WAV file, the raw figures, pictures, scope frames,
// a scope sheet, a video, a page for the browser).  Adding one means a row in kRenderModes, a writer of its own, and a case in
// run_render's dispatch; an option a mode needs is a row in the option table of
// render_options.cpp (which names the modes it applies to) and a field here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "show/score.hpp"
#include "scope/scope.hpp"

namespace lumo {

enum class RenderMode { Wav, Figures, Pictures, Scope, ScopeSheet, Video, Html };

// What the path after a mode's flag names: checked (or created) before the show is prepared.
enum class RenderTarget { File, Directory };

struct RenderModeInfo {
    RenderMode mode;
    std::string_view flag;   // "--wav"
    RenderTarget target;
    std::string_view usage;  // the usage line without the program name
};

inline constexpr RenderModeInfo kRenderModes[] = {
    {RenderMode::Wav, "--wav", RenderTarget::File,
     "--wav FILE [--seconds S] [--buffer FRAMES] [--format s16|f32] [--seed N]"},
    {RenderMode::Figures, "--figures", RenderTarget::Directory, "--figures DIR [--seed N]"},
    {RenderMode::Pictures, "--png", RenderTarget::Directory, "--png DIR [--seed N]"},
    {RenderMode::Scope, "--scope", RenderTarget::Directory,
     "--scope DIR --at T[,T…] [--input FILE.wav] [--size PX] [LOOK] [--gpu] [--seed N]"},
    {RenderMode::ScopeSheet, "--scope-sheet", RenderTarget::File,
     "--scope-sheet FILE.png [--input FILE.wav [--every S]] [LOOK] [--seed N]"},
    {RenderMode::Video, "--video", RenderTarget::File,
     "--video FILE.mp4|FILE.mkv [--input FILE.wav] [--from S] [--seconds S] [--fps N] [--size PX] [LOOK] [--gpu] [--seed N]"},
    {RenderMode::Html, "--html", RenderTarget::Directory, "--html DIR [--seconds S] [--seed N]"},
};

const RenderModeInfo& render_mode_info(RenderMode mode);

enum class RenderFormat { S16, F32 };

// The buffer lumo-render mixes in unless --wav is given another: one period of the length
// lumo asks every device for (25 ms at 96000 Hz), so that by default --wav writes what a
// device granting it plays.  An event starts on the first buffer at or after its start,
// so the chunking is part of the output.  The pictures and videos use it too, so they
// show what --wav writes.
inline constexpr std::uint32_t kRenderBufferFrames = 2400;

// The scope's look (LOOK in the usage), the same for the show and a file.
inline constexpr std::string_view kRenderLookUsage =
    "LOOK: [--persistence MS] [--intensity X] [--focus W] [--colour p31|p7|amber] [--axes x,y|y,x|-x,y|x,-y|…]";

struct RenderOptions {
    RenderMode mode = RenderMode::Wav;
    std::string path;                    // the file or directory the mode writes
    std::optional<std::uint64_t> seed;   // absent: seeded from the operating system
    // --wav, --video, --html
    std::optional<double> seconds;       // absent: the whole show (from --from on)
    // --wav
    std::uint32_t buffer_frames = kRenderBufferFrames;
    RenderFormat format = RenderFormat::F32;
    // --scope
    std::vector<double> at;              // show times, in the order given
    bool gpu = false;                    // drawn with GL ES offscreen instead of on the CPU
    // --scope, --video
    int size = 600;                      // pixels a side
    // --video
    double from = 0.0;
    int fps = 30;
    // --scope, --scope-sheet, --video: a stereo WAV file shown instead of the show
    std::string input;
    double every = 0.0;                  // --scope-sheet --input: seconds apart (0: twelve, evenly)
    // The look.  Absent or 1: the scope's own defaults.
    std::optional<float> persistence;    // seconds (--persistence is in milliseconds)
    float intensity = 1.0f;              // times the default exposure
    float focus = 1.0f;                  // times the default spot width
    ScopePhosphor phosphor = ScopePhosphor::P31;
    bool swap_xy = false, invert_x = false, invert_y = false;
};

// The scope's settings for `options` at `sample_rate`, `size` pixels a side.
ScopeSettings scope_settings(const RenderOptions& options, int sample_rate, int size);

// How long --wav plays: --seconds, or the whole show.
double wav_seconds(const RenderOptions& options);

// The frames --video makes: --seconds (or the rest of the show, or of a file `length`
// seconds long, after --from) at --fps.
std::int64_t video_frames(const RenderOptions& options, double length = kShowSeconds);

// Reads lumo-render's arguments (without the program name).  Every refusal is a usage
// error: its report ends with the usage text.
Result<RenderOptions> parse_render_options(std::span<const std::string> args);

// The usage lines, one per mode: what --help prints and every usage error ends with.
std::string render_usage();

}  // namespace lumo
