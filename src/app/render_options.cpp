#include "app/render_options.hpp"

#include <algorithm>
#include <charconv>

#include "core/fatal.hpp"

namespace lumo {

namespace {

std::string usage_text() {
    std::string text;
    for (const RenderModeInfo& mode : kRenderModes) {
        text += text.empty() ? "usage: lumo-render " : "\n       lumo-render ";
        text += mode.usage;
    }
    return text;
}

Error usage_error(const std::string& what) { return Error(what + "\n" + usage_text()); }

template <class Number>
std::optional<Number> parse_number(const std::string& text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
    return value;
}

// Each option that takes a value: its flag and how the value goes into the record.
struct ValueOption {
    std::string_view flag;
    Status (*read)(RenderOptions& options, const std::string& value);
};

constexpr ValueOption kValueOptions[] = {
    {"--seconds",
     [](RenderOptions& options, const std::string& value) -> Status {
         const auto seconds = parse_number<double>(value);
         if (!seconds || !(*seconds >= 0.0) || *seconds > 3600.0) {
             return usage_error("--seconds takes a number of seconds from 0 to 3600, not \"" + value + "\"");
         }
         options.seconds = *seconds;
         return {};
     }},
    {"--buffer",
     [](RenderOptions& options, const std::string& value) -> Status {
         const auto frames = parse_number<std::uint32_t>(value);
         if (!frames || *frames == 0 || *frames > 1u << 20) {
             return usage_error("--buffer takes a frame count from 1 to 1048576, not \"" + value + "\"");
         }
         options.buffer_frames = *frames;
         return {};
     }},
    {"--format",
     [](RenderOptions& options, const std::string& value) -> Status {
         if (value == "s16") {
             options.format = RenderFormat::S16;
         } else if (value == "f32") {
             options.format = RenderFormat::F32;
         } else {
             return usage_error("--format takes s16 or f32, not \"" + value + "\"");
         }
         return {};
     }},
    {"--seed",
     [](RenderOptions& options, const std::string& value) -> Status {
         const auto seed = parse_number<std::uint64_t>(value);
         if (!seed) return usage_error("--seed takes a whole number, not \"" + value + "\"");
         options.seed = *seed;
         return {};
     }},
};

std::string mode_flags() {
    std::string flags;
    for (std::size_t i = 0; i < std::size(kRenderModes); ++i) {
        if (i > 0) flags += i + 1 == std::size(kRenderModes) ? " and " : ", ";
        flags += kRenderModes[i].flag;
    }
    return flags;
}

}  // namespace

const RenderModeInfo& render_mode_info(RenderMode mode) {
    for (const RenderModeInfo& info : kRenderModes) {
        if (info.mode == mode) return info;
    }
    fatal("lumo-render has no such mode");
}

Result<RenderOptions> parse_render_options(std::span<const std::string> args) {
    RenderOptions options;
    bool have_mode = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        const auto* mode = std::find_if(std::begin(kRenderModes), std::end(kRenderModes),
                                        [&](const RenderModeInfo& m) { return m.flag == flag; });
        const auto* option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                          [&](const ValueOption& o) { return o.flag == flag; });
        if (mode == std::end(kRenderModes) && option == std::end(kValueOptions)) {
            return usage_error("unknown option \"" + flag + "\"");
        }
        // "--wav --seconds 3" forgot the file name; it must not write a file called "--seconds".
        if (i + 1 >= args.size() || args[i + 1].starts_with("--")) {
            return usage_error("missing value after " + flag);
        }
        const std::string& value = args[++i];
        if (mode != std::end(kRenderModes)) {
            if (have_mode) return usage_error("give one of " + mode_flags());
            have_mode = true;
            options.mode = mode->mode;
            options.path = value;
        } else if (Status read = option->read(options, value); !read) {
            return read.error();
        }
    }
    if (!have_mode) return usage_error("nothing to render");
    if (options.path.empty()) return usage_error("the output path is empty");
    return options;
}

}  // namespace lumo
