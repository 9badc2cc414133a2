// The scope's GLSL ES 1.00 shaders, the files beside this header built into the program:
// the GL scope compiles them, and lumo-render --html hands the same text to the scope page,
// whose WebGL compiles it too, so both draw with one source.  Nothing here needs GL.
#pragma once

#include <string>
#include <string_view>

namespace lumo {

// How the GL scope draws the model's light; the page reads these from show.js as well.
// Steps along which the beam moves evenly are drawn as one segment carrying their energy:
// each point stays within kScopeMergeTolerance σ of where the merged segment puts it, and
// a segment takes at most kScopeLongestMerge steps.
inline constexpr float kScopeMergeTolerance = 0.1f;
inline constexpr int kScopeLongestMerge = 256;
// The halo is blurred at 1/factor of the picture's size, factor = σ/2 within 1 to this.
inline constexpr int kScopeLargestHaloFactor = 16;
// The halo's blur reaches 3σ, 1 to this many taps each side (blur.frag's loop bound).
inline constexpr int kScopeMostBlurTaps = 32;

// Every shader's file name, in a fixed order.
inline constexpr std::string_view kScopeShaderNames[] = {"quad.vert",  "decay.frag", "beam.vert",   "beam.frag",
                                                         "halo.frag", "blur.frag",  "develop.frag"};

// The text to compile for a shader by file name ("beam.frag"): the limits above as
// #defines (LUMO_MOST_BLUR_TAPS), then the file.  Empty for a name that is not one.
std::string scope_shader_text(std::string_view name);

}  // namespace lumo
