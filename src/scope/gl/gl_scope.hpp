// The phosphor scope drawn with OpenGL ES 2: the same five steps as scope.hpp's model,
// each a pass on the GPU, for lumo's view on a screen and lumo-render --gpu.
//
// Contract: a GL ES 2 context is current on the calling thread for the whole life of a
// GlScope, which draws nothing outside its own textures until `develop` draws the picture
// into the framebuffer that is bound.  No extension is required.  The glow is kept in
// floats where the driver renders into float (or half-float) textures; otherwise in 8
// bits, which loses the faintest light (glow_bits says which).
//
// The shaders are GLSL ES 1.00 files beside this header (shaders.hpp); the scope page
// compiles the same files.
#pragma once

#include <cstdint>
#include <memory>

#include "core/error.hpp"
#include "image/image.hpp"
#include "scope/scope.hpp"

namespace lumo {

class GlScope {
public:
    // Compiles the shaders and makes the textures for `settings` (size × size).
    static Result<std::unique_ptr<GlScope>> make(const ScopeSettings& settings);
    ~GlScope();
    GlScope(const GlScope&) = delete;
    GlScope& operator=(const GlScope&) = delete;

    // A dark screen.
    void clear();
    // As expose_scope_frame: the glow decays and the beam draws end − frame … end.
    void expose(const StereoSamples& samples, std::int64_t end);
    // The samples first … end (any length up to a few frames): a live view's frame.
    void expose_span(const StereoSamples& samples, std::int64_t first, std::int64_t end);
    // Bloom and tone map into the bound framebuffer's `viewport` square (x, y, side).
    void develop(int x, int y, int side);
    // The picture of the glow as it is (develop_scope_frame's), read back.
    RgbImage picture();
    // The frame render_scope_frame draws, read back.
    RgbImage render_frame(const StereoSamples& samples, std::int64_t end);

    int glow_bits() const;
    // Segments (quads) of the last expose and the pixels their quads cover (overlaps
    // counted each time), for measurements.
    long quads_drawn() const;
    double beam_pixels() const;

    struct Gl;
private:
    explicit GlScope(std::unique_ptr<Gl> gl);
    std::unique_ptr<Gl> gl_;
};

}  // namespace lumo
