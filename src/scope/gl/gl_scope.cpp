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
#include "scope/gl/gl_resources.hpp"
#include "scope/gl/shaders.hpp"

namespace lumo {

using gl_detail::Layout;
using gl_detail::Program;
using gl_detail::Target;
using gl_detail::bind_target;
using gl_detail::draw_quad;
using gl_detail::glow_layouts;
using gl_detail::link_program;
using gl_detail::make_target;

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
    double beam_pixels = 0;
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
    gl->factor = std::clamp(saturating_cast<int>(sigma * 0.5f), 1, kScopeLargestHaloFactor);
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
    gl.beam_pixels = 0;
    if (end <= first) {
        glDisable(GL_BLEND);
        return;
    }

    const PointList path = scope_detail::beam_path(samples, first, end, s);
    const float energy = (1.0f - keep) / static_cast<float>(path.size() - 1) * fsize * fsize;
    const float sigma = std::max(kScopeNarrowestSpot, s.beam_sigma * fsize);
    const float tolerance2 = kScopeMergeTolerance * sigma * kScopeMergeTolerance * sigma;
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
        while (e + 1 < points && e + 1 - start <= kScopeLongestMerge) {
            const float k = static_cast<float>(e + 1 - start);
            const Point p = at(e + 1);
            const float dx = p.x - (a.x + k * vx);
            const float dy = p.y - (a.y + k * vy);
            if (dx * dx + dy * dy > tolerance2) break;
            ++e;
        }
        const Point b = at(e);
        // As beam.vert spans it: a square around a short segment's middle, else the
        // segment lengthened and widened by the reach.
        const float length = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
        const float reach = kScopeBeamReach * sigma;
        const float long_side = length < kScopeShortSegment * sigma ? 2.0f * reach : length + 2.0f * reach;
        gl.beam_pixels += static_cast<double>(long_side) * 2.0 * static_cast<double>(reach);
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
    const int taps = std::clamp(saturating_cast<int>(std::ceil(3.0f * sigma)), 1, kScopeMostBlurTaps);
    const float radius = static_cast<float>(taps);
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
    glUniform2f(gl.develop.uniform("u_origin"), static_cast<float>(x), static_cast<float>(y));
    glUniform1f(gl.develop.uniform("u_scale"), static_cast<float>(s.size) / static_cast<float>(side));
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
    return picture();
}

RgbImage GlScope::picture() {
    const ScopeSettings& s = gl_->settings;
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
double GlScope::beam_pixels() const { return gl_->beam_pixels; }

}  // namespace lumo
