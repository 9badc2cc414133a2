// Inside the GL scope: its shader programs and render targets, and the GL calls its passes
// share.  A GL ES 2 context must be current on the calling thread.
#pragma once

#include <GLES2/gl2.h>

#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace lumo::gl_detail {

struct Program {
    GLuint id = 0;
    GLint uniform(const char* name) const { return glGetUniformLocation(id, name); }
};

// A square texture with a framebuffer around it.
struct Target {
    GLuint texture = 0;
    GLuint framebuffer = 0;
    int width = 0;
};

// A texture's layout: internal format and type (the format is RGBA).
struct Layout {
    GLint internal;
    GLenum type;
    int bits;
};

// The glow's layouts, best first, among those the driver may offer.
std::vector<Layout> glow_layouts();

// Makes `target` `width` pixels square in the first of `layouts` the driver can render
// into, cleared; null when none can.
const Layout* make_target(Target& target, int width, const std::vector<Layout>& layouts);

// Compiles and links the built-in shaders `vertex` and `fragment` (file names).
Result<Program> link_program(std::string_view vertex, std::string_view fragment);

// Draws into `target`, all of it.
void bind_target(const Target* target);

// The full-screen triangle in `buffer`.
void draw_quad(GLuint buffer);

}  // namespace lumo::gl_detail
