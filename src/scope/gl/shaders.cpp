#include "scope/gl/shaders.hpp"

#include <cstddef>
#include <iterator>

// The bytes of the files, assembled in by src/CMakeLists.txt (cmake/embed.cmake).
#define LUMO_SHADER(symbol) extern "C" const char symbol##_begin[], symbol##_end[];
LUMO_SHADER(lumo_scope_shader_quad_vert)
LUMO_SHADER(lumo_scope_shader_decay_frag)
LUMO_SHADER(lumo_scope_shader_beam_vert)
LUMO_SHADER(lumo_scope_shader_beam_frag)
LUMO_SHADER(lumo_scope_shader_halo_frag)
LUMO_SHADER(lumo_scope_shader_blur_frag)
LUMO_SHADER(lumo_scope_shader_develop_frag)
#undef LUMO_SHADER

namespace lumo {

namespace {

struct EmbeddedShader {
    std::string_view name;
    const char* begin;
    const char* end;
};

// In kScopeShaderNames' order.
const EmbeddedShader kEmbedded[] = {
    {"quad.vert", lumo_scope_shader_quad_vert_begin, lumo_scope_shader_quad_vert_end},
    {"decay.frag", lumo_scope_shader_decay_frag_begin, lumo_scope_shader_decay_frag_end},
    {"beam.vert", lumo_scope_shader_beam_vert_begin, lumo_scope_shader_beam_vert_end},
    {"beam.frag", lumo_scope_shader_beam_frag_begin, lumo_scope_shader_beam_frag_end},
    {"halo.frag", lumo_scope_shader_halo_frag_begin, lumo_scope_shader_halo_frag_end},
    {"blur.frag", lumo_scope_shader_blur_frag_begin, lumo_scope_shader_blur_frag_end},
    {"develop.frag", lumo_scope_shader_develop_frag_begin, lumo_scope_shader_develop_frag_end},
};
static_assert(std::size(kEmbedded) == std::size(kScopeShaderNames));

}  // namespace

std::string scope_shader_text(std::string_view name) {
    for (const EmbeddedShader& shader : kEmbedded) {
        if (shader.name == name) {
            return "#define LUMO_MOST_BLUR_TAPS " + std::to_string(kScopeMostBlurTaps) + "\n" +
                   std::string(shader.begin, shader.end);
        }
    }
    return {};
}

}  // namespace lumo
