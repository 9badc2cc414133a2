// lumo-render --png: pictures of the figures, for people without a scope.
#pragma once

#include <string>

#include "core/error.hpp"
#include "show/prepare.hpp"

namespace lumo {

// figure-01.png … figure-27.png in `directory` (which exists), six slices of each figure
// drawn as a scope's phosphor, and show.png, all figures on one labelled sheet.
Status write_pictures(const PreparedShow& show, const std::string& directory);

}  // namespace lumo
