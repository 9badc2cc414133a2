#include "scope/gl/gl_scope.hpp"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "core/convert.hpp"
#include "scope/detail.hpp"

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

std::string_view between(const char* begin, const char* end) {
    return {begin, static_cast<std::size_t>(end - begin)};
}

// Steps along which the beam moves evenly are drawn as one segment carrying their energy,
// as the page does: each point stays within kMergeTolerance σ of where the merged segment
// puts it.
constexpr float kMergeTolerance = 0.1f;
constexpr int kLongestMerge = 256;

struct Program {
    GLuint id = 0;
    GLint uniform(const char* name) const { return glGetUniformLocation(id, name); }
};

struct Target {
    GLuint texture = 0;
    GLuint framebuffer = 0;
    int width = 0;
};

}  // namespace

struct GlScope::Gl {
    ScopeSettings settings;
    Program decay, beam, halo, blur, develop;
    Target glow, halo_a, halo_b, picture;
    GLuint quad_buffer = 0;
    GLuint segment_buffer = 0;
    int factor = 1;
    int halo_width = 1;
    int bits = 32;
    long quads = 0;
    std::vector<float> vertices;

    ~Gl() {
        for (Program* p : {&decay, &beam, &halo, &blur, &develop}) glDeleteProgram(p->id);
        for (Target* t : {&glow, &halo_a, &halo_b, &picture}) {
            glDeleteFramebuffers(1, &t->framebuffer);
            glDeleteTextures(1, &t->texture);
        }
        glDeleteBuffers(1, &quad_buffer);
        glDeleteBuffers(1, &segment_buffer);
    }
};

std::string_view scope_shader_source(std::string_view name) {
    if (name == "quad.vert") return between(lumo_scope_shader_quad_vert_begin, lumo_scope_shader_quad_vert_end);
    if (name == "decay.frag") return between(lumo_scope_shader_decay_frag_begin, lumo_scope_shader_decay_frag_end);
    if (name == "beam.vert") return between(lumo_scope_shader_beam_vert_begin, lumo_scope_shader_beam_vert_end);
    if (name == "beam.frag") return between(lumo_scope_shader_beam_frag_begin, lumo_scope_shader_beam_frag_end);
    if (name == "halo.frag") return between(lumo_scope_shader_halo_frag_begin, lumo_scope_shader_halo_frag_end);
    if (name == "blur.frag") return between(lumo_scope_shader_blur_frag_begin, lumo_scope_shader_blur_frag_end);
    if (name == "develop.frag") return between(lumo_scope_shader_develop_frag_begin, lumo_scope_shader_develop_frag_end);
    return {};
}

