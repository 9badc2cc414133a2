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
    {RenderMode::Scope, "--scope", RenderTarget::Directory, "--scope DIR --at T[,T…] [--size PX] [--gpu] [--seed N]"},
    {RenderMode::ScopeSheet, "--scope-sheet", RenderTarget::File, "--scope-sheet FILE.png [--seed N]"},
    {RenderMode::Video, "--video", RenderTarget::File,
     "--video FILE.mp4|FILE.mkv [--from S] [--seconds S] [--fps 30|60] [--size PX] [--seed N]"},
    {RenderMode::Html, "--html", RenderTarget::Directory, "--html DIR [--seconds S] [--seed N]"},
};

const RenderModeInfo& render_mode_info(RenderMode mode);

enum class RenderFormat { S16, F32 };

// The buffer lumo-render mixes in unless --wav is given another; the pictures and videos
// use it, so they show what --wav writes.
inline constexpr std::uint32_t kRenderBufferFrames = 1024;

// The show's length: the stream plays this long, whatever the score holds.
inline constexpr double kShowSeconds = 160.0;

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
};

// How long --wav plays: --seconds, or the whole show.
double wav_seconds(const RenderOptions& options);

// The frames --video makes: --seconds (or the rest of the show after --from) at --fps.
std::int64_t video_frames(const RenderOptions& options);

// Reads lumo-render's arguments (without the program name).  Every refusal is a usage
// error: its report ends with the usage text.
Result<RenderOptions> parse_render_options(std::span<const std::string> args);

// The usage lines, one per mode: what --help prints and every usage error ends with.
std::string render_usage();

}  // namespace lumo
