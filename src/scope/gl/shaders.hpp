// The scope's GLSL ES 1.00 shaders, the files beside this header built into the program:
// the GL scope compiles them, and lumo-render --html hands the same text to the scope page,
// whose WebGL compiles it too, so both draw with one source.  Nothing here needs GL.
#pragma once

#include <string_view>

namespace lumo {

// Every shader's file name, in a fixed order.
inline constexpr std::string_view kScopeShaderNames[] = {"quad.vert",  "decay.frag", "beam.vert",   "beam.frag",
                                                         "halo.frag", "blur.frag",  "develop.frag"};

// The shader's source by file name ("beam.frag"), or empty for a name that is not one.
std::string_view scope_shader_source(std::string_view name);

}  // namespace lumo