namespace {

Result<GLuint> compile_shader(GLenum type, std::string_view name) {
    const std::string_view source = scope_shader_source(name);
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

// A texture's layout: internal format and type (the format is RGBA).
struct Layout {
    GLint internal;
    GLenum type;
    int bits;
};

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

// A square texture with a framebuffer around it, in the first of `layouts` the driver can
// render into; null when none can.
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

}  // namespace

GlScope::GlScope(std::unique_ptr<Gl> gl) : gl_(std::move(gl)) {}
GlScope::~GlScope() = default;

Result<std::unique_ptr<GlScope>> GlScope::make(const ScopeSettings& settings) {
    if (Status fits = check_scope_settings(settings); !fits) return fits.error();
    auto gl = std::make_unique<Gl>();
    gl->settings = settings;
    const char* names[5][2] = {{"quad.vert", "decay.frag"},
                               {"beam.vert", "beam.frag"},
                               {"quad.vert", "halo.frag"},
                               {"quad.vert", "blur.frag"},
                               {"quad.vert", "develop.frag"}};
    Program* programs[5] = {&gl->decay, &gl->beam, &gl->halo, &gl->blur, &gl->develop};
    for (int i = 0; i < 5; ++i) {
        Result<Program> linked = link_program(names[i][0], names[i][1]);
        if (!linked.ok()) return linked.error();
        *programs[i] = linked.value();
    }
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (largest < settings.size) return Error("the GL driver's textures are smaller than the scope picture");

    const int size = settings.size;
    const float sigma = settings.bloom_sigma * static_cast<float>(size);
    gl->factor = std::clamp(saturating_cast<int>(sigma * 0.5f), 1, 16);
    gl->halo_width = (size + gl->factor - 1) / gl->factor;
    const std::vector<Layout> layouts = glow_layouts();
    const Layout* glow = make_target(gl->glow, size, layouts);
    if (glow == nullptr) return Error("the GL driver cannot draw into a texture");
    gl->bits = glow->bits;
    const std::vector<Layout> same = {*glow};
    if (!make_target(gl->halo_a, gl->halo_width, same) || !make_target(gl->halo_b, gl->halo_width, same) ||
        !make_target(gl->picture, size, {layouts.back()})) {
        return Error("the GL driver cannot make the scope's textures");
    }
    const float triangle[6] = {-1.0f, -1.0f, 3.0f, -1.0f, -1.0f, 3.0f};
    glGenBuffers(1, &gl->quad_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, gl->quad_buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof triangle, triangle, GL_STATIC_DRAW);
    glGenBuffers(1, &gl->segment_buffer);
    glDisable(GL_DEPTH_TEST);
    if (glGetError() != GL_NO_ERROR) return Error("the GL driver failed while making the scope");
    return std::unique_ptr<GlScope>(new GlScope(std::move(gl)));
}

void GlScope::clear() {
    bind_target(&gl_->glow);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

void GlScope::expose(const StereoSamples& samples, std::int64_t end) {
    expose_span(samples, end - scope_frame_samples(gl_->settings), end);
}

void GlScope::expose_span(const StereoSamples& samples, std::int64_t first, std::int64_t end) {
    Gl& gl = *gl_;
    const ScopeSettings& s = gl.settings;
    const int size = s.size;
    const float fsize = static_cast<float>(size);
    // The frame keeps d of the glow of a frame's time ago: a span of another length keeps
    // d to the power of its share of a frame.
    const double share = static_cast<double>(end - first) / static_cast<double>(scope_frame_samples(s));
    const float frame_keep = scope_detail::frame_decay(s);
    const float keep = share == 1.0 ? frame_keep : static_cast<float>(std::pow(static_cast<double>(frame_keep), share));

    bind_target(&gl.glow);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_SRC_COLOR);
    glUseProgram(gl.decay.id);
    glUniform1f(gl.decay.uniform("u_keep"), keep);
    draw_quad(gl.quad_buffer);
    gl.quads = 0;
    if (end <= first) {
        glDisable(GL_BLEND);
        return;
    }

    const PointList path = scope_detail::beam_path(samples, first, end, s);
    const float energy = (1.0f - keep) / static_cast<float>(path.size() - 1) * fsize * fsize;
    const float sigma = std::max(kScopeNarrowestSpot, s.beam_sigma * fsize);
    const float tolerance2 = kMergeTolerance * sigma * kMergeTolerance * sigma;
    static constexpr float corners[6][2] = {{0, 0}, {1, 0}, {0, 1}, {0, 1}, {1, 0}, {1, 1}};
    std::vector<float>& v = gl.vertices;
    v.clear();
    // The path is y down; GL's pixels are y up.
    auto at = [&](std::size_t i) { return Point{path[i].x, fsize - path[i].y}; };
    std::size_t start = 0;
    const std::size_t points = path.size();
    while (start + 1 < points) {
        const Point a = at(start);
        const Point next = at(start + 1);
        const float vx = next.x - a.x;
        const float vy = next.y - a.y;
        std::size_t e = start + 1;
        while (e + 1 < points && e + 1 - start <= kLongestMerge) {
            const float k = static_cast<float>(e + 1 - start);
            const Point p = at(e + 1);
            const float dx = p.x - (a.x + k * vx);
            const float dy = p.y - (a.y + k * vy);
            if (dx * dx + dy * dy > tolerance2) break;
            ++e;
        }
        const Point b = at(e);
        for (const auto& c : corners) {
            v.insert(v.end(), {a.x, a.y, b.x, b.y, c[0], c[1], static_cast<float>(e - start)});
        }
        ++gl.quads;
        start = e;
    }

    glBlendFunc(GL_ONE, GL_ONE);
    glUseProgram(gl.beam.id);
    glUniform1f(gl.beam.uniform("u_size"), fsize);
    glUniform1f(gl.beam.uniform("u_reach"), kScopeBeamReach * sigma);
    glUniform1f(gl.beam.uniform("u_short"), kScopeShortSegment * sigma);
    glUniform1f(gl.beam.uniform("u_scale"), 1.0f / (sigma * 1.41421356f));
    glUniform1f(gl.beam.uniform("u_spot"), energy / (2.0f * 3.14159265f * sigma * sigma));
    glUniform1f(gl.beam.uniform("u_line"), energy / (2.0f * sigma * 2.50662827f));
    glBindBuffer(GL_ARRAY_BUFFER, gl.segment_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(float)), v.data(), GL_STREAM_DRAW);
    const GLsizei stride = 7 * sizeof(float);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, nullptr);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(4 * sizeof(float)));
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(gl.quads * 6));
    glDisableVertexAttribArray(1);
    glDisable(GL_BLEND);
}

