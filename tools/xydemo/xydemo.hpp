// A stereo WAV of simple XY figures, at any rate and in the usual sample formats: what the
// tests and the README show on the scope in place of someone's music.
//
// One figure a second: a circle of radius 0.6 about the centre traced 100 times a second,
// a square with corners at (±0.5, ±0.5) traced 50 times a second at an even speed, a 3:2
// Lissajous figure that turns, and a five-pointed star; then the same again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumo::xydemo {

enum class Format { S16, S24, F32 };

inline constexpr int kFigures = 4;  // one a second, in the order above

// The beam's place at `seconds` (x = left, y = right, in [-1, 1]).
struct Place {
    double x, y;
};
Place place_at(double seconds);

// The whole file: `seconds` of the figures at `rate` Hz.  24-bit files use the extensible
// header, as most programs write them; 16-bit integer PCM and 32-bit float the plain one.
std::vector<std::byte> make_wav(int rate, Format format, double seconds);

}  // namespace lumo::xydemo
