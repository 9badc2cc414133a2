#include "scope/gl/gl_resources.hpp"

#include <GLES2/gl2ext.h>

#include <string>

#include "scope/gl/shaders.hpp"

namespace lumo {

namespace {

Result<GLuint> compile_shader(GLenum type, std::string_view name) {
    const std::string source = scope_shader_text(name);
    const GLuint shader = glCreateShader(type);
    const GLchar* text = source.data();
    const GLint length = static_cast<GLint>(source.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        glDeleteShader(shader);
        return Error("the GL driver refused the scope's shader " + std::string(name) + ": " + log);
    }
    return shader;
}

}  // namespace

namespace gl_detail {

Result<Program> link_program(std::string_view vertex, std::string_view fragment) {
    Result<GLuint> v = compile_shader(GL_VERTEX_SHADER, vertex);
    if (!v.ok()) return v.error();
    Result<GLuint> f = compile_shader(GL_FRAGMENT_SHADER, fragment);
    if (!f.ok()) {
        glDeleteShader(v.value());
        return f.error();
    }
    Program program{glCreateProgram()};
    glAttachShader(program.id, v.value());
    glAttachShader(program.id, f.value());
    glBindAttribLocation(program.id, 0, vertex == "beam.vert" ? "a_ends" : "a_position");
    glBindAttribLocation(program.id, 1, "a_corner");
    glLinkProgram(program.id);
    glDeleteShader(v.value());
    glDeleteShader(f.value());
    GLint ok = 0;
    glGetProgramiv(program.id, GL_LINK_STATUS, &ok);
    if (!ok) {
        glDeleteProgram(program.id);
        return Error("the GL driver could not link the scope's " + std::string(fragment) + " program");
    }
    return program;
}

// Float glow, in the order tried: sized 32- and 16-bit floats where the context is ES 3
// (32-bit only where it also blends them), the ES 2 extensions' unsized floats, bytes.
std::vector<Layout> glow_layouts() {
    constexpr GLint kRgba32f = 0x8814, kRgba16f = 0x881A;
    constexpr GLenum kHalfFloat = 0x140B;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const std::string_view all = extensions ? extensions : "";
    std::vector<Layout> layouts;
    if (all.find("GL_EXT_float_blend") != std::string_view::npos) layouts.push_back({kRgba32f, GL_FLOAT, 32});
    layouts.push_back({kRgba16f, kHalfFloat, 16});
    layouts.push_back({GL_RGBA, GL_HALF_FLOAT_OES, 16});
    layouts.push_back({GL_RGBA, GL_UNSIGNED_BYTE, 8});
    return layouts;
}

const Layout* make_target(Target& target, int width, const std::vector<Layout>& layouts) {
    target.width = width;
    glGenTextures(1, &target.texture);
    glGenFramebuffers(1, &target.framebuffer);
    glBindTexture(GL_TEXTURE_2D, target.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    for (const Layout& layout : layouts) {
        while (glGetError() != GL_NO_ERROR) {
        }
        glTexImage2D(GL_TEXTURE_2D, 0, layout.internal, width, width, 0, GL_RGBA, layout.type, nullptr);
        if (glGetError() != GL_NO_ERROR) continue;
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.texture, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
            glClearColor(0, 0, 0, 0);
            glClear(GL_COLOR_BUFFER_BIT);
            return &layout;
        }
    }
    return nullptr;
}

void bind_target(const Target* target) {
    glBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
    glViewport(0, 0, target->width, target->width);
}

void draw_quad(GLuint buffer) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(0);
    glDisableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

}  // namespace gl_detail

}  // namespace lumo