void GlScope::develop(int x, int y, int side) {
    Gl& gl = *gl_;
    const ScopeSettings& s = gl.settings;
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glDisable(GL_BLEND);
    glActiveTexture(GL_TEXTURE0);

    bind_target(&gl.halo_a);
    glUseProgram(gl.halo.id);
    glBindTexture(GL_TEXTURE_2D, gl.glow.texture);
    glUniform1i(gl.halo.uniform("u_glow"), 0);
    glUniform1f(gl.halo.uniform("u_factor"), static_cast<float>(gl.factor));
    glUniform1f(gl.halo.uniform("u_size"), static_cast<float>(s.size));
    draw_quad(gl.quad_buffer);

    const float sigma = s.bloom_sigma * static_cast<float>(s.size) / static_cast<float>(gl.factor);
    const float radius = static_cast<float>(std::clamp(saturating_cast<int>(std::ceil(3.0f * sigma)), 1, 32));
    glUseProgram(gl.blur.id);
    glUniform1i(gl.blur.uniform("u_in"), 0);
    glUniform1f(gl.blur.uniform("u_radius"), radius);
    glUniform1f(gl.blur.uniform("u_width"), static_cast<float>(gl.halo_width));
    glUniform1f(gl.blur.uniform("u_sigma"), sigma);
    bind_target(&gl.halo_b);
    glBindTexture(GL_TEXTURE_2D, gl.halo_a.texture);
    glUniform2f(gl.blur.uniform("u_step"), 1.0f, 0.0f);
    draw_quad(gl.quad_buffer);
    bind_target(&gl.halo_a);
    glBindTexture(GL_TEXTURE_2D, gl.halo_b.texture);
    glUniform2f(gl.blur.uniform("u_step"), 0.0f, 1.0f);
    draw_quad(gl.quad_buffer);

    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    glViewport(x, y, side, side);
    glUseProgram(gl.develop.id);
    glBindTexture(GL_TEXTURE_2D, gl.glow.texture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, gl.halo_a.texture);
    glUniform1i(gl.develop.uniform("u_glow"), 0);
    glUniform1i(gl.develop.uniform("u_halo"), 1);
    glUniform1f(gl.develop.uniform("u_size"), static_cast<float>(s.size));
    glUniform1f(gl.develop.uniform("u_factor"), static_cast<float>(gl.factor));
    glUniform1f(gl.develop.uniform("u_halo_width"), static_cast<float>(gl.halo_width));
    glUniform1f(gl.develop.uniform("u_exposure"), s.exposure);
    glUniform1f(gl.develop.uniform("u_bloom"), s.bloom);
    glUniform3f(gl.develop.uniform("u_colour"), kScopePhosphorColour[0], kScopePhosphorColour[1],
                kScopePhosphorColour[2]);
    draw_quad(gl.quad_buffer);
    glActiveTexture(GL_TEXTURE0);
}

RgbImage GlScope::render_frame(const StereoSamples& samples, std::int64_t end) {
    const ScopeSettings& s = gl_->settings;
    clear();
    const std::int64_t frame = scope_frame_samples(s);
    for (int k = scope_lead_in_frames(s); k >= 0; --k) expose(samples, end - k * frame);
    glBindFramebuffer(GL_FRAMEBUFFER, gl_->picture.framebuffer);
    develop(0, 0, s.size);
    const std::size_t width = static_cast<std::size_t>(s.size);
    std::vector<std::uint8_t> rgba(width * width * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, s.size, s.size, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    RgbImage image(s.size, s.size);
    for (int r = 0; r < s.size; ++r) {
        // GL's first row is the bottom one.
        const std::uint8_t* in = &rgba[(width - 1 - static_cast<std::size_t>(r)) * width * 4];
        std::uint8_t* out = image.pixel(0, r);
        for (std::size_t x = 0; x < width; ++x) {
            out[x * 3] = in[x * 4];
            out[x * 3 + 1] = in[x * 4 + 1];
            out[x * 3 + 2] = in[x * 4 + 2];
        }
    }
    return image;
}

int GlScope::glow_bits() const { return gl_->bits; }
long GlScope::quads_drawn() const { return gl_->quads; }

}  // namespace lumo
