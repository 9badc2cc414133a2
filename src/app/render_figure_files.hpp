// lumo-render --figures: each figure's wavetables as a raw file, for checking the show
// byte for byte.
#pragma once

#include <string>

#include "core/error.hpp"
#include "show/prepare.hpp"

namespace lumo {

// figure-01.f32 … figure-27.f32 in `directory` (which exists): each figure's points,
// x and y interleaved, 32-bit little-endian floats.
Status write_figure_files(const PreparedShow& show, const std::string& directory);

}  // namespace lumo
