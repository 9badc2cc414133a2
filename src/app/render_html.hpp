// lumo-render --html: a folder that plays the show on an emulated scope in a browser,
// opened straight from the file system, with no server and no network.
//
// The page itself (web/index.html, scope.js, scope.css) is written by hand and built into
// lumo-render byte for byte; lumo-render adds the show to it as two scripts, because a
// page opened from file:// may load scripts but not read files:
//   show.js        the score's figures (name, and when each plays) for the time line;
//   show-audio.js  the show's output as `--wav --format s16` writes it (16-bit,
//                  little-endian, x then y), base64, one second a string.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/render_options.hpp"
#include "core/error.hpp"
#include "show/prepare.hpp"

namespace lumo {

// The page's files as they are built in: name and bytes.
struct WebFile {
    std::string_view name;
    std::span<const unsigned char> bytes;
};
std::span<const WebFile> web_files();

// show.js for a show with `seed` (absent: drawn from the system) and `seconds` of sound.
std::string show_script(std::optional<std::uint64_t> seed, double seconds);

// RFC 4648 base64, with padding.
std::string base64(std::span<const unsigned char> bytes);

// Writes the page's files, show.js and show-audio.js into `options.path` (a directory);
// index.html comes last, so a folder with it is complete.
Status write_html(PreparedShow show, const RenderOptions& options);

}  // namespace lumo
