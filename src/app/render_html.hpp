// lumo-render --html: a folder that plays the show on an emulated scope in a browser,
// opened straight from the file system, with no server and no network.
//
// The page itself (web/index.html, scope.js, scope.css, show-worker.js) is written by hand
// and built into lumo-render byte for byte; lumo-render adds the show to it as two scripts,
// because a page opened from file:// may load scripts but not read files:
//   show.js         the seed, the length, the scope model's constants and shaders (the
//                   GL scope's own files) and the score's figures (name, and when each
//                   plays) for the time line;
//   show-module.js  lumo's show code built for WebAssembly (base64) and the models' OBJ
//                   text: the page's Worker prepares the show and mixes it with them.
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

// The page's WebAssembly module as built in; empty in a build without it (ARM).
std::span<const unsigned char> web_module();

// show-module.js for `module`.
std::string module_script(std::span<const unsigned char> module);

// RFC 4648 base64, with padding.
std::string base64(std::span<const unsigned char> bytes);

// Writes the page's files, show.js and show-module.js into `options.path` (a directory);
// index.html comes last, so a folder with it is complete.  The page prepares the show
// itself: `show` goes unused.
Status write_html(PreparedShow show, const RenderOptions& options);

}  // namespace lumo
