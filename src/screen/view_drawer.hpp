// One picture of lumo's view: the samples the device is presenting now, read from the
// ring the playback callback fills, drawn by the GL ES scope as the largest square centred
// in the screen.  Each picture adds the samples played since the last one, so the
// phosphor glows and fades as the samples come, whatever the display's refresh rate.
//
// Contract: a GL ES 2 context is current on the calling thread from `fit` until
// `release`; the drawer only reads the ring, so it never holds up the sound.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/error.hpp"
#include "scope/gl/gl_scope.hpp"
#include "scope/scope.hpp"
#include "show/view_ring.hpp"

namespace lumo {

class ViewDrawer {
public:
    // Reads `ring`, whose frames come at `rate` per second.
    ViewDrawer(const ViewRing& ring, std::int64_t rate);

    // The scope for a screen of width × height pixels (made again only when the square's
    // side changes; drawn at 1080 pixels at most and scaled up beyond); the error is the
    // GPU's reason it cannot draw it.
    Status fit(int width, int height);
    // The picture at the monotonic instant `now` into `framebuffer` (0: the screen's).
    void draw(unsigned framebuffer, std::int64_t now_nanoseconds);
    // Drops the scope while the context that made it is still current.
    void release() { scope_.reset(); }

private:
    void expose(const ViewRing::Mark& mark, std::int64_t first, std::int64_t end);

    const ViewRing& ring_;
    std::int64_t rate_;
    ScopeSettings settings_;
    std::unique_ptr<GlScope> scope_;
    std::vector<float> samples_;
    std::int64_t drawn_ = -1;
    int side_ = 0, x_ = 0, y_ = 0, width_ = 0, height_ = 0;
};

}  // namespace lumo
