// A GL ES 2 context with no window and no display: for drawing the scope into textures
// and reading it back (lumo-render --gpu).  EGL on Mesa's surfaceless platform, which
// needs no device node and falls back to the software renderer where there is no GPU.
#pragma once

#include <memory>

#include "core/error.hpp"

namespace lumo {

class OffscreenGl {
public:
    // The context, current on the calling thread until the object goes.
    static Result<std::unique_ptr<OffscreenGl>> make();
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

private:
    OffscreenGl() = default;
    void* display_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace lumo
