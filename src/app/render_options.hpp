// lumo-render's command line: what it can make, and the one record its options end up in.
//
// A mode is what lumo-render writes (a WAV file, the raw figures, pictures).  Adding one
// means a row in kRenderModes, a writer of its own, and a case in run_render's dispatch;
// an option a mode needs is a row in the option table of render_options.cpp and a field
// here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/error.hpp"

namespace lumo {

enum class RenderMode { Wav, Figures, Pictures, Html };

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
    {RenderMode::Html, "--html", RenderTarget::Directory, "--html DIR [--seconds S] [--seed N]"},
};

const RenderModeInfo& render_mode_info(RenderMode mode);

enum class RenderFormat { S16, F32 };

struct RenderOptions {
    RenderMode mode = RenderMode::Wav;
    std::string path;                    // the file or directory the mode writes
    std::optional<std::uint64_t> seed;   // absent: seeded from the operating system
    // --wav (--html: seconds)
    double seconds = 160.0;
    std::uint32_t buffer_frames = 1024;
    RenderFormat format = RenderFormat::F32;
};

// Reads lumo-render's arguments (without the program name).  Every refusal is a usage
// error: its report ends with the usage text.
Result<RenderOptions> parse_render_options(std::span<const std::string> args);

}  // namespace lumo
