// A 5 × 7 pixel font for the labels of lumo-render's pictures.
#pragma once

#include <array>

namespace lumo {

// Seven rows of five pixels, top row first; '#' is lit.  Lower case is drawn as upper
// case; a character without a glyph is drawn as a blank.
const std::array<const char*, 7>* glyph(char c);

}  // namespace lumo
